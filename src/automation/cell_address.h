// Cell address texts: the forms a cell reference may take, and stepping an
// address by rows or columns.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "values/host_values.h"

namespace automation {

// The host's missing-value marker; any value above kUndefinedThreshold is
// undefined and passes through unchanged.
inline constexpr double kUndefinedValue = values::kUndefinedValue;
inline constexpr double kUndefinedThreshold = 3.2e35;
inline bool IsUndefined(double value) {
  return value > kUndefinedThreshold;
}

// Columns the numeric column:row form can name (A ... ZZ).
inline constexpr int kMaxPairColumn = 702;

// The address a cell text names. A text holding a colon followed by more
// text is a numeric pair "column:row" (3:7 is C7, 27:1 is AA1); anything else
// is an A1 address (or name) passed on unchanged. A pair whose column lies
// outside 1 ... 702 or whose row is below 1 names no cell: the result is the
// empty text, which callers report as a failure.
std::string CellAddress(std::string_view cell);

// Whether a typed cell text can name a cell: an A1 address ("B5", "$B$5",
// at most XFD1048576), a numeric pair that names a cell ("3:7") or a defined
// name (a letter or underscore, then letters, digits, '_' or '.'). A name
// that starts like an address ("B5x", "R1C1") is neither, so it is refused.
bool IsCellReference(std::string_view cell);

// Steps an address `count` rows down (byRow) or `count` columns right. The
// letters before the first digit are the column, every digit the row; other
// characters are skipped. The result is empty when either part is missing,
// the row is 0, or a part is longer than 7 characters. Rows may step to 0 or
// below ("B-3"); columns step as A ... Z, AA ... ZZ, AAA ... and are upper
// cased; a count of 0 or less leaves the column as it is.
std::string OffsetCell(std::string_view address, int count, bool byRow);
// As OffsetCell, but nullopt (not the empty text) for a part longer than 7
// characters, which a caller may refuse.
std::optional<std::string> TryOffsetCell(std::string_view address, int count, bool byRow);

}  // namespace automation
