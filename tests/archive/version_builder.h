// Case archives of any version put together byte by byte from the record
// tables, independently of the archive code: the version tests compare the
// archive with them, and the fuzz seed generator starts from them.
//
// WriteCase(c, v, layout) lays the case `c` out as version `layout` does,
// each field holding what a case of version `v` holds: c's value when v has
// the field, the default when not. WriteCase(c, v, v) is the case as a
// driver of version v stored it; WriteCase(c, v, 40) is what the current
// driver writes after reading that. Versions 3 to 9 kept one composition,
// here the case's first.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/byte_builder.h"
#include "archive/records/case_record.h"
#include "archive/sample_case.h"

namespace archive_test {

inline std::vector<std::uint8_t> WriteCase(const archive::CaseView& c, std::uint32_t v,
                                           std::uint32_t layout) {
  ByteBuilder b;
  // Whether the layout holds a field of version `first`, and what of a
  // record whose fields appeared in `first` the case holds.
  const auto holds = [&](std::uint32_t first) { return layout >= first; };
  const auto of = [&]<typename T>(std::uint32_t first, const T& record) -> const T& {
    static const T none;
    return v >= first ? record : none;
  };
  const auto texts = [&](const std::vector<std::string>& names) {
    b.U32(static_cast<std::uint32_t>(names.size()));
    for (const std::string& name : names)
      b.Text(name);
  };
  const auto reference = [&](const automation::CExcCellDef& r) {
    b.Text(r.worksheet).Text(r.cell).Text(r.name).Text(r.unit);
  };
  // The composition block and name of a stream; before version 10 every
  // stream used the case's one composition.
  const auto composition = [&](const auto& stream) {
    if (holds(3)) {
      const casedata::CExcStreamCompositionData& x = of(3, stream).composition;
      b.Text(x.componentTableCell.view()).Text(x.interactionCell.view()).U32(x.unitSystem);
      for (const std::uint32_t unit : x.columnUnits)
        b.U32(unit);
    }
    const auto& block = stream.composition;
    if (holds(4)) b.Text(of(4, block).massRateCell.view()).U32(of(4, block).massRateUnit);
    if (holds(5)) b.Text(of(5, block).eosModelCell.view());
    if (holds(10)) b.Text(v >= 10 ? stream.compositionName : v >= 3 ? "Comp" : "");
  };
  // Each list the version has, counted.
  const auto list = [&](std::uint32_t first, const auto& items, auto write) {
    if (!holds(first)) return;
    const std::size_t count = v >= first ? items.size() : 0;
    b.U32(static_cast<std::uint32_t>(count));
    for (std::size_t i = 0; i < count; ++i)
      write(*items.At(i));
  };

  const casedata::CExcCaseDetails& d = c.details;
  b.Signature().U32(layout).Text(d.fileName).U32(d.inputCount).U32(d.outputCount);
  // The macros in the record's order, by event, with their first versions.
  const std::pair<std::size_t, std::uint32_t> macros[] = {{1, 1},  {2, 12}, {3, 12}, {4, 15},
                                                          {5, 15}, {0, 15}, {6, 20}};
  for (const auto& [event, first] : macros) {
    if (holds(first)) b.Text(of(first, d).macros[event]).Flag(of(first, d).passDate[event]);
  }
  list(1, d.inputStreams, [&](const casedata::CExcInputStreamData& s) {
    b.Flag(s.solverDisplay).Flag(s.forecastDisplay).U32(s.forecastDirection).Text(s.sheetName);
    b.U32(s.solverUnitSystem).U32(s.forecastUnitSystem);
    for (std::size_t row = 0; row < s.solverCells.size(); ++row) {
      b.Text(s.solverCells[row].cell.view()).U32(s.solverCells[row].unit);
      b.Text(s.forecastCells[row].cell.view()).U32(s.forecastCells[row].unit);
    }
    composition(s);
  });
  list(1, d.outputStreams, [&](const casedata::CExcOutputStreamData& s) {
    b.Text(s.sheetName).U32(s.unitSystem);
    for (const casedata::CExcPropertyCell& cell : s.propertyCells)
      b.Text(cell.cell.view()).U32(cell.unit);
    composition(s);
  });
  if (holds(2)) b.Flag(of(2, c.objective).Defined).Flag(of(2, c.objective).Maximise);
  if (holds(2)) reference(of(2, c.objective));
  list(2, c.constraints, [&](const casedata::CExcConstraint& item) {
    b.U32(item.ConstraintType).Double(item.Limit);
    reference(item);
  });
  if (holds(3)) b.Flag(v >= 3 && d.useCompositions != 0);
  if (holds(3) && !holds(10)) {
    texts(d.compositions.At(0)->components);
  } else if (holds(10) && v >= 3 && v < 10) {
    b.U32(1).Text("Comp");
    texts(d.compositions.At(0)->components);
  } else {
    list(10, d.compositions, [&](const casedata::CExcCompositionDefinition& item) {
      b.Text(item.name);
      texts(item.components);
    });
  }
  list(6, c.controls, [&](const casedata::CExcControlVariable& item) {
    b.Double(item.LowerBound).Double(item.UpperBound);
    reference(item);
  });
  // 10 state pairs, 20 from version 33.
  list(21, c.intControls, [&](const casedata::CExcIntCtrlVariable& item) {
    b.I32(item.StateCount);
    for (std::size_t k = 0; k < (holds(33) ? 20u : 10u); ++k)
      b.Text(of(k < 10 ? 1 : 33, item).StateNames[k])
          .Text(of(k < 10 ? 1 : 33, item).StateValues[k]);
    reference(item);
  });
  // In the case from version 11 to 30.
  if (layout <= 30) {
    list(11, c.publishedVariables, [&](const casedata::CExcExportedVariable& item) {
      b.Text(item.name).Text(item.unit).Text(item.worksheet).Text(item.cell);
      if (holds(13)) b.Text(of(13, item).CascadeCell).U32(of(13, item).CascadeDirection);
    });
  }
  if (holds(14)) b.Flag(v >= 14 && d.hideInterface);
  return b.bytes();
}

}  // namespace archive_test
