// Sheets, worksheets, chart sheets, ranges and cells of the in-memory
// application.
#include <algorithm>
#include <charconv>
#include <regex>

#include "com/variant_text.h"
#include "excel/errors.h"
#include "support/memory_application.h"

namespace test_support::memory {

namespace {

// "B7", "$B$7", "b7", up to XFD1048576.
std::optional<Position> ParseCell(std::string_view text) {
  static const std::regex form(R"(\$?([A-Za-z]{1,3})\$?([1-9][0-9]{0,6}))");
  std::match_results<std::string_view::const_iterator> parts;
  if (!std::regex_match(text.begin(), text.end(), parts, form)) return std::nullopt;
  int column = 0;
  for (const char letter : parts.str(1))
    column = column * 26 + (std::toupper(static_cast<unsigned char>(letter)) - 'A' + 1);
  const int row = std::stoi(parts.str(2));
  if (column > 16384 || row > 1048576) return std::nullopt;
  return Position{row, column};
}

Block Span(const Block& a, const Block& b) {
  return {{std::min(a.first.first, b.first.first), std::min(a.first.second, b.first.second)},
          {std::max(a.last.first, b.last.first), std::max(a.last.second, b.last.second)}};
}

std::string_view Trim(std::string_view text) {
  text.remove_prefix(std::min(text.find_first_not_of(" \t"), text.size()));
  return text.substr(0, text.find_last_not_of(" \t") + 1);
}

// The classic "C" form: sign, digits with a decimal point, exponent; no
// hexadecimal, infinities, NaN or separators; out of range is no number.
std::optional<double> ParseClassicNumber(std::string_view text) {
  text = Trim(text);
  if (text.find_first_not_of("0123456789.eE+-") != std::string_view::npos) return std::nullopt;
  if (text.size() > 1 && text[0] == '+' && text[1] != '-') text.remove_prefix(1);
  double value = 0;
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec != std::errc() || result.ptr != text.data() + text.size()) return std::nullopt;
  return value;
}

constexpr std::pair<std::string_view, SCODE> kErrors[] = {
    {"#NULL!", excel::kErrNull}, {"#DIV/0!", excel::kErrDiv0}, {"#VALUE!", excel::kErrValue},
    {"#REF!", excel::kErrRef},   {"#NAME?", excel::kErrName},  {"#NUM!", excel::kErrNum},
    {"#N/A", excel::kErrNA}};

bool IsAbsent(const VARIANT& value) {
  return value.vt == VT_EMPTY || (value.vt == VT_ERROR && value.scode == com::DISP_E_PARAMNOTFOUND);
}

// Count and Type of Sheets.Add: absent, or one worksheet.
bool IsAbsentOr(const VARIANT& value, std::int32_t only) {
  return IsAbsent(value) || ((value.vt == VT_I4 || value.vt == VT_INT) && value.lVal == only);
}

class MemorySheets : public excel::Sheets, private Object {
 public:
  MemorySheets(Place place, bool worksheetsOnly)
      : Object(std::move(place), worksheetsOnly ? "Worksheets" : "Sheets"),
        worksheetsOnly_(worksheetsOnly) {}

  std::int32_t GetCount() override {
    return Call("GetCount", {}, [&](auto&) { return static_cast<std::int32_t>(View().size()); });
  }

  com::Ptr<com::Unknown> GetItem(const com::Variant& index) override {
    return Call("GetItem", {index}, [&](auto&) {
      const SheetList view = View();
      std::shared_ptr<SheetData> found;
      if (index.vt == VT_BSTR) {
        found = FindSheet(view, com::BstrToUtf8(index.bstrVal));
      } else if (index.vt == VT_I4 || index.vt == VT_INT || index.vt == VT_I2) {
        const std::int32_t position = index.vt == VT_I2 ? index.iVal : index.lVal;
        if (position >= 1 && static_cast<std::size_t>(position) <= view.size()) {
          found = view[static_cast<std::size_t>(position) - 1];
        }
      } else {
        com::Throw(com::DISP_E_TYPEMISMATCH);
      }
      if (!found) com::Throw(com::DISP_E_BADINDEX);
      return Item(found);
    });
  }

  com::Ptr<com::Unknown> Add(const com::Variant& before, const com::Variant& after,
                             const com::Variant& count, const com::Variant& type,
                             std::int32_t lcid) override {
    return Call("Add", {before, after, count, type, Lcid(lcid)}, [&](auto&) {
      // Placing by another sheet needs a sheet object, which no VARIANT here carries.
      if (!IsAbsent(before) || !IsAbsent(after)) com::Throw(com::DISP_E_TYPEMISMATCH);
      if (!IsAbsentOr(count, 1) || !IsAbsentOr(type, -4167)) com::Throw(excel::kApplicationError);
      std::size_t number = book->sheets.size() + 1;
      while (FindSheet(book->sheets, "Sheet" + std::to_string(number)))
        ++number;
      // Before the active sheet, and active itself.
      const auto added = std::make_shared<SheetData>("Sheet" + std::to_string(number));
      book->sheets.insert(book->sheets.begin() + static_cast<std::ptrdiff_t>(book->active), added);
      return Item(added);
    });
  }

 private:
  SheetList View() const {
    SheetList view = book->sheets;
    if (worksheetsOnly_) std::erase_if(view, [](const auto& each) { return each->chart; });
    return view;
  }
  com::Ptr<com::Unknown> Item(const std::shared_ptr<SheetData>& item) const;

  bool worksheetsOnly_;
};

// Value2 and NumberFormat of one cell, and puts of one value into a block;
// the driver reads and writes no more (E_NOTIMPL).
class MemoryRange : public excel::Range, private Object {
 public:
  MemoryRange(Place place, Block block) : Object(std::move(place), "Range"), block_(block) {}

  com::Variant Invoke(std::int32_t dispid, excel::InvokeKind kind,
                      std::span<const com::Variant> arguments) override {
    const auto kindNumber = static_cast<std::int32_t>(kind);
    return Call(
        "Invoke", {{Arg::kHex, dispid}, {Arg::kInvokeKind, kindNumber}, {Arg::kEach, arguments}},
        [&](auto&) {
          const bool put = kind == excel::InvokeKind::kPropertyPut;
          const bool value = dispid == excel::kDispidValue2;
          if ((!value && dispid != excel::kDispidNumberFormat) ||
              (!put && kind != excel::InvokeKind::kPropertyGet)) {
            com::Throw(com::DISP_E_MEMBERNOTFOUND);
          }
          if (arguments.size() != (put ? 1u : 0u)) com::Throw(com::DISP_E_BADPARAMCOUNT);
          const long long cells = static_cast<long long>(block_.Rows()) * block_.Columns();
          if ((!put && cells > 1) || (put && (arguments[0].vt & VT_ARRAY))) {
            com::Throw(com::E_NOTIMPL);
          }
          if (cells > (1 << 22)) com::Throw(com::E_OUTOFMEMORY);  // not cell by cell
          if (!put) {
            const Cell& cell = sheet->cells[block_.first];
            return value ? cell.value
                         : com::Variant::Text(cell.format.empty() ? "General" : cell.format);
          }
          if (!value && arguments[0].vt != VT_BSTR) com::Throw(com::DISP_E_TYPEMISMATCH);
          const Cell input = value ? InterpretInput(arguments[0]) : Cell{};
          const std::string format = value ? "" : com::BstrToUtf8(arguments[0].bstrVal);
          for (int row = block_.first.first; row <= block_.last.first; ++row) {
            for (int column = block_.first.second; column <= block_.last.second; ++column) {
              Cell& cell = sheet->cells[{row, column}];
              if (value) {
                cell.value = input.value;
                cell.formula = input.formula;
              } else {
                cell.format = SameName(format, "General") ? "" : format;
              }
            }
          }
          return com::Variant();
        });
  }

 private:
  Block block_;
};

class MemoryWorksheet : public excel::Worksheet, private Object {
 public:
  explicit MemoryWorksheet(Place place) : Object(std::move(place), "Worksheet") {}

  com::Bstr GetName() override {
    return Call("GetName", {}, [&](auto&) { return com::Bstr::FromUtf8(sheet->name); });
  }

  void PutName(const com::Bstr& name) override {
    Call("PutName", {name}, [&](auto&) {
      if (!AcceptableSheetName(*book, sheet.get(), name.ToUtf8())) {
        com::Throw(excel::kApplicationError);
      }
      sheet->name = name.ToUtf8();
    });
  }

  void Activate(std::int32_t lcid) override {
    Call("Activate", {Lcid(lcid)}, [&](auto&) {
      const auto at = std::find(book->sheets.begin(), book->sheets.end(), sheet);
      book->active = static_cast<std::size_t>(at - book->sheets.begin());
      app->activeBook = book;
    });
  }

  com::Ptr<excel::Range> GetRange(const com::Variant& cell1, const com::Variant& cell2) override {
    return Call("GetRange", {cell1, cell2}, [&](auto&) {
      Block block = Resolve(cell1);
      if (!IsAbsent(cell2)) block = Span(block, Resolve(cell2));
      return com::MakeObject<MemoryRange>(Here(), block);
    });
  }

 private:
  static Block Resolve(const com::Variant& cell) {
    if (cell.vt != VT_BSTR) com::Throw(com::DISP_E_TYPEMISMATCH);
    const auto block = ParseBlock(com::BstrToUtf8(cell.bstrVal));
    if (!block) com::Throw(excel::kApplicationError);
    return *block;
  }
};

class MemoryChart : public excel::Chart, private Object {
 public:
  explicit MemoryChart(Place place) : Object(std::move(place), "Chart") {}

  com::Bstr GetName() override {
    return Call("GetName", {}, [&](auto&) { return com::Bstr::FromUtf8(sheet->name); });
  }
};

com::Ptr<com::Unknown> MemorySheets::Item(const std::shared_ptr<SheetData>& item) const {
  const Place place{app, recorder, book, item};
  if (item->chart) return com::MakeObject<MemoryChart>(place);
  return com::MakeObject<MemoryWorksheet>(place);
}

}  // namespace

bool SameName(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

std::shared_ptr<SheetData> FindSheet(const SheetList& sheets, std::string_view name) {
  for (const auto& sheet : sheets) {
    if (SameName(sheet->name, name)) return sheet;
  }
  return nullptr;
}

bool AcceptableSheetName(const BookState& book, const SheetData* self, std::string_view name) {
  // At most 31 UTF-16 units: the lead bytes, twice for those beyond the BMP.
  std::size_t units = 0;
  for (const char c : name)
    units += ((c & 0xC0) != 0x80) + (static_cast<unsigned char>(c) >= 0xF0);
  if (name.empty() || units > 31 || name.find_first_of("[]:*?/\\") != std::string_view::npos ||
      name.front() == '\'' || name.back() == '\'') {
    return false;
  }
  const auto existing = FindSheet(book.sheets, name);
  return !existing || existing.get() == self;
}

std::optional<Block> ParseBlock(std::string_view text) {
  const std::size_t colon = text.find(':');
  const auto first = ParseCell(text.substr(0, colon));
  const auto last = colon == std::string_view::npos ? first : ParseCell(text.substr(colon + 1));
  if (!first || !last) return std::nullopt;
  return Span({*first, *first}, {*last, *last});
}

Cell InterpretInput(const VARIANT& value) {
  if (value.vt == VT_R8 || value.vt == VT_DATE) return {com::Variant::Double(value.dblVal)};
  if (IsInteger(value.vt)) {
    return {com::Variant::Double(*ParseClassicNumber(com::VariantToText(value)))};
  }
  if (value.vt == VT_EMPTY || value.vt == VT_NULL) return {};
  if (value.vt == VT_BOOL) return {com::Variant::Bool(value.boolVal != VARIANT_FALSE)};
  if (value.vt == VT_ERROR) {
    for (const auto& [name, code] : kErrors) {
      if (value.scode == code) return {com::Variant::ErrorValue(code)};
    }
  }
  if (value.vt != VT_BSTR) com::Throw(com::DISP_E_TYPEMISMATCH);  // Missing among others
  // As if typed: "'" keeps the rest as text, "=..." is a formula.
  const std::string text = com::BstrToUtf8(value.bstrVal);
  if (text.empty()) return {};
  if (text.front() == '\'') return {com::Variant::Text(std::string_view(text).substr(1))};
  if (text.front() == '=' && text.size() > 1) return {com::Variant(), text};
  for (const auto& [name, code] : kErrors) {
    if (SameName(Trim(text), name)) return {com::Variant::ErrorValue(code)};
  }
  if (SameName(Trim(text), "TRUE") || SameName(Trim(text), "FALSE")) {
    return {com::Variant::Bool(SameName(Trim(text), "TRUE"))};
  }
  if (const auto number = ParseClassicNumber(text)) return {com::Variant::Double(*number)};
  return {com::Variant::Text(text)};
}

com::Ptr<excel::Sheets> MakeSheets(const Place& place, bool worksheetsOnly) {
  return com::MakeObject<MemorySheets>(place, worksheetsOnly);
}

}  // namespace test_support::memory
