#include "saved_values/saved_values.h"

#include <algorithm>
#include <fstream>
#include <sstream>

#include "common/csv.h"
#include "excel/calc/formulas/formula_text.h"
#include "excel/calc/formulas/sheet_addresses.h"
#include "saved_values/zip_package.h"

namespace refhost {
namespace {

using excel::calc::kMaxColumns;
using excel::calc::kMaxRows;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Reads exactly `count` digits at `at`.
std::optional<int> Digits(std::string_view text, std::size_t& at, std::size_t count) {
  if (text.size() < at + count) return std::nullopt;
  int value = 0;
  for (std::size_t i = 0; i < count; ++i, ++at) {
    if (!IsDigit(text[at])) return std::nullopt;
    value = value * 10 + (text[at] - '0');
  }
  return value;
}

// "06:00", "06:00:00", "06:00:00.25" as a fraction of a day.
std::optional<double> TimeOfDay(std::string_view text, std::size_t& at) {
  const std::optional<int> hour = Digits(text, at, 2);
  if (!hour || at >= text.size() || text[at++] != ':') return std::nullopt;
  const std::optional<int> minute = Digits(text, at, 2);
  if (!minute || *hour > 24 || *minute > 59) return std::nullopt;
  double second = 0;
  if (at < text.size() && text[at] == ':') {
    const std::optional<int> whole = Digits(text, ++at, 2);
    if (!whole || *whole > 60) return std::nullopt;
    second = *whole;
    if (at < text.size() && text[at] == '.') {
      double scale = 0.1;
      for (++at; at < text.size() && IsDigit(text[at]); ++at, scale /= 10)
        second += (text[at] - '0') * scale;
    }
  }
  return (*hour * 3600.0 + *minute * 60.0 + second) / 86400.0;
}

// A1 reference parts: "$B$7", "B7", "$B" (a column), "7" (a row).
struct A1Part {
  bool fixedColumn = false, fixedRow = false;
  int column = -1, row = -1;  // -1: not given
  std::string_view columnText, rowText;
};

std::optional<A1Part> ParseA1Part(std::string_view token) {
  A1Part part;
  std::size_t at = 0;
  const auto dollar = [&] { return at < token.size() && token[at] == '$' && ++at; };
  part.fixedColumn = dollar();
  const std::size_t letters = at;
  while (at < token.size() && IsLetter(token[at]) && at - letters < 4)
    ++at;
  if (at > letters) {
    part.columnText = token.substr(letters, at - letters);
    part.column = 0;
    for (const char c : part.columnText)
      part.column = part.column * 26 + (c & 0x1F);
    --part.column;
    part.fixedRow = dollar();
  } else {
    part.fixedRow = part.fixedColumn;
    part.fixedColumn = false;
  }
  const std::size_t digits = at;
  while (at < token.size() && IsDigit(token[at]) && at - digits < 8)
    ++at;
  if (at > digits) {
    part.rowText = token.substr(digits, at - digits);
    part.row = std::stoi(std::string(part.rowText)) - 1;
  } else if (part.fixedRow) {
    return std::nullopt;  // "$A$"
  }
  if (at != token.size() || part.column >= kMaxColumns || part.row >= kMaxRows ||
      (part.column < 0 && part.row < 0) || (!part.rowText.empty() && part.row < 0))
    return std::nullopt;
  return part;
}

// The part moved; nullopt when it leaves the sheet.
std::optional<std::string> Shifted(const A1Part& part, int rows, int columns) {
  std::string out = part.fixedColumn || (part.column < 0 && part.fixedRow) ? "$" : "";
  if (part.column >= 0) {
    const long column = part.column + (part.fixedColumn ? 0L : columns);
    if (column < 0 || column >= kMaxColumns) return std::nullopt;
    const std::string name = CellName(0, static_cast<int>(column));
    out += column == part.column ? std::string(part.columnText) : name.substr(0, name.size() - 1);
    if (part.fixedRow) out += '$';
  }
  if (part.row >= 0) {
    const long row = part.row + (part.fixedRow ? 0L : rows);
    if (row < 0 || row >= kMaxRows) return std::nullopt;
    out += row == part.row ? std::string(part.rowText) : std::to_string(row + 1);
  }
  return out;
}

bool IsNamePart(char c) {
  return IsLetter(c) || IsDigit(c) || c == '_' || c == '.' || c == '\\' || c == '?' || c == '$' ||
         static_cast<unsigned char>(c) >= 0x80;
}

// The end of the name, number or reference starting at `at` ("1E+5" whole).
std::size_t TokenEnd(std::string_view text, std::size_t at) {
  std::size_t end = at;
  while (end < text.size() && IsNamePart(text[end]))
    ++end;
  const char last = text[end - 1];
  if (IsDigit(text[at]) && (last == 'E' || last == 'e') && end + 1 < text.size() &&
      (text[end] == '+' || text[end] == '-') && IsDigit(text[end + 1])) {
    for (end += 1; end < text.size() && IsDigit(text[end]);)
      ++end;
  }
  return end;
}

// The end of a quoted part ('' or "" inside stay in it), or of a bracketed
// one (nested brackets; ' escapes the next character).
std::size_t EnclosedEnd(std::string_view text, std::size_t at) {
  if (text[at] != '[') return excel::calc::QuotedEnd(text, at);
  return std::min(excel::calc::BracketEnd(text, at), text.size());
}

}  // namespace

std::string CellName(int row, int column) {
  std::string letters;
  for (int c = column + 1; c > 0; c = (c - 1) / 26)
    letters.insert(letters.begin(), static_cast<char>('A' + (c - 1) % 26));
  return letters + std::to_string(row + 1);
}

bool FormulaBudget::Take(const SavedCell& cell, std::size_t count) {
  const std::size_t cost =
      sizeof(SavedCell) + cell.sheet.size() + cell.formula.size() + cell.value.text.size();
  if (count > (kBytes - used_) / cost) return false;
  used_ += cost * count;
  return true;
}

std::string FormulaBudget::Refusal(const std::string& sheet) {
  return "the formula cells take more than " + std::to_string(kBytes >> 20) + " MB (at sheet " +
         OneLine(sheet) + "); refused";
}

std::optional<CivilDate> ParseIsoDate(std::string_view text) {
  std::size_t at = 0;
  CivilDate date;
  const std::optional<int> year = Digits(text, at, 4);
  if (!year || at >= text.size() || text[at++] != '-') return std::nullopt;
  const std::optional<int> month = Digits(text, at, 2);
  if (!month || at >= text.size() || text[at++] != '-') return std::nullopt;
  const std::optional<int> day = Digits(text, at, 2);
  if (!day || *year < 1 || *month < 1 || *month > 12 || *day < 1 || *day > 31) return std::nullopt;
  date = CivilDate{*year, *month, *day, 0};
  if (at < text.size() && (text[at] == 'T' || text[at] == ' ')) {
    const std::optional<double> time = TimeOfDay(text, ++at);
    if (!time) return std::nullopt;
    date.time = *time;
  }
  const std::string_view zone = text.substr(at);
  if (!zone.empty() && zone != "Z" &&
      !(zone.size() == 6 && (zone[0] == '+' || zone[0] == '-') && zone[3] == ':'))
    return std::nullopt;
  return date;
}

long DaysFromEpoch(long year, unsigned month, unsigned day) {
  year -= month <= 2 ? 1 : 0;
  const long era = (year >= 0 ? year : year - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(year - era * 400);
  const unsigned doy = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long>(doe) - 719468 + 25569;  // 1970-01-01 is day 25569
}

std::string ShiftFormula(std::string_view formula, int rows, int columns) {
  std::string out;
  std::size_t at = 0;
  const auto follows = [&](std::size_t end) { return end < formula.size() ? formula[end] : '\0'; };
  while (at < formula.size()) {
    const char c = formula[at];
    std::size_t end = at + 1;
    if (c == '"' || c == '\'' || c == '[') {
      end = EnclosedEnd(formula, at);
    } else if (c == '#') {  // an error value: #REF!, #N/A, #DIV/0!
      while (end < formula.size() && (IsLetter(formula[end]) || IsDigit(formula[end]) ||
                                      formula[end] == '/' || formula[end] == '_'))
        ++end;
      if (end < formula.size() && (formula[end] == '!' || formula[end] == '?')) ++end;
    } else if (IsNamePart(c)) {
      end = TokenEnd(formula, at);
      const char next = follows(end);
      std::optional<A1Part> part;
      if (next != '(' && next != '!' && next != '[')
        part = ParseA1Part(formula.substr(at, end - at));
      std::optional<A1Part> second;
      std::size_t secondEnd = end;
      if (part && (part->column < 0 || part->row < 0)) {  // whole columns or rows: A:C, 1:3
        if (next == ':' && end + 1 < formula.size() && IsNamePart(formula[end + 1])) {
          secondEnd = TokenEnd(formula, end + 1);
          const char after = follows(secondEnd);
          if (after != '(' && after != '!' && after != '[')
            second = ParseA1Part(formula.substr(end + 1, secondEnd - end - 1));
        }
        if (!second || (second->column < 0) != (part->column < 0) ||
            (second->row < 0) != (part->row < 0))
          part.reset();
      }
      if (part) {
        const std::optional<std::string> first = Shifted(*part, rows, columns);
        const std::optional<std::string> last =
            second ? Shifted(*second, rows, columns) : std::optional<std::string>("");
        out += first && last ? *first + (second ? ":" + *last : "") : "#REF!";
        at = second ? secondEnd : end;
        continue;
      }
    }
    out.append(formula.substr(at, end - at));
    at = end;
  }
  return out;
}

namespace {

constexpr std::string_view kCompoundFileMagic = "\xD0\xCF\x11\xE0";
constexpr std::string_view kPasswordProtected =
    "password-protected: its contents are encrypted, so neither its saved values nor its "
    "formulas can be read; save a copy without a password";

// A workbook saved with a password: an .xlsx is then a compound file whose
// stream EncryptedPackage holds the package (its directory names streams
// in UTF-16), an OpenDocument package's manifest lists encryption data.
bool IsEncryptedCompoundFile(std::string_view content) {
  static const std::string name = [] {
    std::string utf16;
    for (const char c : std::string_view("EncryptedPackage")) {
      utf16 += c;
      utf16 += '\0';
    }
    return utf16;
  }();
  return content.rfind(kCompoundFileMagic, 0) == 0 && content.find(name) != std::string::npos;
}

bool IsEncryptedOdfPackage(const ZipPackage& package) {
  if (!package.Has("META-INF/manifest.xml")) return false;
  outcome::Expected<std::string> manifest = package.Read("META-INF/manifest.xml");
  // A manifest that cannot be read tells no encryption; the part that holds
  // the cells says what is wrong with the package.
  return manifest && manifest->find("encryption-data") != std::string::npos;
}

std::string FileBytes(const std::filesystem::path& file, bool& read) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream bytes;
  // An empty file is read too: it is no workbook, which the caller says.
  read = in && (in.peek() == std::char_traits<char>::eof() || bytes << in.rdbuf());
  return std::move(bytes).str();
}

// Up to `count` bytes from the start of `file`.
std::string FileStart(const std::filesystem::path& file, std::size_t count, bool& read) {
  std::ifstream in(file, std::ios::binary);
  std::string bytes(count, '\0');
  read = in.read(bytes.data(), static_cast<std::streamsize>(count)) || in.eof();
  bytes.resize(static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0)));
  return bytes;
}

// Whether the file's start tells a package (zip or compound file): such a
// file is read whole, as small as its compression makes it. Any other file
// is read a chunk at a time, since a flat XML file can be of any size.
bool IsPackage(std::string_view start) {
  return start.rfind("PK\x03\x04", 0) == 0 || start.rfind("PK\x05\x06", 0) == 0 ||
         start.rfind(kCompoundFileMagic, 0) == 0;
}

// The file's bytes a chunk at a time to `take`, until it returns false.
outcome::Error ReadFileChunks(const std::filesystem::path& file, const XmlChunkSink& take) {
  constexpr std::size_t kChunk = 64 * 1024;
  std::ifstream in(file, std::ios::binary);
  std::string chunk(kChunk, '\0');
  while (in) {
    in.read(chunk.data(), static_cast<std::streamsize>(kChunk));
    const auto got = static_cast<std::size_t>(std::max<std::streamsize>(in.gcount(), 0));
    if (got > 0 && !take(std::string_view(chunk.data(), got))) return outcome::Error::Success();
  }
  if (in.eof()) return outcome::Error::Success();
  return outcome::Error::Failed("it could not be read to its end");
}

// Whether `file` holds `text` anywhere, read a chunk at a time.
outcome::Expected<bool> FileHolds(const std::filesystem::path& file, std::string_view text) {
  std::string tail;
  bool found = false;
  if (outcome::Error unread = ReadFileChunks(file, [&](std::string_view chunk) {
        tail.append(chunk);
        found = tail.find(text) != std::string::npos;
        tail.erase(0, tail.size() - std::min(tail.size(), text.size() - 1));
        return !found;
      }))
    return unread;
  return found;
}

}  // namespace

// A package that names a part twice: only a damaged or forged file does;
// both the office and this check read the last.
void AddDuplicateParts(const ZipPackage& package, std::vector<std::string>& problems) {
  std::vector<std::string> names = package.Names();
  std::sort(names.begin(), names.end());
  for (auto at = names.begin(); (at = std::adjacent_find(at, names.end())) != names.end();) {
    problems.push_back(OneLine(*at) +
                       " is in the package more than once (a damaged or altered file); the "
                       "office reads the last, and so does this check");
    at = std::upper_bound(at, names.end(), *at);
  }
}

bool IsBinaryWorkbook(const std::filesystem::path& file) {
  bool read = false;
  if (FileStart(file, kCompoundFileMagic.size(), read) != kCompoundFileMagic) return false;
  const std::string content = FileBytes(file, read);
  return read && content.rfind(kCompoundFileMagic, 0) == 0 && !IsEncryptedCompoundFile(content);
}

namespace {

// The workbook in an opened package, by the parts it has.
outcome::Expected<SavedWorkbook> ReadPackageParts(const ZipPackage& package) {
  if (package.Has("xl/workbook.xml")) return ReadXlsxSavedValues(package);
  if (package.Has("content.xml"))
    return ReadOdfSavedValues(
        [&](const XmlChunkSink& take) { return package.ReadChunks("content.xml", take); });
  return outcome::Error::Failed(
      "a zip package that is neither an .xlsx/.xlsm nor an OpenDocument spreadsheet");
}

// A zip package, read whole.
outcome::Expected<SavedWorkbook> ReadZipPackage(std::string content) {
  ZipPackage package;
  if (outcome::Error unopened = package.Open(std::move(content))) return unopened;
  if (IsEncryptedOdfPackage(package))
    return outcome::Error::Failed(std::string(kPasswordProtected));
  outcome::Expected<SavedWorkbook> workbook = ReadPackageParts(package);
  if (!workbook) return workbook.TakeError();
  AddDuplicateParts(package, workbook->problems);
  return workbook;
}

// A zip package or compound file, read whole.
outcome::Expected<SavedWorkbook> ReadPackage(std::string content) {
  if (content.rfind("PK\x03\x04", 0) == 0 || content.rfind("PK\x05\x06", 0) == 0)
    return ReadZipPackage(std::move(content));
  if (content.find("<office:document") != std::string::npos) return ReadOdfSavedValues(content);
  if (IsEncryptedCompoundFile(content))
    return outcome::Error::Failed(std::string(kPasswordProtected));
  return outcome::Error::Failed(
      "a binary workbook (.xls): its saved values cannot be read; save it as .xlsx");
}

// The workbook of a file that is no package: flat OpenDocument XML.
outcome::Expected<SavedWorkbook> ReadFlatFile(const std::filesystem::path& file) {
  outcome::Expected<bool> flat = FileHolds(file, "<office:document");
  if (!flat) return flat.TakeError();
  if (!*flat)
    return outcome::Error::Failed(
        "not a workbook this check can read (.xlsx, .xlsm, .ods or .fods)");
  return ReadOdfSavedValues([&](const XmlChunkSink& take) { return ReadFileChunks(file, take); });
}

}  // namespace

outcome::Expected<SavedWorkbook> ReadSavedValues(const std::filesystem::path& file) {
  std::error_code ec;
  if (!std::filesystem::exists(file, ec))
    return outcome::Error::Failed(file.string() + " could not be found");
  if (std::filesystem::is_directory(file, ec))
    return outcome::Error::Failed(file.string() + " is a folder, not a workbook");
  bool read = false;
  const std::string start = FileStart(file, 4, read);
  std::string content;
  if (read && IsPackage(start)) content = FileBytes(file, read);
  if (!read) return outcome::Error::Failed(file.filename().string() + " could not be read");
  outcome::Expected<SavedWorkbook> workbook =
      IsPackage(start) ? ReadPackage(std::move(content)) : ReadFlatFile(file);
  if (!workbook)
    return outcome::Error::Failed(file.filename().string() + ": " + workbook.GetError().Message());
  return workbook;
}

}  // namespace refhost
