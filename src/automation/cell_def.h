// A cell reference: the worksheet and cell an item is bound to, with the
// name the item is known by and the unit of its value.
#pragma once

#include <string>

namespace automation {

class CExcCellDef {
 public:
  CExcCellDef() { Clear(); }
  virtual ~CExcCellDef() = default;
  CExcCellDef(const CExcCellDef&) = default;
  CExcCellDef& operator=(const CExcCellDef&) = default;

  virtual void Clear() {
    worksheet.clear();
    cell.clear();
    name.clear();
    unit.clear();
  }

  std::string worksheet;  // empty: the current worksheet
  std::string cell;       // an A1 address or a column:row pair
  std::string name;
  std::string unit;  // may be empty
};

}  // namespace automation
