#include "support/memory_workbook_file.h"

#include <unistd.h>

#include <atomic>
#include <charconv>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <system_error>

#include "com/error.h"
#include "excel/errors.h"
#include "support/recording_format.h"

namespace test_support {

namespace {

constexpr std::string_view kSignature = "gridmoor-memory-workbook 1";

std::string NumberText(double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string CodeText(SCODE code) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "0x%08X", static_cast<unsigned>(code));
  return buffer;
}

std::string CellLine(CellPosition position, const CellContent& cell) {
  std::string line = "cell " + CellAddressText(position) + " ";
  const com::Variant& value = cell.value;
  switch (value.vt) {
    case VT_EMPTY:
      line += "empty";
      break;
    case VT_R8:
      line += "r8 " + NumberText(value.dblVal);
      break;
    case VT_BSTR:
      line += "bstr " + QuoteText(com::BstrToUtf8(value.bstrVal));
      break;
    case VT_BOOL:
      line += value.boolVal != VARIANT_FALSE ? "bool true" : "bool false";
      break;
    case VT_ERROR:
      line += "error " + CodeText(value.scode);
      break;
    default:
      throw std::invalid_argument("cell " + CellAddressText(position) + " holds a " +
                                  com::VarTypeName(value.vt) + ", which no cell can hold");
  }
  if (!cell.formula.empty()) line += " formula " + QuoteText(cell.formula);
  if (!cell.numberFormat.empty()) line += " format " + QuoteText(cell.numberFormat);
  return line;
}

// Reads the words and quoted texts of one line.
class LineReader {
 public:
  LineReader(std::string_view line, std::size_t number) : line_(line), number_(number) {}

  [[noreturn]] void Fail(const std::string& what) const {
    throw std::invalid_argument("line " + std::to_string(number_) + ": " + what);
  }

  bool AtEnd() const { return at_ == line_.size(); }
  void ExpectEnd() const {
    if (!AtEnd()) Fail("unexpected text after the item");
  }

  std::string_view Word() {
    Separate();
    const std::size_t start = at_;
    while (at_ < line_.size() && line_[at_] != ' ')
      ++at_;
    if (at_ == start) Fail("a word is missing");
    return line_.substr(start, at_ - start);
  }

  std::string Quoted() {
    Separate();
    if (at_ >= line_.size() || line_[at_] != '"') Fail("a quoted text is missing");
    ++at_;
    std::string text;
    while (true) {
      if (at_ >= line_.size()) Fail("an unterminated quoted text");
      const char c = line_[at_++];
      if (c == '"') return text;
      if (c != '\\') {
        text += c;
        continue;
      }
      if (at_ >= line_.size()) Fail("an unterminated escape");
      const char escaped = line_[at_++];
      switch (escaped) {
        case '\\':
        case '"':
          text += escaped;
          break;
        case 'n':
          text += '\n';
          break;
        case 'r':
          text += '\r';
          break;
        case 't':
          text += '\t';
          break;
        case 'x': {
          unsigned byte = 0;
          const auto result = std::from_chars(
              line_.data() + at_, line_.data() + std::min(at_ + 2, line_.size()), byte, 16);
          if (result.ec != std::errc() || result.ptr != line_.data() + at_ + 2) {
            Fail("a bad \\x escape");
          }
          at_ += 2;
          text += static_cast<char>(byte);
          break;
        }
        default:
          Fail("an unknown escape");
      }
    }
  }

 private:
  void Separate() {
    if (at_ == 0) return;
    if (at_ >= line_.size() || line_[at_] != ' ') Fail("an item is missing");
    ++at_;
  }

  std::string_view line_;
  std::size_t number_;
  std::size_t at_ = 0;
};

template <typename Number>
Number ReadNumber(LineReader& reader, std::string_view word, int base = 10) {
  Number value{};
  const char* end = word.data() + word.size();
  const auto result = std::from_chars(word.data(), end, value, base);
  if (result.ec != std::errc() || result.ptr != end) reader.Fail("a bad number");
  return value;
}

double ReadDouble(LineReader& reader, std::string_view word) {
  double value = 0;
  const char* end = word.data() + word.size();
  const auto result = std::from_chars(word.data(), end, value);
  if (result.ec != std::errc() || result.ptr != end) reader.Fail("a bad number");
  return value;
}

CellContent ReadCell(LineReader& reader) {
  CellContent cell;
  const std::string_view type = reader.Word();
  if (type == "r8") {
    cell.value = com::Variant::Double(ReadDouble(reader, reader.Word()));
  } else if (type == "bstr") {
    cell.value = com::Variant::Text(reader.Quoted());
  } else if (type == "bool") {
    const std::string_view word = reader.Word();
    if (word != "true" && word != "false") reader.Fail("a bad logical value");
    cell.value = com::Variant::Bool(word == "true");
  } else if (type == "error") {
    const std::string_view word = reader.Word();
    if (word.substr(0, 2) != "0x" || word.size() != 10) reader.Fail("a bad error code");
    const auto code = ReadNumber<std::uint32_t>(reader, word.substr(2), 16);
    cell.value = com::Variant::ErrorValue(static_cast<SCODE>(code));
  } else if (type != "empty") {
    reader.Fail("an unknown value type");
  }
  if (reader.AtEnd()) return cell;
  std::string_view attribute = reader.Word();
  if (attribute == "formula") {
    cell.formula = reader.Quoted();
    if (cell.formula.empty()) reader.Fail("an empty formula");
    if (reader.AtEnd()) return cell;
    attribute = reader.Word();
  }
  if (attribute != "format") reader.Fail("an unknown cell attribute");
  cell.numberFormat = reader.Quoted();
  if (cell.numberFormat.empty()) reader.Fail("an empty number format");
  reader.ExpectEnd();
  return cell;
}

[[noreturn]] void FailFile() {
  com::Throw(excel::kApplicationError);
}

}  // namespace

WorkbookContents WorkbookContents::NewWorkbook() {
  WorkbookContents contents;
  contents.sheets.push_back(std::make_shared<SheetData>(SheetData{"Sheet1", false, {}}));
  return contents;
}

std::shared_ptr<SheetData> WorkbookContents::FindSheet(std::string_view name) const {
  for (const auto& sheet : sheets) {
    if (SameName(sheet->name, name)) return sheet;
  }
  return nullptr;
}

const DefinedName* WorkbookContents::FindName(std::string_view name) const {
  for (const auto& defined : names) {
    if (SameName(defined.name, name)) return &defined;
  }
  return nullptr;
}

std::string FormatWorkbook(const WorkbookContents& contents) {
  std::string text = std::string(kSignature) + "\n";
  for (const auto& sheet : contents.sheets) {
    text += (sheet->chart ? "chart " : "worksheet ") + QuoteText(sheet->name) + "\n";
    for (const auto& [position, cell] : sheet->cells) {
      if (!cell.HoldsNothing()) text += CellLine(position, cell) + "\n";
    }
  }
  text += "active " + std::to_string(contents.activeSheet + 1) + "\n";
  for (const auto& defined : contents.names) {
    text += "name " + QuoteText(defined.name) + " " + QuoteText(defined.sheet->name) + " " +
            BlockAddressText(defined.block) + "\n";
  }
  return text + "end\n";
}

WorkbookContents ParseWorkbook(std::string_view text) {
  WorkbookContents contents;
  std::shared_ptr<SheetData> current;
  std::optional<std::size_t> active;
  bool ended = false;
  std::size_t number = 0;
  while (!text.empty()) {
    const std::size_t newline = text.find('\n');
    const std::string_view line = text.substr(0, newline);
    ++number;
    text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
    LineReader reader(line, number);
    if (newline == std::string_view::npos) reader.Fail("the last line is not ended");
    if (ended) reader.Fail("text after the end");
    if (number == 1) {
      if (line != kSignature) reader.Fail("not a memory workbook");
      continue;
    }
    const std::string_view item = reader.Word();
    if (item == "worksheet" || item == "chart") {
      std::string name = reader.Quoted();
      reader.ExpectEnd();
      if (name.empty() || contents.FindSheet(name)) reader.Fail("an empty or repeated sheet name");
      current = std::make_shared<SheetData>(SheetData{std::move(name), item == "chart", {}});
      contents.sheets.push_back(current);
    } else if (item == "cell") {
      if (!current || current->chart) reader.Fail("a cell outside a worksheet");
      const auto position = ParseCellAddress(reader.Word());
      if (!position) reader.Fail("a bad cell address");
      CellContent cell = ReadCell(reader);
      if (!current->cells.emplace(*position, std::move(cell)).second)
        reader.Fail("a repeated cell");
    } else if (item == "active") {
      const auto position = ReadNumber<std::size_t>(reader, reader.Word());
      reader.ExpectEnd();
      if (active || position < 1) reader.Fail("a bad active sheet");
      active = position - 1;
    } else if (item == "name") {
      DefinedName defined;
      defined.name = reader.Quoted();
      defined.sheet = contents.FindSheet(reader.Quoted());
      const auto block = ParseBlockAddress(reader.Word());
      reader.ExpectEnd();
      if (defined.name.empty() || contents.FindName(defined.name)) reader.Fail("a bad name");
      if (!defined.sheet || defined.sheet->chart || !block) reader.Fail("a bad name reference");
      defined.block = *block;
      contents.names.push_back(std::move(defined));
    } else if (item == "end") {
      reader.ExpectEnd();
      ended = true;
    } else {
      reader.Fail("an unknown item");
    }
  }
  if (number == 0 || !ended) throw std::invalid_argument("the file is cut short");
  if (contents.sheets.empty()) throw std::invalid_argument("a workbook without sheets");
  contents.activeSheet = active.value_or(0);
  if (contents.activeSheet >= contents.sheets.size()) {
    throw std::invalid_argument("the active sheet does not exist");
  }
  return contents;
}

void WriteWorkbookFile(const std::filesystem::path& path, const WorkbookContents& contents) {
  static std::atomic<unsigned> counter{0};
  std::string text;
  try {
    text = FormatWorkbook(contents);
  } catch (const std::invalid_argument&) {
    FailFile();
  }
  if (path.empty() || !path.has_filename()) FailFile();
  std::filesystem::path temporary = path;
  temporary += ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) {
      std::error_code ignored;
      std::filesystem::remove(temporary, ignored);
      FailFile();
    }
  }
  std::error_code error;
  std::filesystem::rename(temporary, path, error);
  if (error) {
    std::filesystem::remove(temporary, error);
    FailFile();
  }
}

WorkbookContents ReadWorkbookFile(const std::filesystem::path& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) FailFile();
  std::ifstream in(path, std::ios::binary);
  if (!in) FailFile();
  const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) FailFile();
  try {
    return ParseWorkbook(text);
  } catch (const std::invalid_argument&) {
    FailFile();
  }
}

}  // namespace test_support
