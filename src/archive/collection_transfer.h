// A collection in the archive: its u32 count, then its element records.
// Loading appends each element only once it has been read completely, so a
// failure part way leaves the elements before it and nothing half-built.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "archive/archive.h"
#include "archive/primitives.h"
#include "case/ext_collection.h"

namespace archive {

// The bytes a default element takes with the archive's version: every text
// of a new element is empty, so no element can take fewer.
template <typename T>
std::size_t MinimumRecordSize(std::uint32_t version) {
  std::vector<std::uint8_t> bytes;
  Archive measure = Archive::StoreGrowing(bytes);
  measure.SetVersion(version);
  T element;
  Transfer(measure, element);
  return bytes.size();
}

// `what` names the elements in a format error ("constraints").
template <typename T>
void TransferCollection(Archive& archive, model::CExtCollection<T>& list, const char* what) {
  if (archive.IsStoring()) {
    std::uint32_t count = CountOf(list.size(), what);
    TransferU32(archive, count);
    for (std::size_t i = 0; i < list.size(); ++i)
      Transfer(archive, *list.At(i));
    return;
  }
  std::uint32_t count = 0;
  TransferCount(archive, count, MinimumRecordSize<T>(archive.Version()), what);
  for (std::uint32_t i = 0; i < count; ++i) {
    auto element = std::make_unique<T>();
    Transfer(archive, *element);
    list.Add(std::move(element));
  }
}

}  // namespace archive
