// Number formats of a document as cells use them: the logical format, a
// format's key by its code, and which cells a user sees as TRUE / FALSE.
#pragma once

#include <optional>
#include <string>

#include "excel/calc/calls/calc_objects.h"

namespace excel::calc {

// Whether format `key` shows numbers as TRUE / FALSE.
bool IsLogicalFormat(Document& document, sal_Int32 key);
// The code format `key` is written in.
rtl::OUString FormatCode(Document& document, sal_Int32 key);
// The document's standard logical (TRUE / FALSE) format.
sal_Int32 LogicalFormat(Document& document);
// The key of the format written `code` (English), added to the document
// when new; a code the office refuses is kApplicationError, naming it.
sal_Int32 FormatKey(Document& document, const std::u16string& code);
// True for the texts a logical shows as.
bool IsLogicalText(const rtl::OUString& shown);

// Which of `candidates` (cells of `handles`' range holding 0 or 1) a user
// sees as TRUE / FALSE: a logical number format, or a formula whose result
// shows so. `filled`, when given, holds or is given FilledCells of the
// range, which tells the formulas among the candidates (a number is no
// text), so that a caller that needs it too asks the office once.
CellSet LogicalCells(Document& document, RangeHandles& handles, const CellSet& candidates,
                     std::optional<CellSet>* filled = nullptr);

// The cells of `handles`' range holding a text or a formula: of the cells
// that read as an empty text, the others are empty.
CellSet FilledCells(RangeHandles& handles);

}  // namespace excel::calc
