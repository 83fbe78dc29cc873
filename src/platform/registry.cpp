#include "platform/registry.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <system_error>
#include <utility>

#include "platform/environment.h"
#include "platform/files.h"
#include "text/ascii.h"
#include "text/utf8.h"

namespace platform {
namespace {

constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";

using text::StartsWithNoCase;

bool SameName(std::string_view a, std::string_view b) {
  return text::EqualsNoCase(a, b);
}

// Only blanks and tabs are trimmed: a line break ends a line of the file.
constexpr std::string_view kBlanks = " \t";

bool IsBlank(char c) {
  return kBlanks.find(c) != std::string_view::npos;
}

std::string_view TrimLeft(std::string_view s) {
  return text::TrimLeft(s, kBlanks);
}

std::string_view TrimRight(std::string_view s) {
  return text::TrimRight(s, kBlanks);
}

bool HasLineBreak(std::string_view s) {
  return s.find_first_of("\r\n") != std::string_view::npos;
}

// Key paths compare without a trailing separator: "A\B\" is the key "A\B".
std::string_view KeyForCompare(std::string_view key) {
  while (!key.empty() && key.back() == '\\')
    key.remove_suffix(1);
  return key;
}

bool IsInKeyTree(std::string_view path, std::string_view root) {
  path = KeyForCompare(path);
  return SameName(path, root) ||
         (path.size() > root.size() && path[root.size()] == '\\' && StartsWithNoCase(path, root));
}

// A short, printable piece of a line for an error message.
std::string Excerpt(std::string_view line) {
  constexpr std::size_t kMax = 40;
  std::string out;
  for (char c : line.substr(0, kMax)) {
    out += (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) ? '?' : c;
  }
  if (line.size() > kMax) out += "...";
  return out;
}

// Undoes BOMs: UTF-8 is used as is, UTF-16LE (as Windows' editor exports
// version 5 files) is converted to UTF-8.
bool DecodeText(std::string& text, std::string* problem) {
  if (text.starts_with("\xEF\xBB\xBF")) {
    text.erase(0, 3);
  } else if (text.starts_with("\xFF\xFE")) {
    if (text.size() % 2 != 0) {
      *problem = "UTF-16 file with an odd number of bytes";
      return false;
    }
    std::u16string wide;
    wide.reserve(text.size() / 2 - 1);
    for (std::size_t i = 2; i < text.size(); i += 2) {
      wide += static_cast<char16_t>(static_cast<unsigned char>(text[i]) |
                                    (static_cast<unsigned char>(text[i + 1]) << 8));
    }
    text = text::Utf16ToUtf8(wide);
  } else if (text.starts_with("\xFE\xFF")) {
    *problem = "UTF-16 big-endian files are not supported; save the file as UTF-8";
    return false;
  }
  return true;
}

// Reads a quoted text at the start of `rest` ('"' first) and moves past it.
// Only \\ and \" are escapes; a backslash before anything else is kept, as
// hand-written paths ("C:\dir") are common.
std::optional<std::string> TakeQuoted(std::string_view& rest) {
  std::string out;
  for (std::size_t i = 1; i < rest.size(); ++i) {
    const char c = rest[i];
    if (c == '\\' && i + 1 < rest.size() && (rest[i + 1] == '\\' || rest[i + 1] == '"')) {
      out += rest[++i];
    } else if (c == '"') {
      rest.remove_prefix(i + 1);
      return out;
    } else {
      out += c;
    }
  }
  return std::nullopt;
}

std::string Quote(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

bool IsHexDigit(char c) {
  return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

// The bytes of hexadecimal value data ("0a,ff,\<line break>  00"); nullopt
// when it is not such data.
std::optional<std::string> ParseHexBytes(std::string_view data) {
  std::string digits;  // the data without blanks and continuations
  for (std::size_t i = 0; i < data.size(); ++i) {
    const char c = data[i];
    if (c == '\\') {
      std::size_t j = i + 1;
      while (j < data.size() && IsBlank(data[j]))
        ++j;
      if (j >= data.size() || data[j] != '\n') return std::nullopt;
      i = j;
    } else if (c == '\n') {
      return std::nullopt;
    } else if (!IsBlank(c)) {
      digits += c;
    }
  }
  std::string bytes;
  if (digits.empty()) return bytes;
  if (digits.back() == ',') digits.pop_back();
  std::string_view rest = digits;
  for (;;) {
    const std::size_t comma = rest.find(',');
    const std::string_view token = rest.substr(0, comma);
    unsigned value = 0;
    if (token.empty() || token.size() > 2 || !std::all_of(token.begin(), token.end(), IsHexDigit))
      return std::nullopt;
    std::from_chars(token.data(), token.data() + token.size(), value, 16);
    bytes += static_cast<char>(value);
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  return bytes;
}

// Splits raw data of another type ("hex(2):..." or "hex:...") into its type
// number (-1 for plain "hex:") and its bytes; nullopt when malformed.
struct OtherData {
  long type = -1;
  std::string bytes;
};

std::optional<OtherData> ParseOtherData(std::string_view raw) {
  OtherData parsed;
  std::string_view data;
  if (StartsWithNoCase(raw, "hex:")) {
    data = raw.substr(4);
  } else if (StartsWithNoCase(raw, "hex(")) {
    const std::size_t close = raw.find("):");
    const std::string_view number = raw.substr(4, close == raw.npos ? 0 : close - 4);
    if (number.empty() || number.size() > 8 ||
        !std::all_of(number.begin(), number.end(), IsHexDigit))
      return std::nullopt;
    std::from_chars(number.data(), number.data() + number.size(), parsed.type, 16);
    data = raw.substr(close + 2);
  } else {
    return std::nullopt;
  }
  std::optional<std::string> bytes = ParseHexBytes(data);
  if (!bytes) return std::nullopt;
  parsed.bytes = std::move(*bytes);
  return parsed;
}

constexpr long kStringType = 1;  // REG_SZ in hexadecimal form

// A REG_SZ in hexadecimal form: UTF-16LE in version 5 files, single bytes in
// REGEDIT4 files, both up to the terminator.
std::string DecodeHexString(std::string_view bytes, bool wide) {
  if (!wide) return std::string(bytes.substr(0, bytes.find('\0')));
  std::u16string units;
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto unit = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                            (static_cast<unsigned char>(bytes[i + 1]) << 8));
    if (unit == 0) break;
    units += unit;
  }
  return text::Utf16ToUtf8(units);
}

std::string EncodeHexString(std::string_view text, bool wide) {
  std::string bytes;
  if (wide) {
    for (char16_t unit : text::Utf8ToUtf16(text)) {
      bytes += static_cast<char>(unit & 0xFF);
      bytes += static_cast<char>(unit >> 8);
    }
    bytes += std::string(2, '\0');
  } else {
    bytes = std::string(text);
    bytes += '\0';
  }
  return bytes;
}

// Writes `bytes` as Windows does: "xx,xx,...", continued with ",\" and an
// indented line before a line grows past 80 columns.
void AppendHexData(std::string& out, std::size_t column, std::string_view bytes,
                   std::string_view eol) {
  static constexpr char kDigits[] = "0123456789abcdef";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const bool last = i + 1 == bytes.size();
    if (column + (last ? 2 : 3) > 79) {
      out += '\\';
      out += eol;
      out += "  ";
      column = 2;
    }
    const auto byte = static_cast<unsigned char>(bytes[i]);
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0xF];
    if (!last) out += ',';
    column += last ? 2 : 3;
  }
}

std::optional<std::uint32_t> ParseDword(std::string_view digits) {
  if (digits.empty() || digits.size() > 8 || !std::all_of(digits.begin(), digits.end(), IsHexDigit))
    return std::nullopt;
  std::uint32_t value = 0;
  std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
  return value;
}

bool IsStorableKey(std::string_view key) {
  key = KeyForCompare(key);
  return !key.empty() && key.front() != '-' && !HasLineBreak(key);
}

std::string HomeFolder() {
  if (std::optional<std::string> home = GetEnv("HOME"); home && !home->empty()) return *home;
  // No HOME (a service, a stripped environment): ask the user database.
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::string buffer(size > 0 ? static_cast<std::size_t>(size) : 16384, '\0');
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 &&
      found != nullptr && found->pw_dir != nullptr)
    return found->pw_dir;
  return {};
}

}  // namespace

std::filesystem::path Registry::DefaultPath() {
  if (std::optional<std::string> file = GetEnv("GRIDMOOR_REGISTRY"); file && !file->empty())
    return *file;
  if (std::optional<std::string> config = GetEnv("XDG_CONFIG_HOME");
      config && !config->empty() && std::filesystem::path(*config).is_absolute())
    return std::filesystem::path(*config) / "gridmoor" / "registry.reg";
  const std::string home = HomeFolder();
  if (home.empty()) return {};
  return std::filesystem::path(home) / ".config" / "gridmoor" / "registry.reg";
}

Registry::Registry(std::filesystem::path file) : file_(std::move(file)) {}

outcome::Expected<Registry> Registry::Load(const std::filesystem::path& file) {
  std::error_code ec;
  std::optional<std::string> contents = ReadWholeFile(file, &ec);
  if (!contents) {
    if (ec == std::errc::no_such_file_or_directory) return Registry(file);
    return outcome::Error::Failed("cannot read settings file '" + file.string() +
                                  "': " + ec.message());
  }
  Registry registry(file);
  std::string problem;
  if (!registry.Parse(std::move(*contents), &problem)) {
    return outcome::Error::Failed("settings file '" + file.string() + "' " + problem);
  }
  return registry;
}

bool Registry::Parse(std::string text, std::string* problem) {
  if (!DecodeText(text, problem)) return false;

  std::vector<std::string_view> lines;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    const bool lastLine = end == std::string::npos;
    if (lastLine) end = text.size();
    std::string_view line(text.data() + start, end - start);
    if (!line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
      if (lines.empty()) crlf_ = true;
    }
    lines.push_back(line);
    start = lastLine ? end : end + 1;
  }
  auto fail = [&](std::size_t index, const std::string& what) {
    *problem = "line " + std::to_string(index + 1) + ": " + what;
    return false;
  };

  // A file of blank lines only (say, a fresh empty file) holds nothing.
  if (std::all_of(lines.begin(), lines.end(),
                  [](std::string_view l) { return TrimRight(l).empty(); }))
    return true;
  const std::string_view first = TrimRight(lines[0]);
  if (SameName(first, kHeader4)) {
    header_ = kHeader4;
  } else if (SameName(first, kHeader5)) {
    header_ = kHeader5;
  } else {
    return fail(0, "expected \"REGEDIT4\" or \"Windows Registry Editor Version 5.00\", found \"" +
                       Excerpt(lines[0]) + "\"");
  }

  constexpr std::size_t kNoKey = static_cast<std::size_t>(-1);
  std::size_t current = kNoKey;  // index into keys_
  bool afterDeletion = false;
  std::vector<std::string> comments;  // waiting for the line they stand above
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::string_view line = lines[i];
    const std::string_view body = TrimLeft(line);
    if (TrimRight(body).empty()) continue;
    if (body.front() == ';') {
      comments.emplace_back(line);
      continue;
    }

    if (body.front() == '[') {
      std::string_view path = TrimRight(body);
      if (path.back() != ']' || path.size() < 2) return fail(i, "key line without closing ']'");
      path = path.substr(1, path.size() - 2);
      const bool deletion = !path.empty() && path.front() == '-';
      if (deletion) path.remove_prefix(1);
      if (KeyForCompare(path).empty()) return fail(i, "empty key name");
      if (deletion) {
        RemoveKeyTree(path);
        current = kNoKey;
        afterDeletion = true;
        continue;
      }
      Key& key = KeyForWrite(path);
      key.comments.insert(key.comments.end(), comments.begin(), comments.end());
      comments.clear();
      current = static_cast<std::size_t>(&key - keys_.data());
      afterDeletion = false;
      continue;
    }

    if (body.front() != '"' && body.front() != '@')
      return fail(i, "not a key, value or comment line: \"" + Excerpt(line) + "\"");
    if (current == kNoKey) {
      return fail(
          i, afterDeletion ? "value line under a deleted key" : "value line before any key line");
    }
    std::string_view rest = body;
    std::string name;
    if (rest.front() == '@') {
      rest.remove_prefix(1);
    } else {
      std::optional<std::string> quoted = TakeQuoted(rest);
      if (!quoted) return fail(i, "value name without closing quote");
      name = std::move(*quoted);
    }
    rest = TrimLeft(rest);
    if (rest.empty() || rest.front() != '=') return fail(i, "expected '=' after the value name");
    rest = TrimLeft(rest.substr(1));

    Key& key = keys_[current];
    if (TrimRight(rest) == "-") {
      std::erase_if(key.values, [&](const Value& v) { return SameName(v.name, name); });
      continue;
    }
    Value parsed;
    if (!rest.empty() && rest.front() == '"') {
      std::optional<std::string> quoted = TakeQuoted(rest);
      if (!quoted) return fail(i, "text value without closing quote");
      if (!TrimRight(rest).empty())
        return fail(i, "unexpected text after the closing quote: \"" + Excerpt(rest) + "\"");
      parsed.kind = Value::Kind::kString;
      parsed.text = std::move(*quoted);
    } else if (StartsWithNoCase(rest, "dword:")) {
      std::optional<std::uint32_t> dword = ParseDword(TrimRight(rest.substr(6)));
      if (!dword) return fail(i, "dword value needs 1 to 8 hexadecimal digits");
      parsed.kind = Value::Kind::kDword;
      parsed.dword = *dword;
    } else if (StartsWithNoCase(rest, "hex")) {
      // Kept verbatim, continuation lines included, to be written back as read.
      const std::size_t start = i;
      std::string raw(rest);
      while (TrimRight(lines[i]).ends_with('\\')) {
        if (++i == lines.size()) return fail(start, "value data continues past the end of file");
        raw += '\n';
        raw += lines[i];
      }
      if (!ParseOtherData(raw)) return fail(start, "malformed hexadecimal value data");
      parsed.kind = Value::Kind::kOther;
      parsed.text = std::move(raw);
    } else {
      return fail(i, "value data of unknown form: \"" + Excerpt(rest) + "\"");
    }

    Value& value = ValueForWrite(key.path, name);
    value.kind = parsed.kind;
    value.text = std::move(parsed.text);
    value.dword = parsed.dword;
    value.comments.insert(value.comments.end(), comments.begin(), comments.end());
    comments.clear();
  }
  trailingComments_ = std::move(comments);
  return true;
}

const Registry::Key* Registry::FindKey(std::string_view key) const {
  key = KeyForCompare(key);
  for (const Key& k : keys_) {
    if (SameName(KeyForCompare(k.path), key)) return &k;
  }
  return nullptr;
}

const Registry::Value* Registry::FindValue(std::string_view key, std::string_view name) const {
  const Key* k = FindKey(key);
  if (k == nullptr) return nullptr;
  for (const Value& v : k->values) {
    if (SameName(v.name, name)) return &v;
  }
  return nullptr;
}

Registry::Key& Registry::KeyForWrite(std::string_view key) {
  if (const Key* found = FindKey(key)) return const_cast<Key&>(*found);
  keys_.push_back(Key{std::string(key), {}, {}});
  return keys_.back();
}

Registry::Value& Registry::ValueForWrite(std::string_view key, std::string_view name) {
  Key& k = KeyForWrite(key);
  for (Value& v : k.values) {
    if (SameName(v.name, name)) return v;
  }
  k.values.push_back(Value{});
  k.values.back().name = std::string(name);
  return k.values.back();
}

void Registry::RemoveKeyTree(std::string_view key) {
  key = KeyForCompare(key);
  std::erase_if(keys_, [&](const Key& k) { return IsInKeyTree(k.path, key); });
}

RegistryRead<std::string> Registry::GetString(std::string_view key, std::string_view name) const {
  RegistryRead<std::string> read;
  const Value* value = FindValue(key, name);
  if (value == nullptr) return read;
  read.status = RegistryStatus::kWrongType;
  if (value->kind == Value::Kind::kString) {
    read.status = RegistryStatus::kOk;
    read.value = value->text;
  } else if (value->kind == Value::Kind::kOther) {
    std::optional<OtherData> data = ParseOtherData(value->text);
    if (data && data->type == kStringType) {
      read.status = RegistryStatus::kOk;
      read.value = DecodeHexString(data->bytes, header_ == kHeader5);
    }
  }
  return read;
}

RegistryRead<std::uint32_t> Registry::GetDword(std::string_view key, std::string_view name) const {
  RegistryRead<std::uint32_t> read;
  const Value* value = FindValue(key, name);
  if (value == nullptr) return read;
  read.status = RegistryStatus::kWrongType;
  if (value->kind == Value::Kind::kDword) {
    read.status = RegistryStatus::kOk;
    read.value = value->dword;
  }
  return read;
}

bool Registry::HasKey(std::string_view key) const {
  key = KeyForCompare(key);
  if (key.empty()) return false;
  // As in the registry, a key exists when any key below it does.
  return std::any_of(keys_.begin(), keys_.end(),
                     [&](const Key& k) { return IsInKeyTree(k.path, key); });
}

void Registry::SetString(std::string_view key, std::string_view name, std::string_view value) {
  if (!IsStorableKey(key) || HasLineBreak(name)) return;
  Value& v = ValueForWrite(KeyForCompare(key), name);
  v.kind = Value::Kind::kString;
  v.text = std::string(value);
}

void Registry::SetDword(std::string_view key, std::string_view name, std::uint32_t value) {
  if (!IsStorableKey(key) || HasLineBreak(name)) return;
  Value& v = ValueForWrite(KeyForCompare(key), name);
  v.kind = Value::Kind::kDword;
  v.text.clear();
  v.dword = value;
}

std::string Registry::Serialize() const {
  const std::string_view eol = crlf_ ? "\r\n" : "\n";
  std::string out = header_;
  out += eol;
  auto appendLines = [&](const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
      out += line;
      out += eol;
    }
  };
  for (const Key& key : keys_) {
    out += eol;
    appendLines(key.comments);
    out += '[';
    out += key.path;
    out += ']';
    out += eol;
    for (const Value& value : key.values) {
      appendLines(value.comments);
      const std::size_t lineStart = out.size();
      out += value.name.empty() ? std::string("@") : Quote(value.name);
      out += '=';
      switch (value.kind) {
        case Value::Kind::kString:
          if (HasLineBreak(value.text)) {
            // A quoted text cannot span lines; the hexadecimal form can.
            out += "hex(1):";
            AppendHexData(out, out.size() - lineStart,
                          EncodeHexString(value.text, header_ == kHeader5), eol);
          } else {
            out += Quote(value.text);
          }
          break;
        case Value::Kind::kDword: {
          char digits[9] = {};
          std::to_chars(digits, digits + 8, value.dword, 16);
          const std::string_view hex(digits);
          out += "dword:";
          out += std::string(8 - hex.size(), '0');
          out += hex;
          break;
        }
        case Value::Kind::kOther:
          for (char c : value.text) {
            if (c == '\n') {
              out += eol;
            } else {
              out += c;
            }
          }
          break;
      }
      out += eol;
    }
  }
  out += eol;
  appendLines(trailingComments_);
  return out;
}

outcome::Error Registry::Save() const {
  if (file_.empty()) {
    return outcome::Error::Failed("no settings file location: set GRIDMOOR_REGISTRY or HOME");
  }
  std::string problem;
  if (!WriteFileAtomically(file_, Serialize(), &problem)) {
    return outcome::Error::Failed("cannot save settings: " + problem);
  }
  return outcome::Error::Success();
}

}  // namespace platform
