#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "archive/json/case_json_form.h"
#include "archive/json/json_values.h"
#include "archive/records/record_fields.h"

namespace archive {
namespace {

using nlohmann::json;

// The JSON writer's visitor of the field lists: every field under its key,
// whatever the version (an object's keys come out in alphabetical order).
class FieldsToJson {
 public:
  template <typename T>
  static json Of(T& record) {
    FieldsToJson fields;
    Fields(fields, record);
    return std::move(fields.out_);
  }

  void Flag(const char* key, bool& value, Versions = {}) { out_[key] = value; }
  void Flag(const char* key, std::int32_t& value, Versions = {}) { out_[key] = value != 0; }
  void U32(const char* key, std::uint32_t& value, Versions = {}) { out_[key] = value; }
  void Double(const char* key, double& value) { out_[key] = DoubleToJson(value); }
  void Text(const char* key, std::string& value, Versions = {}) { out_[key] = TextToJson(value); }
  void Cell(const char* key, casedata::CellField& value, Versions = {}) {
    out_[key] = TextToJson(value.str());
  }
  void Bounded(const char* key, std::int32_t& value, std::int32_t, std::int32_t, Versions = {}) {
    out_[key] = value;
  }
  template <std::size_t N>
  void U32s(const char* key, std::array<std::uint32_t, N>& values) {
    out_[key] = values;
  }
  void Texts(const char* key, std::vector<std::string>& texts, const char*) {
    json list = json::array();
    for (const std::string& text : texts)
      list.push_back(TextToJson(text));
    out_[key] = std::move(list);
  }
  template <std::size_t N>
  void Rows(const char* key, std::array<casedata::CExcPropertyCell, N>& rows) {
    json list = json::array();
    for (casedata::CExcPropertyCell& row : rows)
      list.push_back(Of(row));
    out_[key] = std::move(list);
  }
  template <std::size_t N>
  void Rows(const char* firstKey, std::array<casedata::CExcPropertyCell, N>& first,
            const char* secondKey, std::array<casedata::CExcPropertyCell, N>& second) {
    Rows(firstKey, first);
    Rows(secondKey, second);
  }
  template <typename T>
  void Object(const char* key, T& record, Versions = {}) {
    out_[key] = Of(record);
  }
  // A list the current record no longer holds shows only when an older
  // case had one.
  template <typename T>
  void List(const char* key, casedata::CExtCollection<T>& list, const char*,
            Versions versions = {}) {
    if (versions.last < kCurrentVersion && list.empty()) return;
    json array = json::array();
    for (std::size_t i = 0; i < list.size(); ++i)
      array.push_back(Of(*list.At(i)));
    out_[key] = std::move(array);
  }
  void StreamCount(const char* key, std::uint32_t& count) { out_[key] = count; }
  template <typename Stream>
  void Streams(const char* key, casedata::CExtCollection<Stream>& streams, const char*,
               std::uint32_t&, const char* what) {
    List(key, streams, what);
  }
  void Macros(const char* key, casedata::CExcCaseDetails& details) {
    json macros = json::object();
    for (const MacroField& field : kMacroFields) {
      MacroRef macro{details.macros[field.event], details.passDate[field.event]};
      macros[field.key] = Of(macro);
    }
    out_[key] = std::move(macros);
  }
  // The states in use and any stored after them; empty pairs at the end
  // are left out, as missing ones read back empty.
  void States(const char* countKey, const char* listKey, casedata::CExcIntCtrlVariable& control,
              std::size_t, std::uint32_t) {
    std::size_t stored = static_cast<std::size_t>(control.StateCount);
    for (std::size_t k = 0; k < control.StateNames.size(); ++k) {
      if (!control.StateNames[k].empty() || !control.StateValues[k].empty())
        stored = std::max(stored, k + 1);
    }
    json states = json::array();
    for (std::size_t k = 0; k < stored; ++k) {
      StateRef state{control.StateNames[k], control.StateValues[k]};
      states.push_back(Of(state));
    }
    out_[countKey] = control.StateCount;
    out_[listKey] = std::move(states);
  }
  // What versions 3 to 9 kept is read into the fields above.
  void LegacyComposition(casedata::CExcclCompositionDefinition&, Versions) {}
  void LegacyCompositionName(std::string&, Versions) {}

 private:
  json out_ = json::object();
};

}  // namespace

json CaseToJson(const CaseView& parts) {
  json out = FieldsToJson::Of(parts);
  out["version"] = parts.version;
  return out;
}

}  // namespace archive
