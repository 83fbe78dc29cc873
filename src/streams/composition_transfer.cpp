#include "streams/composition_transfer.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <string_view>

#include "automation/cell_address.h"
#include "case/component_columns.h"
#include "com/bstr.h"
#include "com/error.h"
#include "com/variant.h"
#include "com/variant_text.h"
#include "excel/errors.h"
#include "streams/transfer_common.h"

namespace streams::detail {
namespace {

using automation::OffsetCell;

constexpr int kColumnTable = 1;  // kComponentColumns[0] is column 1

// The cell's value as text, as the cell transfer reads it.
std::string CellText(automation::CExcExcelObj& session, const std::string& address) {
  // A malformed top-left cell steps to no address at all; the spreadsheet
  // refuses an empty reference the same way.
  if (address.empty()) com::Throw(excel::kApplicationError);
  const com::Variant value = session.GetCellValue(address);
  if (value.vt == VT_BSTR) return com::BstrToUtf8(value.bstrVal);
  return com::VariantToText(value);
}

void WriteValue(automation::CExcExcelObj& session, const std::string& address,
                const com::Variant& value) {
  // No current worksheet means nothing was written: a failure, not a skip.
  if (session.SetCellValue(address, value) != 0) com::Throw(com::E_POINTER);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

int UnitIndex(std::uint32_t unit) {
  return static_cast<int>(unit);  // above INT_MAX: negative, so invalid
}

// Keeps the record's flag word in step with every bit set, so that a
// failure part-way leaves flags that describe the entries already written.
class Flags {
 public:
  explicit Flags(host::HostRecord& record) : record_(record) {
    static_cast<void>(record_.WriteU32(EXT_IPR_COMPONENT_FLAGS_OFFSET, 0));
  }
  void Set(std::uint32_t bit) {
    if ((bits_ & bit) == bit) return;
    bits_ |= bit;
    static_cast<void>(record_.WriteU32(EXT_IPR_COMPONENT_FLAGS_OFFSET, bits_));
  }

 private:
  host::HostRecord& record_;
  std::uint32_t bits_ = 0;
};

}  // namespace

void ReadCompositionBlock(automation::CExcExcelObj& session, const CExcStreamCompositionData& block,
                          std::size_t count, host::HostRecord& record) {
  count = std::min(count, kMaxComponents);
  static_cast<void>(
      record.WriteU32(EXT_IPR_COMPONENT_COUNT_OFFSET, static_cast<std::uint32_t>(count)));
  static_cast<void>(record.WriteU32(EXT_IPR_COMPOSITION_PRESENT_OFFSET, 1));
  Flags flags(record);

  const std::string table = block.componentTableCell.str();
  const std::string interaction = block.interactionCell.str();
  const bool hasInteraction = !block.interactionCell.IsBlank();
  for (std::size_t i = 0; i < count; ++i) {
    const int row = static_cast<int>(i);
    const std::string rowCell = OffsetCell(table, row, true);
    // The mole fraction is always there: an empty cell reads as 0.
    const ComponentColumn& mole = kComponentColumns[0];
    static_cast<void>(record.WriteDouble(
        ComponentOffset(mole.offset, i),
        automation::ParseNumber(CellText(session, OffsetCell(rowCell, kColumnTable, false)))));
    for (std::size_t k = 2; k <= kComponentColumnCount; ++k) {
      const ComponentColumn& column = kComponentColumns[k - 1];
      const std::string text = CellText(session, OffsetCell(rowCell, static_cast<int>(k), false));
      // Only a truly empty cell means "not given"; blanks read as 0.
      if (text.empty()) continue;
      flags.Set(column.flag);
      const double value = ToInternalUnits(automation::ParseNumber(text), column.kind,
                                           UnitIndex(block.columnUnits[k - 1]));
      static_cast<void>(record.WriteDouble(ComponentOffset(column.offset, i), value));
    }
    if (!hasInteraction) continue;
    const std::string matrixRow = OffsetCell(interaction, row, true);
    for (std::size_t j = 0; j < count; ++j) {
      if (j == i) continue;  // the diagonal has no coefficient
      const std::string text = CellText(session, OffsetCell(matrixRow, static_cast<int>(j), false));
      if (text.empty()) continue;
      flags.Set(EXT_IPR_HAS_INTERACTION);
      static_cast<void>(record.WriteDouble(InteractionOffset(i, j), automation::ParseNumber(text)));
    }
  }

  if (!block.massRateCell.IsBlank()) {
    const std::string text = CellText(session, block.massRateCell.str());
    if (!text.empty()) {
      static_cast<void>(record.WriteDouble(EXT_IPR_MASS_RATE_OFFSET,
                                           ToInternalUnits(automation::ParseNumber(text), kMassRate,
                                                           UnitIndex(block.massRateUnit))));
    }
  }

  std::uint32_t eos = EXT_EOS_OTHER;
  if (!block.eosModelCell.IsBlank()) {
    const std::string text = CellText(session, block.eosModelCell.str());
    if (EqualsIgnoringCase(text, "PR")) {
      eos = EXT_EOS_PR;
    } else if (EqualsIgnoringCase(text, "SRK")) {
      eos = EXT_EOS_SRK;
    }
  }
  static_cast<void>(record.WriteU32(EXT_IPR_EOS_MODEL_OFFSET, eos));
}

void WriteCompositionBlock(automation::CExcExcelObj& session,
                           const CExcStreamCompositionData& block,
                           const CExcCompositionDefinition& composition,
                           const host::ConstHostRecord& record) {
  const std::size_t count = std::min(composition.ComponentCount(), kMaxComponents);
  std::uint32_t flags = 0;
  static_cast<void>(record.ReadU32(EXT_IPR_COMPONENT_FLAGS_OFFSET, flags));
  const com::Variant notGiven = com::Variant::Text("--");

  const std::string table = block.componentTableCell.str();
  const std::string interaction = block.interactionCell.str();
  const bool writeInteraction =
      (flags & EXT_IPR_HAS_INTERACTION) != 0 && !block.interactionCell.IsBlank();
  for (std::size_t i = 0; i < count; ++i) {
    const int row = static_cast<int>(i);
    // A blank or malformed table cell steps to empty addresses: those cells
    // are skipped, the rest of the block is still written.
    const std::string nameCell = OffsetCell(table, row, true);
    if (!nameCell.empty()) {
      WriteValue(session, nameCell, com::Variant::Text(composition.components[i]));
    }
    const ComponentColumn& mole = kComponentColumns[0];
    const std::string moleCell = OffsetCell(nameCell, kColumnTable, false);
    if (!moleCell.empty()) {
      WriteValue(session, moleCell,
                 com::Variant::Double(ReadDouble(record, ComponentOffset(mole.offset, i))));
    }
    for (std::size_t k = 2; k <= kComponentColumnCount; ++k) {
      const std::string cell = OffsetCell(nameCell, static_cast<int>(k), false);
      if (cell.empty()) continue;
      const ComponentColumn& column = kComponentColumns[k - 1];
      if ((flags & column.flag) == 0) {
        WriteValue(session, cell, notGiven);
        continue;
      }
      const double value = FromInternalUnits(ReadDouble(record, ComponentOffset(column.offset, i)),
                                             column.kind, UnitIndex(block.columnUnits[k - 1]));
      WriteValue(session, cell, com::Variant::Double(value));
    }
    if (!writeInteraction) continue;
    const std::string matrixRow = OffsetCell(interaction, row, true);
    for (std::size_t j = 0; j < count; ++j) {
      const std::string cell = OffsetCell(matrixRow, static_cast<int>(j), false);
      if (cell.empty()) continue;
      if (j == i) {
        WriteValue(session, cell, notGiven);
      } else {
        WriteValue(session, cell,
                   com::Variant::Double(ReadDouble(record, InteractionOffset(i, j))));
      }
    }
  }

  if (!block.massRateCell.IsBlank()) {
    const double massRate = FromInternalUnits(ReadDouble(record, EXT_IPR_MASS_RATE_OFFSET),
                                              kMassRate, UnitIndex(block.massRateUnit));
    WriteValue(session, block.massRateCell.str(), com::Variant::Double(massRate));
  }
  if (!block.eosModelCell.IsBlank()) {
    std::uint32_t eos = EXT_EOS_OTHER;
    static_cast<void>(record.ReadU32(EXT_IPR_EOS_MODEL_OFFSET, eos));
    const char* text = eos == EXT_EOS_PR ? "PR" : eos == EXT_EOS_SRK ? "SRK" : "--";
    WriteValue(session, block.eosModelCell.str(), com::Variant::Text(text));
  }
}

}  // namespace streams::detail
