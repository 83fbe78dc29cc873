// The encodings of the archive's field kinds, each one routine for both
// directions. Numbers are little-endian whatever the machine; a text is its
// u32 byte count and its bytes, with no terminator. A failure is recorded
// in the archive (see Archive::Fail); a failed transfer leaves its value
// alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "archive/archive.h"

namespace casedata {
class CellField;
}

namespace archive {

void TransferU8(Archive& archive, std::uint8_t& value);
void TransferU16(Archive& archive, std::uint16_t& value);
void TransferU32(Archive& archive, std::uint32_t& value);
void TransferI32(Archive& archive, std::int32_t& value);
void TransferDouble(Archive& archive, double& value);
// One byte, 0 or 1; any other byte loads as true.
void TransferFlag(Archive& archive, bool& value);
// A length that cannot be among the bytes left is a format error, raised
// before anything is allocated.
void TransferText(Archive& archive, std::string& value);
// A 16-byte cell field stored as a text; a loaded text is cut to the
// field's 15 characters.
void TransferText16(Archive& archive, casedata::CellField& value);

// The count of a collection, or of a list of texts, whose elements take at
// least `minimumElementSize` bytes each. When loading, a count whose
// elements cannot all be among the bytes left is a format error naming
// `what`.
void TransferCount(Archive& archive, std::uint32_t& count, std::size_t minimumElementSize,
                   const char* what);
// Storing: the size of a list, which must fit the u32 count (0, with the
// archive failed, when it does not).
std::uint32_t CountOf(Archive& archive, std::size_t size, const char* what);

}  // namespace archive
