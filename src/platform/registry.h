// The settings store that stands in for the Windows registry: keys with typed
// values kept in one text file in the `.reg` export format (REGEDIT4 or
// "Windows Registry Editor Version 5.00"). Key paths are written as Windows
// writes them ("HKEY_CURRENT_USER\Software\..."); key and value names compare
// without regard to ASCII case, as the registry does. The empty value name is
// the key's default value (`@=` in the file).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "outcome/outcome.h"

namespace platform {

enum class RegistryStatus {
  kOk,
  kMissing,    // no such key or value
  kWrongType,  // the value exists but holds another type
};

template <typename T>
struct RegistryRead {
  RegistryStatus status = RegistryStatus::kMissing;
  T value{};
  bool ok() const { return status == RegistryStatus::kOk; }
};

// Not synchronised: a store shared between threads needs the caller's lock.
class Registry {
 public:
  // $GRIDMOOR_REGISTRY, else $XDG_CONFIG_HOME/gridmoor/registry.reg, else
  // $HOME/.config/gridmoor/registry.reg.
  static std::filesystem::path DefaultPath();

  // Reads the file; a missing file is an empty registry. A file that exists
  // but cannot be read or parsed gives the reason.
  static outcome::Expected<Registry> Load(const std::filesystem::path& file);
  // An empty registry bound to `file` (nothing is read).
  explicit Registry(std::filesystem::path file);

  const std::filesystem::path& file() const { return file_; }

  RegistryRead<std::string> GetString(std::string_view key, std::string_view name) const;
  RegistryRead<std::uint32_t> GetDword(std::string_view key, std::string_view name) const;
  bool HasKey(std::string_view key) const;

  // Creates the key (and its parents' entries are not needed) as required.
  // The file cannot hold an empty key path, one that starts with '-', or a
  // key path or value name with a line break: such a call changes nothing.
  // A text with line breaks is stored in the file's hexadecimal string form.
  void SetString(std::string_view key, std::string_view name, std::string_view value);
  void SetDword(std::string_view key, std::string_view name, std::uint32_t value);

  // Rewrites the whole file atomically (temporary file in the same folder,
  // then rename), creating the folder when needed. Values of types this store
  // does not interpret are written back exactly as they were read.
  outcome::Error Save() const;

 private:
  struct Value {
    std::string name;
    enum class Kind { kString, kDword, kOther } kind = Kind::kString;
    std::string text;                   // kString: the unescaped text; kOther: raw data after '='
    std::uint32_t dword = 0;            // kDword
    std::vector<std::string> comments;  // comment lines just above it
  };
  struct Key {
    std::string path;
    std::vector<Value> values;
    std::vector<std::string> comments;  // comment lines just above it
  };

  const Key* FindKey(std::string_view key) const;
  const Value* FindValue(std::string_view key, std::string_view name) const;
  Value& ValueForWrite(std::string_view key, std::string_view name);
  Key& KeyForWrite(std::string_view key);
  void RemoveKeyTree(std::string_view key);
  class Parser;
  std::vector<std::string_view> SplitLines(std::string_view text);
  outcome::Error Parse(std::string text);
  std::string Serialize() const;

  std::filesystem::path file_;
  std::vector<Key> keys_;            // in file order, so a rewrite keeps the layout
  std::string header_ = "REGEDIT4";  // the first line, kept on rewrite
  bool crlf_ = false;                // line ends of the file read, kept on rewrite
  std::vector<std::string> trailingComments_;
};

}  // namespace platform
