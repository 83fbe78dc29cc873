#include "com/class_registry.h"

#include <cctype>
#include <exception>
#include <new>
#include <optional>
#include <utility>

#include "platform/environment.h"
#include "platform/registry.h"
#include "text/ascii.h"

namespace com {
namespace {

constexpr std::string_view kClassesRoot = "HKEY_CLASSES_ROOT\\";
constexpr std::string_view kCurrentProgId = "Excel.Application.16";
constexpr std::string_view kDefaultApplication = "calc";
constexpr const char* kOverrideVariable = "GRIDMOOR_SPREADSHEET";

using text::EqualsNoCase;

// The override of GRIDMOOR_SPREADSHEET, or nullopt when it is unset or empty.
std::optional<std::string> SpreadsheetOverride() {
  std::optional<std::string> value = platform::GetEnv(kOverrideVariable);
  if (value && value->empty()) return std::nullopt;
  return value;
}

bool IsNone(const std::string& overrideValue) {
  return EqualsNoCase(overrideValue, "none");
}

// A ProgID must be usable as one key name.
bool IsWellFormedProgId(std::string_view progId) {
  if (progId.empty()) return false;
  for (const char c : progId) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || c == '\\' || c == '[' || c == ']') return false;
  }
  return true;
}

// "{8-4-4-4-12 hex digits}", returned in upper case; nullopt when malformed.
std::optional<std::string> ParseClassIdentifier(std::string_view text) {
  static constexpr std::size_t kGroups[] = {8, 4, 4, 4, 12};
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return std::nullopt;
  std::string result = "{";
  std::size_t at = 1;
  for (std::size_t group = 0; group < std::size(kGroups); ++group) {
    if (group > 0) {
      if (text[at] != '-') return std::nullopt;
      result += '-';
      ++at;
    }
    for (std::size_t k = 0; k < kGroups[group]; ++k, ++at) {
      const auto c = static_cast<unsigned char>(text[at]);
      if (!std::isxdigit(c)) return std::nullopt;
      result += static_cast<char>(std::toupper(c));
    }
  }
  return result + "}";
}

outcome::Expected<platform::Registry> LoadSettings() {
  return platform::Registry::Load(platform::Registry::DefaultPath());
}

// True when the settings name no spreadsheet ProgID at all, so that the
// current version counts as installed.
bool HasNoSpreadsheetProgIds(const platform::Registry& settings) {
  const std::string family = std::string(kClassesRoot) + "Excel.Application";
  if (settings.HasKey(family)) return false;
  for (int version = 9; version <= 16; ++version) {
    if (settings.HasKey(family + "." + std::to_string(version))) return false;
  }
  return true;
}

// The application named by the default value of `key`: S_OK, or `missing`
// when there is no such key or no usable default value.
HRESULT ReadApplication(const platform::Registry& settings, const std::string& key, HRESULT missing,
                        std::string* application) {
  const platform::RegistryRead<std::string> read = settings.GetString(key, "");
  if (!read.ok() || read.value.empty()) return missing;
  *application = read.value;
  return S_OK;
}

}  // namespace

bool ClassRegistry::CaseInsensitiveLess::operator()(std::string_view a, std::string_view b) const {
  return text::CompareNoCase(a, b) < 0;
}

ClassRegistry& ClassRegistry::Instance() {
  // Never freed: threads may create applications while statics are destroyed.
  static ClassRegistry* const instance = new ClassRegistry;
  return *instance;
}

void ClassRegistry::RegisterFactory(std::string application, Factory factory) {
  std::lock_guard lock(mutex_);
  factories_.insert_or_assign(std::move(application), std::move(factory));
}

bool ClassRegistry::UnregisterFactory(std::string_view application) {
  std::lock_guard lock(mutex_);
  const auto found = factories_.find(application);
  if (found == factories_.end()) return false;
  factories_.erase(found);
  return true;
}

HRESULT ClassRegistry::ClsidFromProgId(std::string_view progId, Clsid* out) const {
  if (out == nullptr) return E_POINTER;
  *out = Clsid{};
  if (!progId.empty() && progId.front() == '{') {
    std::optional<std::string> identifier = ParseClassIdentifier(progId);
    if (!identifier) return CO_E_CLASSSTRING;
    out->identifier = std::move(*identifier);
    return S_OK;
  }
  if (!IsWellFormedProgId(progId)) return CO_E_CLASSSTRING;

  if (const std::optional<std::string> overrideValue = SpreadsheetOverride()) {
    if (IsNone(*overrideValue) || !EqualsNoCase(progId, kCurrentProgId)) return CO_E_CLASSSTRING;
    out->application = *overrideValue;
    return S_OK;
  }

  const outcome::Expected<platform::Registry> settings = LoadSettings();
  if (!settings) return REGDB_E_READREGDB;
  const std::string key = std::string(kClassesRoot) + std::string(progId);
  if (!settings->HasKey(key)) {
    if (!EqualsNoCase(progId, kCurrentProgId) || !HasNoSpreadsheetProgIds(*settings))
      return CO_E_CLASSSTRING;
    out->application = kDefaultApplication;
    return S_OK;
  }
  return ReadApplication(*settings, key, CO_E_CLASSSTRING, &out->application);
}

HRESULT ClassRegistry::CreateInstance(const Clsid& clsid, Ptr<Unknown>* out,
                                      std::string* reason) const {
  if (reason != nullptr) reason->clear();
  if (out == nullptr) return E_POINTER;
  out->Reset();

  std::string application = clsid.application;
  if (!clsid.identifier.empty()) {
    // An override replaces the settings store, class identifiers included.
    if (SpreadsheetOverride()) return REGDB_E_CLASSNOTREG;
    const outcome::Expected<platform::Registry> settings = LoadSettings();
    if (!settings) return REGDB_E_READREGDB;
    const HRESULT hr =
        ReadApplication(*settings, std::string(kClassesRoot) + "CLSID\\" + clsid.identifier,
                        REGDB_E_CLASSNOTREG, &application);
    if (FAILED(hr)) return hr;
  }

  Factory factory;
  {
    std::lock_guard lock(mutex_);
    const auto found = factories_.find(application);
    if (found == factories_.end() || !found->second) return REGDB_E_CLASSNOTREG;
    factory = found->second;
  }
  // Outside the lock: a factory may take long (starting an application) or
  // register factories itself.
  try {
    Ptr<Unknown> object = factory();
    if (!object) return E_FAIL;
    *out = std::move(object);
    return S_OK;
  } catch (const Error& error) {
    if (reason != nullptr && error.HasDescription()) *reason = error.what();
    return FAILED(error.hr()) ? error.hr() : E_FAIL;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (const std::exception& error) {
    if (reason != nullptr) *reason = error.what();
    return E_FAIL;
  } catch (...) {
    // Not a standard exception: there is no text to pass on.
    return E_FAIL;
  }
}

HRESULT ClassRegistry::CreateInstanceFromProgId(std::string_view progId, Ptr<Unknown>* out) const {
  if (out == nullptr) return E_POINTER;
  out->Reset();
  Clsid clsid;
  const HRESULT hr = ClsidFromProgId(progId, &clsid);
  if (FAILED(hr)) return hr;
  return CreateInstance(clsid, out);
}

}  // namespace com
