#include "differences/known_differences.h"

#include <sstream>

namespace refhost {

using namespace differences;

namespace {

// Causes in references, links and the functions one program lacks.
std::vector<KnownDifference> ReferenceCauses() {
  return {
      {"external-data",
       {"other file", "WEBSERVICE", "FILTERXML", "RTD"},
       "Excel saved the values it read from another workbook or from the web; Calc reads them "
       "again when it recalculates, and gives #NAME? or #VALUE! where the source, or a name in "
       "it, cannot be reached.",
       "Copy the linked values into the workbook (paste them as values), or keep the source "
       "where the run can read it.",
       ExternalData},
      {"excel-only-function", ExcelOnlyFunctions(),
       "The function is one of recent Excel versions that Calc 25.2 does not have: Calc gives "
       "#NAME? (Err:509 for a LAMBDA called in place); the check also lists it under unknown "
       "functions.",
       "Replace it with functions both have (INDEX, SMALL, MID, FIND, FILTER, SORT, UNIQUE, "
       "XLOOKUP, LET), or keep its results as values.",
       ExcelOnlyFunction},
      {"office-before-24-8", NewerOfficeFunctions(),
       "The function came to Calc with version 24.8: an older office (Debian 12's own 7.4) "
       "gives #NAME?.",
       "Run the workbook with LibreOffice 24.8 or newer (scripts/install-deps installs 25.2), "
       "or replace the function with older ones (INDEX and MATCH for XLOOKUP).",
       NewerOfficeFunction},
      {"structured-reference",
       {"[#All]", "[#Totals]", "[#Headers]", "[#Data]", "[#This Row]", "Table[Column]", "[Column]"},
       "Calc resolves some table references otherwise or not at all: a column without its "
       "table's name (as Excel writes it inside the table), table names with a backslash or a "
       "dot (`\\_Prime.1`), non-ASCII column names in a totals row, and the rows that [#All], "
       "[#Totals], [#Headers] and [#Data] take.",
       "Refer to the cells by address (B2:B9) or through a defined name, give tables plain "
       "names (letters, digits, underscores), and write the table's name in every reference.",
       StructuredReference},
      {"info-environment",
       {"INFO", "CELL"},
       "INFO and CELL(\"filename\") describe the program, the computer and the file (system, "
       "version, folder, path), so they differ with whatever computes them.",
       "Do not let results depend on them; write the values needed into cells.",
       InfoEnvironment},
      {"deleted-reference",
       {"#REF!", "defined name", "deleted sheet"},
       "A reference to a deleted sheet or cell (#REF!A1), or a defined name whose range was "
       "deleted: #REF! in Excel, #NAME? in Calc. A reference through a link to the workbook "
       "itself ([1]Old!A1, to a sheet it no longer has): Excel keeps the value it last read, "
       "Calc reads a sheet of its own.",
       "Repair or delete the broken names (the name manager) and the formulas that refer to "
       "deleted cells.",
       DeletedReference},
      {"empty-intersection",
       {"intersection"},
       "An intersection of two ranges that do not meet (A1:A2 B1:B2): #NULL! in Excel, #REF! in "
       "Calc 7.4 (Calc 25.2 gives #NULL! too).",
       "Make the ranges meet, or pick the cell with INDEX.",
       EmptyIntersection},
  };
}

// Causes in error kinds, logicals and TEXT.
std::vector<KnownDifference> ValueCauses() {
  return {
      {"error-kind", ErrorKindFunctions(),
       "The same invalid argument gives another error value: VALUE of a non-number, CHOOSE, MID, "
       "REPT and ROMAN out of range give #VALUE! in Excel and #NUM! in Calc; MEDIAN, LARGE and "
       "SMALL without an answer #NUM! and #VALUE!; MODE and PERCENTRANK #N/A and #VALUE!; COVAR, "
       "PEARSON and TTEST of unequal ranges #N/A and #NUM!; SUMX2MY2 #N/A and #VALUE!; OFFSET "
       "off the sheet #REF! and #NUM!; MIRR #DIV/0! and #NUM!; STEYX #DIV/0! and #VALUE!; DEVSQ "
       "of nothing #NUM! and #DIV/0!; CHIDIST of a negative and CODE(\"\") give an error in "
       "Excel and a value in Calc.",
       "Test for an error with ISERROR or IFERROR, never for its kind, and check the arguments "
       "before the call.",
       ErrorKind},
      {"no-logical-type",
       {"TEXT", "ISNUMBER", "ISEVEN", "ISODD", "VLOOKUP", "HLOOKUP", "LOOKUP", "XLOOKUP", "INDEX",
        "CHOOSE", "IF", "COUNT", "SUM", "SUMPRODUCT", "PRODUCT", "MAX", "MIN", "VALUE",
        "arithmetic"},
       "Calc has no logical type: TRUE and FALSE are the numbers 1 and 0 there, so ranges count "
       "them (COUNT, SUM, MAX), ISNUMBER(TRUE) is TRUE, ISEVEN and ISODD take them, a lookup "
       "that returns a TRUE cell gives 1, TEXT shows them as numbers, and the text \"TRUE\" "
       "becomes 1 in arithmetic and VALUE where Excel gives #VALUE!.",
       "Keep numbers and logicals apart: store 1 and 0 where values are counted or summed, "
       "convert on purpose (N(), --), test ISLOGICAL before ISNUMBER, and do not compute with "
       "the texts \"TRUE\" and \"FALSE\".",
       NoLogicalType},
      {"text-format-separators",
       {"TEXT"},
       "TEXT reads a code's \".\" and \",\" in the language settings of the program that "
       "computes it: the Excel that saved the file took them the other way round from Calc "
       "(decimal point and thousands separator swapped).",
       "Use FIXED or DOLLAR, which take the decimals as an argument, or codes without "
       "separators; TEXT codes do not carry between languages.",
       TextSeparators},
      {"text-general-digits",
       {"TEXT"},
       "TEXT with the General code keeps at most 11 characters in Excel (1.234567891, "
       "1.1E+11); Calc shows every digit (1.2345678912, 110000000000).",
       "Give TEXT a code with the digits wanted, such as 0.000000000 or 0.00E+00.",
       TextGeneralDigits},
      {"text-format-code",
       {"TEXT"},
       "TEXT reads some format codes otherwise in Calc: Excel keeps a trailing decimal point "
       "(\"#.###\" gives \"1.\"), pads \"?\" with plain spaces and shows zeros on zero, places "
       "an exponent's sign after literal text (0\"e\"+0), shows A/P in the code's case, reads a "
       "lone \"y\" (d-m-y) as the year, rounds seconds instead of cutting them and keeps the "
       "minus sign in conditional sections; Calc refuses some codes Excel reads (\"#,.#,\", "
       "\"0e0\"), with an error.",
       "Format the cell itself with a number format and refer to its value, or use codes both "
       "read alike (0.00, #,##0, yyyy-mm-dd, hh:mm:ss, AM/PM).",
       TextFormatCode},
  };
}

// Causes in matrices, dates and financial and statistical functions.
std::vector<KnownDifference> DateAndMathCauses() {
  return {
      {"matrix-shape",
       {"MINVERSE", "MMULT", "MDETERM"},
       "When the matrices' shapes do not fit (not square, or the columns of one are not the "
       "rows of the other), Excel gives #VALUE! and Calc #NUM!.",
       "Check the shapes first (ROWS, COLUMNS) and test for an error with ISERROR or IFERROR "
       "rather than for its kind.",
       MatrixShape},
      {"date-two-digit-year",
       {"DATE"},
       "DATE reads the years 0 to 1899 otherwise: Excel adds 1900 (DATE(29,1,1) is 1929, "
       "DATE(1899,12,31) is 31 December 3799); Calc reads 0 to 99 through its two-digit-year "
       "window (DATE(29,1,1) is 2029) and takes 100 to 1899 as they are.",
       "Write four-digit years in DATE.",
       DateTwoDigitYear},
      {"date-serial-before-march-1900",
       {"DAY", "MONTH", "YEAR", "WEEKNUM", "DATE", "EDATE", "EOMONTH", "DATEVALUE", "WORKDAY",
        "TEXT"},
       "Excel counts a 29 February 1900 that never was, so its day numbers below 61 (before "
       "1 March 1900) fall one day later than Calc's: DAY(0) is 0 in Excel and 30 in Calc, "
       "MONTH(0) 1 and 12, YEAR(0) 1900 and 1899, EOMONTH(0,0) 31 and 1; an empty cell read as "
       "a date is day 0.",
       "Keep dates on or after 1 March 1900, and test for empty cells (IF(A1=\"\", ...)) before "
       "passing them to date functions.",
       SerialBeforeMarch1900},
      {"date-out-of-range",
       {"YEAR", "DATEVALUE", "DATE"},
       "Excel knows the dates from 1 January 1900 to 31 December 9999 only and gives #VALUE! "
       "or #NUM! outside them; Calc computes dates before 1900 and after 9999.",
       "Keep dates within 1900 to 9999, or hold other years as numbers or text.",
       DateOutOfRange},
      {"regression-layout",
       {"LINEST", "TREND", "LOGEST", "GROWTH"},
       "For some layouts Excel fits, Calc gives an error: known y's and x's laid out in rows "
       "(#VALUE! in Calc 7.4), or new x's that are empty cells, which Excel reads as 0.",
       "Lay the known y's and x's out in columns, and give new x's as numbers (0 rather than "
       "an empty cell).",
       RegressionLayout},
      {"vdb-fractional-period",
       {"VDB"},
       "VDB with a start or end period that is not a whole number can share the depreciation "
       "of the partial period out otherwise in Calc than in Excel (Calc 25.2 agreed with Excel "
       "on every case tried).",
       "Use whole periods (months, with the life in months), or compute the partial period in "
       "a formula of its own.",
       VdbFractionalPeriod},
      {"yearfrac-basis",
       {"YEARFRAC"},
       "YEARFRAC counts days differently for some bases, a few days at most: with basis 0 (US "
       "30/360) Excel takes the last day of February as the 30th when a span starts on it, "
       "Calc does not (28 February to 31 March 2011: 30 days in Excel, 31 in Calc).",
       "Use basis 2 or 3 (actual/360, actual/365), which both count alike, or divide the days "
       "yourself.",
       YearFracBasis},
  };
}

// Causes in subtotals, cycles and macros.
std::vector<KnownDifference> OtherCauses() {
  return {
      {"subtotal-rows",
       {"SUBTOTAL", "AGGREGATE"},
       "SUBTOTAL and AGGREGATE leave out other cells: Excel skips cells that hold a SUBTOTAL "
       "themselves whatever the arguments, and manually hidden rows for the codes 101 to 111; "
       "Calc counts a SUBTOTAL cell given as an argument of its own and treats hidden rows by "
       "its own rules.",
       "Give SUBTOTAL one range that holds no other subtotal, and hide rows with a filter "
       "rather than by hand.",
       SubtotalRows},
      {"circular-reference",
       {"circular reference"},
       "A formula that depends on itself: Excel, without iteration, saves 0; Calc gives "
       "Err:522.",
       "Break the cycle, or turn on iterative calculation in both programs with the same "
       "limits.",
       CircularReference},
      {"vba-range-formula",
       {".Formula", ".FormulaR1C1"},
       "A macro that gives a range of several cells one formula (Range(\"A2:C7\").Formula = "
       "\"=A1+1\"): Excel moves the formula's relative references with each cell; Calc gave "
       "every cell the same formula.",
       "Nothing: the driver gives each cell its own relative references when the macro runs. "
       "To depend on neither, fill the first cell and copy it (FillDown), or loop over the "
       "cells.",
       nullptr},
      {"vba-dialog-call",
       {"VBA.MsgBox", "Interaction.MsgBox", "Application.InputBox"},
       "A macro that calls MsgBox by its library's name (VBA.MsgBox, Interaction.MsgBox) or "
       "Application.InputBox fails in Calc, which has no procedure of that name; Excel shows "
       "the dialog.",
       "Call MsgBox and InputBox unqualified: a run answers them as a person pressing Enter "
       "would (docs/vba.md).",
       nullptr},
  };
}

}  // namespace

const std::vector<KnownDifference>& KnownDifferences() {
  static const std::vector<KnownDifference> table = [] {
    std::vector<KnownDifference> all;
    for (auto group : {ReferenceCauses(), ValueCauses(), DateAndMathCauses(), OtherCauses()})
      all.insert(all.end(), group.begin(), group.end());
    return all;
  }();
  return table;
}

std::optional<CellCause> ExplainDifference(std::string_view formula, const excel::CellResult& saved,
                                           const excel::CellResult& calc) {
  const FormulaView view(formula);
  for (const KnownDifference& cause : KnownDifferences()) {
    if (cause.recognise == nullptr) continue;
    if (Label function = cause.recognise(view, saved, calc))
      return CellCause{std::string(cause.id), std::move(*function)};
  }
  return std::nullopt;
}

std::string KnownDifferencesMarkdown() {
  std::ostringstream out;
  out << "# Known differences between Calc and Excel\n\n"
         "<!-- Printed by `gridmoor-host workbook differences`; a test keeps this file equal "
         "to it. -->\n\n"
         "`gridmoor-host workbook check` ([workbook-check.md](workbook-check.md)) names, for "
         "each formula cell whose result in Calc differs from the value Excel saved, the cause "
         "below that explains it: the cell's `cause` in the JSON is the cause's id. A cause is "
         "named only when its functions appear in the formula and the two values fit what it "
         "describes; other cells are counted as unexplained. Causes found in macro modules "
         "are reported as notes at their line.\n";
  const auto section = [&](const KnownDifference& cause) {
    out << "\n### `" << cause.id << "`\n\n- **Functions:** ";
    for (std::size_t i = 0; i < cause.functions.size(); ++i)
      out << (i > 0 ? ", " : "") << cause.functions[i];
    out << "\n- **What differs:** " << cause.differs << "\n- **What to change:** " << cause.remedy
        << "\n";
  };
  out << "\n## In formula cells\n";
  for (const KnownDifference& cause : KnownDifferences())
    if (cause.recognise != nullptr) section(cause);
  out << "\n## In macros\n";
  for (const KnownDifference& cause : KnownDifferences())
    if (cause.recognise == nullptr) section(cause);
  return out.str();
}

}  // namespace refhost
