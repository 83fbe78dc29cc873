// Every field of every archived record, listed once and in the record's
// order. Three visitors walk these lists: the binary transfer
// (case_record.cpp) and the JSON form in each direction (case_to_json.cpp,
// case_from_json.cpp). A field's key is its name in the JSON form; the
// number after it, where there is one, gives the case versions whose
// binary records hold it (from that one on; the JSON form always holds
// every field).
//
// The field kinds a visitor offers:
//   Flag, U32, Double, Text      the plain values
//   Cell                         a 16-byte cell field, stored as a text
//   Bounded                      an integer kept within [min, max]: a loaded
//                                one is clamped, a JSON one refused outside
//   U32s, Texts                  an array of numbers, a counted list of texts
//   Rows                         property cells, one per row; two arrays are
//                                stored row by row, interleaved
//   Object, List                 a nested record, a counted collection
//   StreamCount, Streams         a stream count and its streams
//   Macros, States               the macros by event, the integer states
//   LegacyComposition(Name)      what versions 3 to 9 kept in its place
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "archive/records/case_record.h"
#include "archive/versions.h"
#include "casedata/case_details.h"
#include "casedata/composition.h"
#include "casedata/exported_variable.h"
#include "casedata/opt_items.h"
#include "casedata/stream_data.h"

namespace archive {

// Versions 3 to 9 had one composition for the whole case, under this name,
// which every stream used.
inline constexpr char kLegacyCompositionName[] = "Comp";
inline constexpr Versions kLegacyComposition{3, 9};

// A run-time event's macro and whether it is passed the run date.
struct MacroRef {
  std::string& macro;
  bool& passDate;
};

template <typename V>
void Fields(V& v, MacroRef& m) {
  v.Text("macro", m.macro);
  v.Flag("passDate", m.passDate);
}

// The macros in the record's order, which is not the order of the events,
// and the first version that holds each.
struct MacroField {
  std::size_t event;
  const char* key;
  std::uint32_t first;
};
inline constexpr std::array<MacroField, casedata::kEventCount> kMacroFields = {{
    {1, "EndOfTimestep", 1},
    {2, "PreSolve", 12},
    {3, "PostSolve", 12},
    {4, "StartOfRun", 15},
    {5, "EndOfRun", 15},
    {0, "StartOfTimestep", 15},
    {6, "PostSolve2", 20},
}};

// One state of an integer control.
struct StateRef {
  std::string& name;
  std::string& value;
};

template <typename V>
void Fields(V& v, StateRef& s) {
  v.Text("name", s.name);
  v.Text("value", s.value);
}

template <typename V>
void Fields(V& v, casedata::CExcPropertyCell& p) {
  v.Cell("cell", p.cell);
  v.U32("unit", p.unit);
}

// The composition block grew field by field.
template <typename V>
void Fields(V& v, casedata::CExcStreamCompositionData& b) {
  v.Cell("componentTableCell", b.componentTableCell);
  v.Cell("interactionCell", b.interactionCell);
  v.U32("unitSystem", b.unitSystem);
  v.U32s("columnUnits", b.columnUnits);
  v.Cell("massRateCell", b.massRateCell, 4);
  v.U32("massRateUnit", b.massRateUnit, 4);
  v.Cell("eosModelCell", b.eosModelCell, 5);
}

template <typename V>
void Fields(V& v, casedata::CExcInputStreamData& s) {
  v.Flag("solverDisplay", s.solverDisplay);
  v.Flag("forecastDisplay", s.forecastDisplay);
  v.U32("forecastDirection", s.forecastDirection);
  v.Text("sheetName", s.sheetName);
  v.U32("solverUnitSystem", s.solverUnitSystem);
  v.U32("forecastUnitSystem", s.forecastUnitSystem);
  v.Rows("solverCells", s.solverCells, "forecastCells", s.forecastCells);
  v.Object("composition", s.composition, 3);
  v.Text("compositionName", s.compositionName, 10);
  v.LegacyCompositionName(s.compositionName, kLegacyComposition);
}

template <typename V>
void Fields(V& v, casedata::CExcOutputStreamData& s) {
  v.Text("sheetName", s.sheetName);
  v.U32("unitSystem", s.unitSystem);
  v.Rows("propertyCells", s.propertyCells);
  v.Object("composition", s.composition, 3);
  v.Text("compositionName", s.compositionName, 10);
  v.LegacyCompositionName(s.compositionName, kLegacyComposition);
}

template <typename V>
void Fields(V& v, casedata::CExcCompositionDefinition& c) {
  v.Text("name", c.name);
  v.Texts("components", c.components, "components");
}

// The cell reference every optimisation item ends with.
template <typename V>
void CellReferenceFields(V& v, automation::CExcCellDef& r) {
  v.Text("worksheet", r.worksheet);
  v.Text("cell", r.cell);
  v.Text("name", r.name);
  v.Text("unit", r.unit);
}

template <typename V>
void Fields(V& v, casedata::CExcObjFn& o) {
  v.Flag("defined", o.Defined);
  v.Flag("maximise", o.Maximise);
  CellReferenceFields(v, o);
}

template <typename V>
void Fields(V& v, casedata::CExcConstraint& c) {
  v.U32("constraintType", c.ConstraintType);
  v.Double("limit", c.Limit);
  CellReferenceFields(v, c);
}

template <typename V>
void Fields(V& v, casedata::CExcControlVariable& c) {
  v.Double("lowerBound", c.LowerBound);
  v.Double("upperBound", c.UpperBound);
  CellReferenceFields(v, c);
}

template <typename V>
void Fields(V& v, casedata::CExcIntCtrlVariable& c) {
  // The count (kept within 0 ... 20), then 10 state pairs, 20 from version 33.
  v.States("stateCount", "states", c, 10, 33);
  CellReferenceFields(v, c);
}

template <typename V>
void Fields(V& v, casedata::CExcExportedVariable& p) {
  using casedata::kMaxRegion;
  using casedata::kMinRegion;
  v.Text("name", p.name);
  v.Text("unit", p.unit);
  v.Text("worksheet", p.worksheet);
  v.Text("cell", p.cell);
  v.Text("cascadeCell", p.CascadeCell, 13);
  v.U32("cascadeDirection", p.CascadeDirection, 13);
  v.Bounded("regionWidth", p.RegionWidth, kMinRegion, kMaxRegion, 32);
  v.Bounded("regionHeight", p.RegionHeight, kMinRegion, kMaxRegion, 32);
  v.Text("columnDelimiter", p.ColumnDelimiter, 40);
  v.Text("rowDelimiter", p.RowDelimiter, 40);
}

// The case record after its signature and version.
template <typename V>
void Fields(V& v, const CaseView& c) {
  casedata::CExcCaseDetails& d = c.details;
  v.Text("fileName", d.fileName);
  v.StreamCount("inputCount", d.inputCount);
  v.StreamCount("outputCount", d.outputCount);
  v.Macros("macros", d);
  v.Streams("inputStreams", d.inputStreams, "inputCount", d.inputCount, "input streams");
  v.Streams("outputStreams", d.outputStreams, "outputCount", d.outputCount, "output streams");
  v.Object("objective", c.objective, 2);
  v.List("constraints", c.constraints, "constraints", 2);
  v.Flag("useCompositions", d.useCompositions, 3);
  v.LegacyComposition(d.compositions, kLegacyComposition);
  v.List("compositions", d.compositions, "compositions", 10);
  v.List("controls", c.controls, "controls", 6);
  v.List("integerControls", c.intControls, "integer controls", 21);
  // From version 31 they travel in the model data file.
  v.List("publishedVariables", c.publishedVariables, "published variables", {11, 30});
  v.Flag("hideInterface", d.hideInterface, 14);
}

}  // namespace archive
