// Cell results as the workbook check's tests write them.
#pragma once

#include <string>

#include "excel/recalculation.h"

namespace hosttest {

inline excel::CellResult Number(double n) {
  return {excel::CellResult::Kind::kNumber, n, {}};
}
inline excel::CellResult Text(const std::string& t) {
  return {excel::CellResult::Kind::kText, 0, t};
}
inline excel::CellResult Logical(bool b) {
  return {excel::CellResult::Kind::kLogical, b ? 1.0 : 0.0, {}};
}
inline excel::CellResult Error(const std::string& e) {
  return {excel::CellResult::Kind::kError, 0, e};
}

}  // namespace hosttest
