// The model data file: the signature and the published variables, with no
// version of its own (the variables are laid out as the case version read
// last says). The host's buffer only gets a marker. Each routine gives the
// failure that stopped it, or none.
#pragma once

#include <cstdint>

#include "archive/archive.h"
#include "casedata/exported_variable.h"

namespace archive {

// The signature, then the published-variables collection laid out for the
// archive's version; loading appends.
ArchiveError TransferModelData(Archive& archive, casedata::CExcclExportedVariable& variables);

// What the host's buffer holds after a model data write: the signature and
// the u16 255.
ArchiveError StoreModelDataMarker(Archive& archive);

// Writes the variables (current version) into the existing file `path`,
// which is locked against other writers meanwhile; the file ends with the
// data.
ArchiveError WriteModelDataFile(const char* path, casedata::CExcclExportedVariable& variables);

// Appends the variables of the file `path`, laid out for `caseVersion`.
// The variables read completely before a failure stay appended.
ArchiveError ReadModelDataFile(const char* path, std::uint32_t caseVersion,
                               casedata::CExcclExportedVariable& variables);

}  // namespace archive
