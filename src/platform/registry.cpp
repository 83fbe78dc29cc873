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
#include "platform/registry_data.h"
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
  if (outcome::Error problem = registry.Parse(std::move(*contents)))
    return outcome::Error::Failed("settings file '" + file.string() + "' " + problem.Message());
  return registry;
}

// Reads a file's lines into the registry: key lines open (or delete) a key,
// value lines set or delete a value of the open key, and comment lines wait
// for the line they stand above.
class Registry::Parser {
 public:
  Parser(Registry& registry, const std::vector<std::string_view>& lines)
      : registry_(registry), lines_(lines) {}

  outcome::Error Run() {
    if (outcome::Error problem = ReadHeader()) return problem;
    for (std::size_t i = 1; i < lines_.size(); ++i) {
      if (outcome::Error problem = ReadLine(i)) return problem;
    }
    registry_.trailingComments_ = std::move(comments_);
    return outcome::Error::Success();
  }

 private:
  static constexpr std::size_t kNoKey = static_cast<std::size_t>(-1);

  static outcome::Error Fail(std::size_t index, const std::string& what) {
    return outcome::Error::Failed("line " + std::to_string(index + 1) + ": " + what);
  }

  outcome::Error ReadHeader() {
    const std::string_view first = TrimRight(lines_[0]);
    if (SameName(first, kHeader4)) {
      registry_.header_ = kHeader4;
    } else if (SameName(first, kHeader5)) {
      registry_.header_ = kHeader5;
    } else {
      return Fail(0, "expected \"REGEDIT4\" or \"Windows Registry Editor Version 5.00\", found \"" +
                         Excerpt(lines_[0]) + "\"");
    }
    return outcome::Error::Success();
  }

  // Reads line i; a value's continuation lines move i to its last line.
  outcome::Error ReadLine(std::size_t& i) {
    const std::string_view line = lines_[i];
    const std::string_view body = TrimLeft(line);
    if (TrimRight(body).empty()) return outcome::Error::Success();
    if (body.front() == ';') {
      comments_.emplace_back(line);
      return outcome::Error::Success();
    }
    if (body.front() == '[') return ReadKeyLine(i, body);
    if (body.front() != '"' && body.front() != '@')
      return Fail(i, "not a key, value or comment line: \"" + Excerpt(line) + "\"");
    return ReadValueLine(i, body);
  }

  outcome::Error ReadKeyLine(std::size_t i, std::string_view body) {
    std::string_view path = TrimRight(body);
    if (path.back() != ']' || path.size() < 2) return Fail(i, "key line without closing ']'");
    path = path.substr(1, path.size() - 2);
    const bool deletion = !path.empty() && path.front() == '-';
    if (deletion) path.remove_prefix(1);
    if (KeyForCompare(path).empty()) return Fail(i, "empty key name");
    if (deletion) {
      registry_.RemoveKeyTree(path);
      current_ = kNoKey;
      afterDeletion_ = true;
      return outcome::Error::Success();
    }
    Key& key = registry_.KeyForWrite(path);
    key.comments.insert(key.comments.end(), comments_.begin(), comments_.end());
    comments_.clear();
    current_ = static_cast<std::size_t>(&key - registry_.keys_.data());
    afterDeletion_ = false;
    return outcome::Error::Success();
  }

  outcome::Error ReadValueLine(std::size_t& i, std::string_view rest) {
    if (current_ == kNoKey) {
      return Fail(
          i, afterDeletion_ ? "value line under a deleted key" : "value line before any key line");
    }
    std::string name;
    if (rest.front() == '@') {
      rest.remove_prefix(1);
    } else {
      std::optional<std::string> quoted = TakeQuoted(rest);
      if (!quoted) return Fail(i, "value name without closing quote");
      name = std::move(*quoted);
    }
    rest = TrimLeft(rest);
    if (rest.empty() || rest.front() != '=') return Fail(i, "expected '=' after the value name");
    rest = TrimLeft(rest.substr(1));

    Key& key = registry_.keys_[current_];
    if (TrimRight(rest) == "-") {
      std::erase_if(key.values, [&](const Value& v) { return SameName(v.name, name); });
      return outcome::Error::Success();
    }
    Value parsed;
    if (outcome::Error problem = ReadData(i, rest, parsed)) return problem;
    Value& value = registry_.ValueForWrite(key.path, name);
    value.kind = parsed.kind;
    value.text = std::move(parsed.text);
    value.dword = parsed.dword;
    value.comments.insert(value.comments.end(), comments_.begin(), comments_.end());
    comments_.clear();
    return outcome::Error::Success();
  }

  // The data after '=': a quoted text, a dword or hexadecimal data.
  outcome::Error ReadData(std::size_t& i, std::string_view rest, Value& parsed) {
    if (!rest.empty() && rest.front() == '"') {
      std::optional<std::string> quoted = TakeQuoted(rest);
      if (!quoted) return Fail(i, "text value without closing quote");
      if (!TrimRight(rest).empty())
        return Fail(i, "unexpected text after the closing quote: \"" + Excerpt(rest) + "\"");
      parsed.kind = Value::Kind::kString;
      parsed.text = std::move(*quoted);
    } else if (StartsWithNoCase(rest, "dword:")) {
      std::optional<std::uint32_t> dword = ParseDword(TrimRight(rest.substr(6)));
      if (!dword) return Fail(i, "dword value needs 1 to 8 hexadecimal digits");
      parsed.kind = Value::Kind::kDword;
      parsed.dword = *dword;
    } else if (StartsWithNoCase(rest, "hex")) {
      return ReadHexData(i, rest, parsed);
    } else {
      return Fail(i, "value data of unknown form: \"" + Excerpt(rest) + "\"");
    }
    return outcome::Error::Success();
  }

  // Kept verbatim, continuation lines included, to be written back as read.
  outcome::Error ReadHexData(std::size_t& i, std::string_view rest, Value& parsed) {
    const std::size_t start = i;
    std::string raw(rest);
    while (TrimRight(lines_[i]).ends_with('\\')) {
      if (++i == lines_.size()) return Fail(start, "value data continues past the end of file");
      raw += '\n';
      raw += lines_[i];
    }
    if (!ParseOtherData(raw)) return Fail(start, "malformed hexadecimal value data");
    parsed.kind = Value::Kind::kOther;
    parsed.text = std::move(raw);
    return outcome::Error::Success();
  }

  Registry& registry_;
  const std::vector<std::string_view>& lines_;
  std::size_t current_ = kNoKey;  // index into keys_
  bool afterDeletion_ = false;
  std::vector<std::string> comments_;  // waiting for the line they stand above
};

// The text's lines without their ends; notes whether the first ends in CRLF.
std::vector<std::string_view> Registry::SplitLines(std::string_view text) {
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
  return lines;
}

outcome::Error Registry::Parse(std::string text) {
  if (outcome::Error problem = DecodeText(text)) return problem;
  const std::vector<std::string_view> lines = SplitLines(text);
  // A file of blank lines only (say, a fresh empty file) holds nothing.
  if (std::all_of(lines.begin(), lines.end(),
                  [](std::string_view l) { return TrimRight(l).empty(); }))
    return outcome::Error::Success();
  return Parser(*this, lines).Run();
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
  if (outcome::Error failed = WriteFileAtomically(file_, Serialize()))
    return outcome::Error::Failed("cannot save settings: " + failed.Message());
  return outcome::Error::Success();
}

}  // namespace platform
