// Error values between the office and the spreadsheet user: Calc's formula
// error codes as the spreadsheet's error values, the formulas that make and
// the texts that name them, and formulas made ready for the office's parser.
// Kept free of UNO so that they are unit tested alone.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "com/oleauto_types.h"

namespace excel::calc {

// Calc's formula error code (XCell::getError) as the VT_ERROR code a
// spreadsheet user sees for it. Codes without an Excel counterpart (syntax
// errors, circular references) read as #VALUE!.
com::SCODE ExcelErrorFromCalc(std::int32_t calcError);

// The name a user should read for Calc's error code: the spreadsheet's
// error value where Calc's code is one of its kinds ("#DIV/0!"), else the
// code as Calc shows it with what it means ("Err:522 circular reference"),
// so that no office error passes for another.
std::string CalcErrorName(std::int32_t calcError);

// The formula that makes a cell hold an Excel error value; nullopt when
// `code` is not one of the seven error values.
std::optional<std::string> ErrorFormula(com::SCODE code);

// The error value a text names ("#N/A", "#div/0!"), if it is one.
std::optional<com::SCODE> ErrorValueNamed(std::u16string_view text);

// A formula as spreadsheet users write it, made ready for the office's
// formula parser, which does not take error values or the logical
// constants as such: #N/A becomes NA(), #DIV/0! (1/0), #VALUE! ("a"*1),
// #NUM! SQRT(-1), #REF! INDIRECT("A0"), and TRUE / FALSE become TRUE() /
// FALSE(): the same results. Texts in quotes and quoted sheet names are
// left alone; #NULL! and #NAME? stay (the parser reads them as unknown
// names, which gives #NAME?).
std::u16string SpreadsheetFormulaForParser(std::u16string_view formula);

// True for the codes Calc gives a formula it could not compile: writing such
// a formula is refused, as the spreadsheet refuses a formula it cannot parse.
bool IsFormulaSyntaxError(std::int32_t calcError);

}  // namespace excel::calc
