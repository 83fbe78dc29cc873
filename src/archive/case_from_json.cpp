#include <algorithm>
#include <cstddef>
#include <memory>

#include "archive/case_json_form.h"
#include "archive/json_reader.h"
#include "archive/versions.h"
#include "case/composition.h"
#include "case/stream_data.h"

namespace archive {
namespace {

using nlohmann::json;

// Calls read(element, path) for each element of the array member `key`.
template <typename Read>
void ForEachElement(ObjectReader& reader, const char* key, std::size_t maxSize, Read read) {
  const json* array = reader.Array(key, maxSize);
  if (array == nullptr) return;
  const std::string path = reader.PathOf(key);
  for (std::size_t i = 0; i < array->size(); ++i)
    read((*array)[i], ElementPath(path, i));
}

// Reads each element of the array member `key` into a new item and
// appends it.
template <typename T, typename Read>
void ReadList(ObjectReader& reader, const char* key, std::size_t maxSize,
              model::CExtCollection<T>& list, Read read) {
  ForEachElement(reader, key, maxSize, [&](const json& value, const std::string& path) {
    auto item = std::make_unique<T>();
    ObjectReader itemReader(value, path);
    read(itemReader, *item);
    itemReader.Finish();
    list.Add(std::move(item));
  });
}

template <std::size_t N>
void ReadPropertyCells(ObjectReader& reader, const char* key,
                       std::array<streams::CExcPropertyCell, N>& cells) {
  std::size_t row = 0;
  ForEachElement(reader, key, N, [&](const json& value, const std::string& path) {
    ObjectReader cell(value, path);
    cell.Cell("cell", cells[row].cell);
    cell.U32("unit", cells[row].unit);
    cell.Finish();
    ++row;
  });
}

void ReadCompositionBlock(ObjectReader& reader, streams::CExcStreamCompositionData& block) {
  const json* value = reader.Find("composition");
  if (value == nullptr) return;
  ObjectReader fields(*value, reader.PathOf("composition"));
  fields.Cell("componentTableCell", block.componentTableCell);
  fields.Cell("interactionCell", block.interactionCell);
  fields.U32("unitSystem", block.unitSystem);
  std::size_t column = 0;
  ForEachElement(fields, "columnUnits", block.columnUnits.size(),
                 [&](const json& unit, const std::string& path) {
                   block.columnUnits[column++] = static_cast<std::uint32_t>(
                       IntegerFromJson(unit, path, 0, std::numeric_limits<std::uint32_t>::max()));
                 });
  fields.Cell("massRateCell", block.massRateCell);
  fields.U32("massRateUnit", block.massRateUnit);
  fields.Cell("eosModelCell", block.eosModelCell);
  fields.Finish();
}

void ReadInputStream(ObjectReader& reader, streams::CExcInputStreamData& stream) {
  reader.Flag("solverDisplay", stream.solverDisplay);
  reader.Flag("forecastDisplay", stream.forecastDisplay);
  reader.U32("forecastDirection", stream.forecastDirection);
  reader.Text("sheetName", stream.sheetName);
  reader.U32("solverUnitSystem", stream.solverUnitSystem);
  reader.U32("forecastUnitSystem", stream.forecastUnitSystem);
  ReadPropertyCells(reader, "solverCells", stream.solverCells);
  ReadPropertyCells(reader, "forecastCells", stream.forecastCells);
  ReadCompositionBlock(reader, stream.composition);
  reader.Text("compositionName", stream.compositionName);
}

void ReadOutputStream(ObjectReader& reader, streams::CExcOutputStreamData& stream) {
  reader.Text("sheetName", stream.sheetName);
  reader.U32("unitSystem", stream.unitSystem);
  ReadPropertyCells(reader, "propertyCells", stream.propertyCells);
  ReadCompositionBlock(reader, stream.composition);
  reader.Text("compositionName", stream.compositionName);
}

void ReadComposition(ObjectReader& reader, streams::CExcCompositionDefinition& composition) {
  reader.Text("name", composition.name);
  ForEachElement(reader, "components", std::numeric_limits<std::uint32_t>::max(),
                 [&](const json& name, const std::string& path) {
                   composition.components.push_back(TextFromJson(name, path));
                 });
}

void ReadCellReference(ObjectReader& reader, automation::CExcCellDef& reference) {
  reader.Text("worksheet", reference.worksheet);
  reader.Text("cell", reference.cell);
  reader.Text("name", reference.name);
  reader.Text("unit", reference.unit);
}

void ReadObjective(ObjectReader& reader, optimisation::CExcObjFn& objective) {
  reader.Flag("defined", objective.Defined);
  reader.Flag("maximise", objective.Maximise);
  ReadCellReference(reader, objective);
}

void ReadConstraint(ObjectReader& reader, optimisation::CExcConstraint& constraint) {
  reader.U32("constraintType", constraint.ConstraintType);
  reader.Double("limit", constraint.Limit);
  ReadCellReference(reader, constraint);
}

void ReadControl(ObjectReader& reader, optimisation::CExcControlVariable& control) {
  reader.Double("lowerBound", control.LowerBound);
  reader.Double("upperBound", control.UpperBound);
  ReadCellReference(reader, control);
}

void ReadIntegerControl(ObjectReader& reader, optimisation::CExcIntCtrlVariable& control) {
  std::int32_t listed = 0;
  ForEachElement(reader, "states", optimisation::kMaxStates,
                 [&](const json& value, const std::string& path) {
                   const auto k = static_cast<std::size_t>(listed++);
                   ObjectReader state(value, path);
                   state.Text("name", control.StateNames[k]);
                   state.Text("value", control.StateValues[k]);
                   state.Finish();
                 });
  // Without a count, the states listed are the ones in use.
  control.StateCount = listed;
  reader.I32("stateCount", control.StateCount, 0, optimisation::kMaxStates);
  ReadCellReference(reader, control);
}

void ReadPublishedVariable(ObjectReader& reader, optimisation::CExcExportedVariable& variable) {
  reader.Text("name", variable.name);
  reader.Text("unit", variable.unit);
  reader.Text("worksheet", variable.worksheet);
  reader.Text("cell", variable.cell);
  reader.Text("cascadeCell", variable.CascadeCell);
  reader.U32("cascadeDirection", variable.CascadeDirection);
  reader.I32("regionWidth", variable.RegionWidth, optimisation::kMinRegion,
             optimisation::kMaxRegion);
  reader.I32("regionHeight", variable.RegionHeight, optimisation::kMinRegion,
             optimisation::kMaxRegion);
  reader.Text("columnDelimiter", variable.ColumnDelimiter);
  reader.Text("rowDelimiter", variable.RowDelimiter);
}

void ReadMacros(ObjectReader& reader, model::CExcCaseDetails& details) {
  const json* value = reader.Find("macros");
  if (value == nullptr) return;
  ObjectReader events(*value, reader.PathOf("macros"));
  for (std::size_t event = 0; event < model::kEventCount; ++event) {
    const json* entry = events.Find(kEventKeys[event]);
    if (entry == nullptr) continue;
    ObjectReader macro(*entry, events.PathOf(kEventKeys[event]));
    macro.Text("macro", details.macros[event]);
    bool passDate = details.passDate[event];
    macro.Flag("passDate", passDate);
    details.passDate[event] = passDate;
    macro.Finish();
  }
  events.Finish();
}

// A stream count and its list: either may be left out, but given both
// must agree.
template <typename Stream, typename Read>
void ReadStreams(ObjectReader& reader, const char* countKey, const char* listKey,
                 std::uint32_t& count, model::CExtCollection<Stream>& streams, Read read) {
  const json* countValue = reader.Find(countKey);
  if (countValue != nullptr) {
    count = static_cast<std::uint32_t>(
        IntegerFromJson(*countValue, reader.PathOf(countKey), kMinStreamCount, kMaxStreamCount));
  }
  if (reader.Find(listKey) == nullptr) return;
  streams.Clear();
  ReadList(reader, listKey, kMaxStreamCount, streams, read);
  if (countValue == nullptr) {
    count = static_cast<std::uint32_t>(std::max<std::size_t>(streams.size(), kMinStreamCount));
  } else if (streams.size() != count) {
    ThrowJsonError(reader.PathOf(listKey), std::to_string(streams.size()) + " streams listed for " +
                                               countKey + " " + std::to_string(count));
  }
}

}  // namespace

void PublishedVariablesFromJson(const json& in, const std::string& path,
                                optimisation::CExcclExportedVariable& variables) {
  if (!in.is_array()) ThrowJsonError(path, "expected an array of published variables");
  for (std::size_t i = 0; i < in.size(); ++i) {
    auto variable = std::make_unique<optimisation::CExcExportedVariable>();
    ObjectReader reader(in[i], ElementPath(path, i));
    ReadPublishedVariable(reader, *variable);
    reader.Finish();
    variables.Add(std::move(variable));
  }
}

void CaseFromJson(const json& in, CaseContent& content) {
  ObjectReader reader(in, "");
  model::CExcCaseDetails& details = content.details;
  // The version a case was read with; what is written is always current.
  content.version = static_cast<std::int32_t>(kCurrentVersion);
  reader.I32("version", content.version, kOldestVersion, kCurrentVersion);
  reader.Text("fileName", details.fileName);
  ReadStreams(reader, "inputCount", "inputStreams", details.inputCount, details.inputStreams,
              ReadInputStream);
  ReadStreams(reader, "outputCount", "outputStreams", details.outputCount, details.outputStreams,
              ReadOutputStream);
  ReadMacros(reader, details);
  if (const json* objective = reader.Find("objective")) {
    ObjectReader fields(*objective, reader.PathOf("objective"));
    ReadObjective(fields, content.objective);
    fields.Finish();
  }
  const std::size_t unlimited = std::numeric_limits<std::uint32_t>::max();
  ReadList(reader, "constraints", unlimited, content.constraints, ReadConstraint);
  ReadList(reader, "controls", unlimited, content.controls, ReadControl);
  ReadList(reader, "integerControls", unlimited, content.intControls, ReadIntegerControl);
  if (const json* variables = reader.Find("publishedVariables")) {
    PublishedVariablesFromJson(*variables, reader.PathOf("publishedVariables"),
                               content.publishedVariables);
  }
  reader.Flag("hideInterface", details.hideInterface);
  bool useCompositions = details.useCompositions != 0;
  reader.Flag("useCompositions", useCompositions);
  details.useCompositions = useCompositions ? 1 : 0;
  ReadList(reader, "compositions", unlimited, details.compositions, ReadComposition);
  reader.Finish();
  SettleStreamCounts(details);
}

}  // namespace archive
