// The stream records and the composition record. Their fields are stored in
// the record's own order, which is not the order of the members.
#pragma once

#include "archive/archive.h"

namespace streams {
class CExcInputStreamData;
class CExcOutputStreamData;
class CExcCompositionDefinition;
}  // namespace streams

namespace archive {

// Versions 3 to 9 had one composition for the whole case; a stream read
// from them refers to it by this name.
inline constexpr char kLegacyCompositionName[] = "Comp";

void Transfer(Archive& archive, streams::CExcInputStreamData& stream);
void Transfer(Archive& archive, streams::CExcOutputStreamData& stream);
// Name, component count, component names.
void Transfer(Archive& archive, streams::CExcCompositionDefinition& composition);

}  // namespace archive
