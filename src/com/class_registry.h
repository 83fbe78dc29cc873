// Creating application objects by ProgID.
//
// A ProgID is looked up in the settings store under
// HKEY_CLASSES_ROOT\<ProgID>; its default value names the application (a
// factory registered here under that name). A text beginning with "{" is a
// class identifier, looked up under HKEY_CLASSES_ROOT\CLSID\{...}.
//
// When the settings store has no key for any spreadsheet ProgID
// (Excel.Application and Excel.Application.9 ... .16), Excel.Application.16
// names "calc", as if one current version were installed.
//
// GRIDMOOR_SPREADSHEET, read at each lookup, overrides the settings store:
// "none" (any case) makes every ProgID unknown and no class identifier
// creatable; any other non-empty value X makes Excel.Application.16 name X and
// every other ProgID unknown.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

#include "com/hresult.h"
#include "com/unknown.h"

namespace com {

// What a ProgID or class identifier resolved to.
struct Clsid {
  // The application name a ProgID resolved to; empty for a class identifier.
  std::string application;
  // The class identifier "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" (upper
  // case) when one was given; its application is read at creation.
  std::string identifier;

  friend bool operator==(const Clsid&, const Clsid&) = default;
};

class ClassRegistry {
 public:
  using Factory = std::function<Ptr<Unknown>()>;

  static ClassRegistry& Instance();

  // Application names compare without regard to ASCII case. Registering a
  // name again replaces its factory.
  void RegisterFactory(std::string application, Factory factory);
  // False when no factory had that name.
  bool UnregisterFactory(std::string_view application);

  // S_OK, CO_E_CLASSSTRING for a ProgID that is not registered (or a
  // malformed class identifier), REGDB_E_READREGDB when the settings store
  // cannot be read, E_POINTER for a null `out`.
  HRESULT ClsidFromProgId(std::string_view progId, Clsid* out) const;

  // Runs the application's factory. REGDB_E_CLASSNOTREG when no factory
  // answers to the name; a factory's com::Error gives its code, running out
  // of memory E_OUTOFMEMORY, any other exception (or no object) E_FAIL.
  // `reason`, when given, receives the description a factory's com::Error
  // carried (empty when none).
  HRESULT CreateInstance(const Clsid& clsid, Ptr<Unknown>* out,
                         std::string* reason = nullptr) const;

  // Both steps.
  HRESULT CreateInstanceFromProgId(std::string_view progId, Ptr<Unknown>* out) const;

 private:
  struct CaseInsensitiveLess {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const;
  };

  ClassRegistry() = default;

  mutable std::mutex mutex_;
  std::map<std::string, Factory, CaseInsensitiveLess> factories_;
};

}  // namespace com
