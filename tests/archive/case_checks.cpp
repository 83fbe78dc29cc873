#include "archive/case_checks.h"

#include <gtest/gtest.h>

#include "case/composition.h"
#include "case/stream_data.h"

namespace archive_test {
namespace {

void ExpectSameBlock(const streams::CExcStreamCompositionData& expected,
                     const streams::CExcStreamCompositionData& actual) {
  EXPECT_EQ(actual.componentTableCell, expected.componentTableCell);
  EXPECT_EQ(actual.interactionCell, expected.interactionCell);
  EXPECT_EQ(actual.massRateCell, expected.massRateCell);
  EXPECT_EQ(actual.massRateUnit, expected.massRateUnit);
  EXPECT_EQ(actual.columnUnits, expected.columnUnits);
  EXPECT_EQ(actual.unitSystem, expected.unitSystem);
  EXPECT_EQ(actual.eosModelCell, expected.eosModelCell);
}

template <std::size_t N>
void ExpectSameCells(const std::array<streams::CExcPropertyCell, N>& expected,
                     const std::array<streams::CExcPropertyCell, N>& actual) {
  for (std::size_t row = 0; row < N; ++row) {
    SCOPED_TRACE(testing::Message() << "row " << row);
    EXPECT_EQ(actual[row].cell, expected[row].cell);
    EXPECT_EQ(actual[row].unit, expected[row].unit);
  }
}

void ExpectSameReference(const automation::CExcCellDef& expected,
                         const automation::CExcCellDef& actual) {
  EXPECT_EQ(actual.worksheet, expected.worksheet);
  EXPECT_EQ(actual.cell, expected.cell);
  EXPECT_EQ(actual.name, expected.name);
  EXPECT_EQ(actual.unit, expected.unit);
}

// Compares the lists element by element with `same`.
template <typename T, typename Same>
void ExpectSameList(const model::CExtCollection<T>& expected,
                    const model::CExtCollection<T>& actual, const char* what, Same same) {
  ASSERT_EQ(actual.size(), expected.size()) << what;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(testing::Message() << what << " " << i);
    same(*expected.At(i), *actual.At(i));
  }
}

}  // namespace

void ExpectSameInputStream(const streams::CExcInputStreamData& expected,
                           const streams::CExcInputStreamData& actual) {
  EXPECT_EQ(actual.solverDisplay, expected.solverDisplay);
  EXPECT_EQ(actual.forecastDisplay, expected.forecastDisplay);
  EXPECT_EQ(actual.solverUnitSystem, expected.solverUnitSystem);
  EXPECT_EQ(actual.forecastUnitSystem, expected.forecastUnitSystem);
  EXPECT_EQ(actual.forecastDirection, expected.forecastDirection);
  EXPECT_EQ(actual.sheetName, expected.sheetName);
  EXPECT_EQ(actual.compositionName, expected.compositionName);
  ExpectSameBlock(expected.composition, actual.composition);
  ExpectSameCells(expected.solverCells, actual.solverCells);
  ExpectSameCells(expected.forecastCells, actual.forecastCells);
}

void ExpectSameOutputStream(const streams::CExcOutputStreamData& expected,
                            const streams::CExcOutputStreamData& actual) {
  EXPECT_EQ(actual.sheetName, expected.sheetName);
  EXPECT_EQ(actual.unitSystem, expected.unitSystem);
  EXPECT_EQ(actual.compositionName, expected.compositionName);
  ExpectSameBlock(expected.composition, actual.composition);
  ExpectSameCells(expected.propertyCells, actual.propertyCells);
}

void ExpectSamePublishedVariables(const optimisation::CExcclExportedVariable& expected,
                                  const optimisation::CExcclExportedVariable& actual) {
  ExpectSameList(
      expected, actual, "published variable",
      [](const optimisation::CExcExportedVariable& e, const optimisation::CExcExportedVariable& a) {
        EXPECT_EQ(a.name, e.name);
        EXPECT_EQ(a.unit, e.unit);
        EXPECT_EQ(a.worksheet, e.worksheet);
        EXPECT_EQ(a.cell, e.cell);
        EXPECT_EQ(a.CascadeCell, e.CascadeCell);
        EXPECT_EQ(a.CascadeDirection, e.CascadeDirection);
        EXPECT_EQ(a.RegionWidth, e.RegionWidth);
        EXPECT_EQ(a.RegionHeight, e.RegionHeight);
        EXPECT_EQ(a.ColumnDelimiter, e.ColumnDelimiter);
        EXPECT_EQ(a.RowDelimiter, e.RowDelimiter);
      });
}

void ExpectSameCase(const archive::CaseView& expected, const archive::CaseView& actual) {
  const model::CExcCaseDetails& e = expected.details;
  const model::CExcCaseDetails& a = actual.details;
  EXPECT_EQ(a.fileName, e.fileName);
  EXPECT_EQ(a.inputCount, e.inputCount);
  EXPECT_EQ(a.outputCount, e.outputCount);
  EXPECT_EQ(a.macros, e.macros);
  EXPECT_EQ(a.passDate, e.passDate);
  EXPECT_EQ(a.useCompositions, e.useCompositions);
  EXPECT_EQ(a.hideInterface, e.hideInterface);
  ExpectSameList(e.inputStreams, a.inputStreams, "input stream", ExpectSameInputStream);
  ExpectSameList(e.outputStreams, a.outputStreams, "output stream", ExpectSameOutputStream);
  ExpectSameList(e.compositions, a.compositions, "composition",
                 [](const streams::CExcCompositionDefinition& ec,
                    const streams::CExcCompositionDefinition& ac) {
                   EXPECT_EQ(ac.name, ec.name);
                   EXPECT_EQ(ac.components, ec.components);
                 });

  EXPECT_EQ(actual.objective.Defined, expected.objective.Defined);
  EXPECT_EQ(actual.objective.Maximise, expected.objective.Maximise);
  ExpectSameReference(expected.objective, actual.objective);
  ExpectSameList(
      expected.constraints, actual.constraints, "constraint",
      [](const optimisation::CExcConstraint& ec, const optimisation::CExcConstraint& ac) {
        EXPECT_EQ(ac.ConstraintType, ec.ConstraintType);
        EXPECT_EQ(ac.Limit, ec.Limit);
        ExpectSameReference(ec, ac);
      });
  ExpectSameList(
      expected.controls, actual.controls, "control",
      [](const optimisation::CExcControlVariable& ec, const optimisation::CExcControlVariable& ac) {
        EXPECT_EQ(ac.LowerBound, ec.LowerBound);
        EXPECT_EQ(ac.UpperBound, ec.UpperBound);
        ExpectSameReference(ec, ac);
      });
  ExpectSameList(
      expected.intControls, actual.intControls, "integer control",
      [](const optimisation::CExcIntCtrlVariable& ec, const optimisation::CExcIntCtrlVariable& ac) {
        EXPECT_EQ(ac.StateCount, ec.StateCount);
        // Exactly, not as the item's comparison does (without case).
        EXPECT_EQ(ac.StateNames, ec.StateNames);
        EXPECT_EQ(ac.StateValues, ec.StateValues);
        ExpectSameReference(ec, ac);
      });
  ExpectSamePublishedVariables(expected.publishedVariables, actual.publishedVariables);
}

}  // namespace archive_test
