#include "archive/stream_records.h"

#include <string>

#include "archive/primitives.h"
#include "archive/versions.h"
#include "case/composition.h"
#include "case/stream_data.h"

namespace archive {
namespace {

// The composition block grew over the versions; its fields are stored in
// the order in which they were added.
void TransferCompositionBlock(Archive& archive, streams::CExcStreamCompositionData& block) {
  const std::uint32_t version = archive.Version();
  if (!HasCompositionBlock(version)) return;
  TransferText16(archive, block.componentTableCell);
  TransferText16(archive, block.interactionCell);
  TransferU32(archive, block.unitSystem);
  for (std::uint32_t& unit : block.columnUnits)
    TransferU32(archive, unit);
  if (HasMassRate(version)) {
    TransferText16(archive, block.massRateCell);
    TransferU32(archive, block.massRateUnit);
  }
  if (HasEosModel(version)) TransferText16(archive, block.eosModelCell);
}

void TransferCompositionName(Archive& archive, std::string& name) {
  const std::uint32_t version = archive.Version();
  if (HasCompositionName(version)) {
    TransferText(archive, name);
  } else if (archive.IsLoading() && HasCompositionBlock(version)) {
    name = kLegacyCompositionName;
  }
}

void TransferPropertyCell(Archive& archive, streams::CExcPropertyCell& property) {
  TransferText16(archive, property.cell);
  TransferU32(archive, property.unit);
}

}  // namespace

void Transfer(Archive& archive, streams::CExcInputStreamData& stream) {
  TransferFlag(archive, stream.solverDisplay);
  TransferFlag(archive, stream.forecastDisplay);
  TransferU32(archive, stream.forecastDirection);
  TransferText(archive, stream.sheetName);
  TransferU32(archive, stream.solverUnitSystem);
  TransferU32(archive, stream.forecastUnitSystem);
  // Row by row: the solver cell of a row, then its forecast cell.
  for (std::size_t row = 0; row < streams::kInputRowCount; ++row) {
    TransferPropertyCell(archive, stream.solverCells[row]);
    TransferPropertyCell(archive, stream.forecastCells[row]);
  }
  TransferCompositionBlock(archive, stream.composition);
  TransferCompositionName(archive, stream.compositionName);
}

void Transfer(Archive& archive, streams::CExcOutputStreamData& stream) {
  TransferText(archive, stream.sheetName);
  TransferU32(archive, stream.unitSystem);
  for (streams::CExcPropertyCell& property : stream.propertyCells)
    TransferPropertyCell(archive, property);
  TransferCompositionBlock(archive, stream.composition);
  TransferCompositionName(archive, stream.compositionName);
}

void Transfer(Archive& archive, streams::CExcCompositionDefinition& composition) {
  TransferText(archive, composition.name);
  std::uint32_t count = CountOf(composition.components.size(), "components");
  // A component name takes at least its length word.
  TransferCount(archive, count, sizeof(std::uint32_t), "components");
  if (archive.IsLoading()) composition.components.assign(count, std::string());
  for (std::string& component : composition.components)
    TransferText(archive, component);
}

}  // namespace archive
