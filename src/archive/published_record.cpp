#include "archive/published_record.h"

#include <algorithm>

#include "archive/primitives.h"
#include "archive/versions.h"
#include "case/exported_variable.h"

namespace archive {

void Transfer(Archive& archive, optimisation::CExcExportedVariable& variable) {
  const std::uint32_t version = archive.Version();
  TransferText(archive, variable.name);
  TransferText(archive, variable.unit);
  TransferText(archive, variable.worksheet);
  TransferText(archive, variable.cell);
  if (HasCascade(version)) {
    TransferText(archive, variable.CascadeCell);
    TransferU32(archive, variable.CascadeDirection);
  }
  if (HasRegion(version)) {
    TransferI32(archive, variable.RegionWidth);
    TransferI32(archive, variable.RegionHeight);
    if (archive.IsLoading()) {
      variable.RegionWidth = optimisation::ClampRegion(variable.RegionWidth);
      variable.RegionHeight = optimisation::ClampRegion(variable.RegionHeight);
    }
  }
  if (HasDelimiters(version)) {
    TransferText(archive, variable.ColumnDelimiter);
    TransferText(archive, variable.RowDelimiter);
  }
}

}  // namespace archive
