#include "optimisation/held_cells.h"

#include <cmath>
#include <span>
#include <utility>

#include "automation/block_transfer.h"
#include "automation/cell_address.h"
#include "automation/cell_transfer.h"
#include "optimisation/optimisation_ops.h"
#include "text/ascii.h"
#include "text/number.h"

namespace optimisation {
namespace {

using outcome::Error;

// A value read ahead as the single-cell read would take it; none for
// anything that read would refuse, which is then read alone to say why.
std::optional<double> NumberOf(const com::Variant* value) {
  if (value == nullptr) return std::nullopt;
  outcome::Expected<std::string> text = automation::CellValueText(*value, {}, {});
  if (!text) return std::nullopt;
  return text::ParseWholeNumber(*text);
}

}  // namespace

Error HeldCells::HoldControl(const casedata::CExcclControlVariable& controls,
                             automation::CExcExcelObj* session, const casedata::ItemValue& value) {
  const casedata::CExcControlVariable* control =
      value.handle < 0 ? nullptr : controls.At(static_cast<std::size_t>(value.handle));
  std::string address = control != nullptr ? automation::CellAddress(control->cell) : "";
  // Anything but a plain write into a cell goes now, as it always went.
  if (control == nullptr || session == nullptr || address.empty()) {
    if (Error held = SendWrites(session)) return held;
    return SetControls(controls, session, value);
  }
  writes_.push_back({control->worksheet, control->cell, std::move(address), value.value});
  return Error::Success();
}

std::optional<std::vector<excel::CellWrite>> HeldCells::WritesToCarry() const {
  if (!automation::BlockTransferEnabled()) return std::nullopt;
  std::vector<excel::CellWrite> carried;
  for (const Write& write : writes_) {
    const std::optional<automation::CellPosition> cell = automation::PlainCell(write.address);
    if (!cell || !std::isfinite(write.value)) return std::nullopt;
    carried.push_back({write.worksheet, cell->column - 1, cell->row - 1, write.value});
  }
  return carried;
}

Error HeldCells::SendWrites(automation::CExcExcelObj* session) {
  std::vector<Write> writes = std::exchange(writes_, {});
  std::size_t first = 0;
  while (first < writes.size()) {
    // The longest run from `first` of one sheet's cells in one column or row.
    std::vector<std::string> line{writes[first].address};
    std::size_t last = first + 1;
    for (; last < writes.size() && writes[last].worksheet == writes[first].worksheet; ++last) {
      line.push_back(writes[last].address);
      if (!automation::BlockOf(line, 1) && !automation::BlockOf(line, line.size())) break;
    }
    if (Error failed = SendRun(session, writes, first, last)) return failed;
    first = last;
  }
  return Error::Success();
}

Error HeldCells::SendRun(automation::CExcExcelObj* session, const std::vector<Write>& writes,
                         std::size_t first, std::size_t last) {
  if (session != nullptr && last - first > 1 &&
      !session->SelectWorksheet(writes[first].worksheet)) {
    std::vector<std::string> addresses;
    std::vector<com::Variant> values;
    for (std::size_t i = first; i < last; ++i) {
      addresses.push_back(writes[i].address);
      values.push_back(com::Variant::Double(writes[i].value));
    }
    if (automation::WriteLine(*session, addresses, values)) return Error::Success();
  }
  // One at a time, so that a failure is the failing write's own.
  for (std::size_t i = first; i < last; ++i) {
    automation::CExcCellDef cell;
    cell.worksheet = writes[i].worksheet;
    cell.cell = writes[i].cell;
    if (Error failed = WriteItemCell(session, cell, com::Variant::Double(writes[i].value)))
      return failed;
  }
  return Error::Success();
}

casedata::ItemReading HeldCells::ReadObjective(const casedata::CExcObjFn& objective,
                                               const casedata::CExcclConstraint& constraints,
                                               automation::CExcExcelObj* session) {
  readings_.clear();
  std::vector<std::string> addresses{automation::CellAddress(objective.cell)};
  std::vector<std::int32_t> handles;
  for (std::size_t i = 0; i < constraints.size(); ++i) {
    const casedata::CExcConstraint& constraint = *constraints.At(i);
    if (constraint.worksheet != objective.worksheet) continue;
    std::string address = automation::CellAddress(constraint.cell);
    if (address.empty()) continue;
    addresses.push_back(std::move(address));
    handles.push_back(static_cast<std::int32_t>(i));
  }
  if (handles.empty() || addresses.front().empty() || session == nullptr ||
      objective.worksheet.empty() || session->SelectWorksheet(objective.worksheet)) {
    return ReadItemCell(session, objective);
  }
  const automation::BlockRead read = automation::BlockRead::Covering(*session, addresses);
  const std::optional<double> value = NumberOf(read.Nth(0));
  if (!value) return ReadItemCell(session, objective);
  for (std::size_t k = 0; k < handles.size(); ++k) {
    if (const std::optional<double> number = NumberOf(read.Nth(k + 1)))
      readings_[handles[k]] = *number;
  }
  return {*value, Error::Success()};
}

std::optional<double> HeldCells::TakeConstraint(std::int32_t handle) {
  const auto found = readings_.find(handle);
  if (found == readings_.end()) return std::nullopt;
  const double value = found->second;
  readings_.erase(found);
  return value;
}

}  // namespace optimisation
