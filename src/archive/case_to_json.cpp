#include <cstddef>

#include "archive/case_json_form.h"
#include "archive/json_values.h"
#include "case/composition.h"
#include "case/stream_data.h"

namespace archive {
namespace {

using nlohmann::json;

template <std::size_t N>
json PropertyCellsToJson(const std::array<streams::CExcPropertyCell, N>& cells) {
  json list = json::array();
  for (const streams::CExcPropertyCell& property : cells)
    list.push_back({{"cell", TextToJson(property.cell.str())}, {"unit", property.unit}});
  return list;
}

json CompositionBlockToJson(const streams::CExcStreamCompositionData& block) {
  return {{"componentTableCell", TextToJson(block.componentTableCell.str())},
          {"interactionCell", TextToJson(block.interactionCell.str())},
          {"unitSystem", block.unitSystem},
          {"columnUnits", block.columnUnits},
          {"massRateCell", TextToJson(block.massRateCell.str())},
          {"massRateUnit", block.massRateUnit},
          {"eosModelCell", TextToJson(block.eosModelCell.str())}};
}

json InputStreamToJson(const streams::CExcInputStreamData& stream) {
  return {{"solverDisplay", stream.solverDisplay},
          {"forecastDisplay", stream.forecastDisplay},
          {"forecastDirection", stream.forecastDirection},
          {"sheetName", TextToJson(stream.sheetName)},
          {"solverUnitSystem", stream.solverUnitSystem},
          {"forecastUnitSystem", stream.forecastUnitSystem},
          {"solverCells", PropertyCellsToJson(stream.solverCells)},
          {"forecastCells", PropertyCellsToJson(stream.forecastCells)},
          {"composition", CompositionBlockToJson(stream.composition)},
          {"compositionName", TextToJson(stream.compositionName)}};
}

json OutputStreamToJson(const streams::CExcOutputStreamData& stream) {
  return {{"sheetName", TextToJson(stream.sheetName)},
          {"unitSystem", stream.unitSystem},
          {"propertyCells", PropertyCellsToJson(stream.propertyCells)},
          {"composition", CompositionBlockToJson(stream.composition)},
          {"compositionName", TextToJson(stream.compositionName)}};
}

json CompositionToJson(const streams::CExcCompositionDefinition& composition) {
  json components = json::array();
  for (const std::string& name : composition.components)
    components.push_back(TextToJson(name));
  return {{"name", TextToJson(composition.name)}, {"components", std::move(components)}};
}

// Adds the four texts of the cell reference to an item's own fields.
json WithCellReference(json item, const automation::CExcCellDef& reference) {
  item["worksheet"] = TextToJson(reference.worksheet);
  item["cell"] = TextToJson(reference.cell);
  item["name"] = TextToJson(reference.name);
  item["unit"] = TextToJson(reference.unit);
  return item;
}

json IntegerControlToJson(const optimisation::CExcIntCtrlVariable& control) {
  // The states in use and any stored after them; empty pairs at the end are
  // left out, as missing ones read back empty.
  std::size_t stored = static_cast<std::size_t>(control.StateCount);
  for (std::size_t k = 0; k < control.StateNames.size(); ++k) {
    if (!control.StateNames[k].empty() || !control.StateValues[k].empty())
      stored = std::max(stored, k + 1);
  }
  json states = json::array();
  for (std::size_t k = 0; k < stored; ++k) {
    states.push_back({{"name", TextToJson(control.StateNames[k])},
                      {"value", TextToJson(control.StateValues[k])}});
  }
  return WithCellReference({{"stateCount", control.StateCount}, {"states", std::move(states)}},
                           control);
}

template <typename T, typename ToJson>
json ListToJson(const model::CExtCollection<T>& list, ToJson toJson) {
  json array = json::array();
  for (std::size_t i = 0; i < list.size(); ++i)
    array.push_back(toJson(*list.At(i)));
  return array;
}

}  // namespace

json PublishedVariablesToJson(const optimisation::CExcclExportedVariable& variables) {
  return ListToJson(variables, [](const optimisation::CExcExportedVariable& variable) {
    return json{{"name", TextToJson(variable.name)},
                {"unit", TextToJson(variable.unit)},
                {"worksheet", TextToJson(variable.worksheet)},
                {"cell", TextToJson(variable.cell)},
                {"cascadeCell", TextToJson(variable.CascadeCell)},
                {"cascadeDirection", variable.CascadeDirection},
                {"regionWidth", variable.RegionWidth},
                {"regionHeight", variable.RegionHeight},
                {"columnDelimiter", TextToJson(variable.ColumnDelimiter)},
                {"rowDelimiter", TextToJson(variable.RowDelimiter)}};
  });
}

json CaseToJson(CaseContent& content) {
  const model::CExcCaseDetails& details = content.details;
  json macros = json::object();
  for (std::size_t event = 0; event < model::kEventCount; ++event) {
    macros[kEventKeys[event]] = {{"macro", TextToJson(details.macros[event])},
                                 {"passDate", details.passDate[event]}};
  }
  const optimisation::CExcObjFn& objective = content.objective;
  json out = {
      {"version", content.version},
      {"fileName", TextToJson(details.fileName)},
      {"inputCount", details.inputCount},
      {"outputCount", details.outputCount},
      {"macros", std::move(macros)},
      {"inputStreams", ListToJson(details.inputStreams, InputStreamToJson)},
      {"outputStreams", ListToJson(details.outputStreams, OutputStreamToJson)},
      {"objective",
       WithCellReference({{"defined", objective.Defined}, {"maximise", objective.Maximise}},
                         objective)},
      {"constraints", ListToJson(content.constraints,
                                 [](const optimisation::CExcConstraint& constraint) {
                                   return WithCellReference(
                                       {{"constraintType", constraint.ConstraintType},
                                        {"limit", DoubleToJson(constraint.Limit)}},
                                       constraint);
                                 })},
      {"controls", ListToJson(content.controls,
                              [](const optimisation::CExcControlVariable& control) {
                                return WithCellReference(
                                    {{"lowerBound", DoubleToJson(control.LowerBound)},
                                     {"upperBound", DoubleToJson(control.UpperBound)}},
                                    control);
                              })},
      {"integerControls", ListToJson(content.intControls, IntegerControlToJson)},
      {"hideInterface", details.hideInterface},
      {"useCompositions", details.useCompositions != 0},
      {"compositions", ListToJson(details.compositions, CompositionToJson)},
  };
  // Only cases older than the model data file hold them.
  if (!content.publishedVariables.empty()) {
    out["publishedVariables"] = PublishedVariablesToJson(content.publishedVariables);
  }
  return out;
}

}  // namespace archive
