// Cases whose every field differs from its default, so that a field lost
// on the way through an archive shows: the round-trip tests, the fuzz seed
// generator and the benchmark build theirs with these.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "archive/records/case_record.h"
#include "casedata/composition.h"
#include "casedata/stream_data.h"

namespace archive_test {

inline std::string Numbered(const char* stem, std::size_t n) {
  return stem + std::to_string(n);
}

inline void FillCompositionBlock(casedata::CExcStreamCompositionData& block, std::size_t seed) {
  block.componentTableCell = Numbered("E", seed + 2);
  block.interactionCell = Numbered("T", seed + 2);
  block.massRateCell = Numbered("D", seed + 40);
  block.massRateUnit = 2;
  for (std::size_t k = 0; k < block.columnUnits.size(); ++k)
    block.columnUnits[k] = static_cast<std::uint32_t>(k % 3 + 1);
  block.unitSystem = casedata::kSi;
  block.eosModelCell = Numbered("D", seed + 41);
}

inline std::unique_ptr<casedata::CExcInputStreamData> SampleInputStream(std::size_t seed) {
  auto stream = std::make_unique<casedata::CExcInputStreamData>();
  stream->solverDisplay = false;
  stream->forecastDisplay = false;
  stream->forecastDirection = casedata::kForecastHorizontal;
  stream->sheetName = Numbered("Inputs ", seed);
  stream->solverUnitSystem = casedata::kSi;
  stream->forecastUnitSystem = 7;
  for (std::size_t row = 0; row < casedata::kInputRowCount; ++row) {
    stream->solverCells[row] = {Numbered("B", row + 2 + seed),
                                static_cast<std::uint32_t>(row % 4 + 1)};
    stream->forecastCells[row] = {Numbered("$Z$", row + 100), static_cast<std::uint32_t>(row + 1)};
  }
  FillCompositionBlock(stream->composition, seed);
  stream->compositionName = Numbered("Fluid", seed % 2);
  return stream;
}

inline std::unique_ptr<casedata::CExcOutputStreamData> SampleOutputStream(std::size_t seed) {
  auto stream = std::make_unique<casedata::CExcOutputStreamData>();
  stream->sheetName = Numbered("Outputs ", seed);
  stream->unitSystem = casedata::kSi;
  for (std::size_t row = 0; row < casedata::kOutputRowCount; ++row)
    stream->propertyCells[row] = {Numbered("C", row + 5), static_cast<std::uint32_t>(row % 2 + 1)};
  FillCompositionBlock(stream->composition, seed + 50);
  stream->compositionName = Numbered("Fluid", (seed + 1) % 2);
  return stream;
}

inline std::unique_ptr<casedata::CExcCompositionDefinition> SampleComposition(
    std::size_t seed, std::size_t components) {
  auto composition = std::make_unique<casedata::CExcCompositionDefinition>();
  composition->name = Numbered("Fluid", seed);
  for (std::size_t k = 0; k < components; ++k)
    composition->components.push_back(Numbered("C", k + 1));
  return composition;
}

template <typename Item>
void FillCellReference(Item& item, const char* kind, std::size_t seed) {
  item.worksheet = "Optimiser";
  item.cell = Numbered("R", seed + 1) + "C3";
  item.name = Numbered(kind, seed);
  item.unit = "bbl/d";
}

inline std::unique_ptr<casedata::CExcConstraint> SampleConstraint(std::size_t seed) {
  auto item = std::make_unique<casedata::CExcConstraint>();
  item->ConstraintType = static_cast<std::uint32_t>(seed % 2 + 1);
  item->Limit = -1250.125 + static_cast<double>(seed);
  FillCellReference(*item, "Limit", seed);
  return item;
}

inline std::unique_ptr<casedata::CExcControlVariable> SampleControl(std::size_t seed) {
  auto item = std::make_unique<casedata::CExcControlVariable>();
  item->LowerBound = 0.5 + static_cast<double>(seed);
  item->UpperBound = 1e6 / 3.0;
  FillCellReference(*item, "Choke", seed);
  return item;
}

inline std::unique_ptr<casedata::CExcIntCtrlVariable> SampleIntegerControl(std::size_t seed,
                                                                           int states) {
  auto item = std::make_unique<casedata::CExcIntCtrlVariable>();
  item->StateCount = states;
  for (int k = 0; k < states; ++k) {
    item->StateNames[static_cast<std::size_t>(k)] = k % 3 == 0 ? "" : Numbered("State ", k);
    item->StateValues[static_cast<std::size_t>(k)] = Numbered("", 10 * k + 5);
  }
  FillCellReference(*item, "Route", seed);
  return item;
}

inline std::unique_ptr<casedata::CExcExportedVariable> SamplePublishedVariable(std::size_t seed) {
  auto variable = std::make_unique<casedata::CExcExportedVariable>();
  variable->name = Numbered("Export", seed);
  variable->unit = "psig";
  variable->worksheet = "Results";
  variable->cell = Numbered("F", seed + 3);
  variable->CascadeCell = Numbered("K", seed + 3);
  variable->CascadeDirection = casedata::kHorizontal;
  variable->RegionWidth = 3;
  variable->RegionHeight = 4 + static_cast<std::int32_t>(seed % 5);
  variable->ColumnDelimiter = ";";
  variable->RowDelimiter = "|\n";
  return variable;
}

// A case of every element kind: `streams` input and output streams, two
// compositions, two items of each optimisation kind, every macro set.
inline void FillSampleCase(const archive::CaseView& parts, std::size_t streams = 2) {
  casedata::CExcCaseDetails& details = parts.details;
  details.fileName = "/srv/cases/North Field.xlsx";
  details.inputCount = static_cast<std::uint32_t>(streams);
  details.outputCount = static_cast<std::uint32_t>(streams + 1);
  for (std::size_t event = 0; event < casedata::kEventCount; ++event) {
    details.macros[event] = Numbered("Module1.OnEvent", event);
    details.passDate[event] = true;
  }
  details.inputStreams.Clear();
  details.outputStreams.Clear();
  for (std::size_t i = 0; i < details.inputCount; ++i)
    details.inputStreams.Add(SampleInputStream(i));
  for (std::size_t i = 0; i < details.outputCount; ++i)
    details.outputStreams.Add(SampleOutputStream(i));
  details.useCompositions = 1;
  details.compositions.Add(SampleComposition(0, 3));
  details.compositions.Add(SampleComposition(1, 20));
  details.hideInterface = true;
  parts.objective.Defined = true;
  parts.objective.Maximise = false;
  FillCellReference(parts.objective, "Revenue", 0);
  for (std::size_t i = 0; i < 2; ++i) {
    parts.constraints.Add(SampleConstraint(i));
    parts.controls.Add(SampleControl(i));
  }
  parts.intControls.Add(SampleIntegerControl(0, casedata::kMaxStates));
  parts.intControls.Add(SampleIntegerControl(1, 3));
}

}  // namespace archive_test
