#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "archive/json/case_json_form.h"
#include "archive/json/json_values.h"
#include "archive/records/record_fields.h"

namespace archive {
namespace {

using nlohmann::json;

constexpr std::size_t kUnlimited = std::numeric_limits<std::uint32_t>::max();

std::string ElementPath(const std::string& path, std::size_t index) {
  return path + "[" + std::to_string(index) + "]";
}

// The first fault of a document. Every reader of the document shares it and
// reads nothing more once it is set, so that the fault reported is the one
// met first.
struct FirstFault {
  bool found = false;
  std::string message;

  void Set(outcome::Error error) {
    if (found) {
      error.Consume();  // a later fault: the first is the one reported
      return;
    }
    found = true;
    message = error.Message();
  }
  outcome::Error Take() {
    return found ? outcome::Error::Failed(std::move(message)) : outcome::Error::Success();
  }
};

void ReadPublishedVariables(const json& in, const std::string& path,
                            casedata::CExcclExportedVariable& variables, FirstFault& fault);

// The JSON reader's visitor of the field lists, over one JSON object: each
// field from the member of its key, a missing member leaving the field's
// default, and any member that no field asked for refused by Finish.
// Errors name the member's path ("" for the top); the first goes to `fault`.
class FieldsFromJson {
 public:
  FieldsFromJson(const json& object, std::string path, FirstFault& fault)
      : object_(object), path_(std::move(path)), fault_(fault) {
    if (!object_.is_object()) Fail(path_, "expected an object");
  }

  // Reads the record into `record` from `value`, refusing unknown members.
  template <typename T>
  static void Read(const json& value, const std::string& path, T& record, FirstFault& fault) {
    FieldsFromJson fields(value, path, fault);
    Fields(fields, record);
    fields.Finish();
  }

  // From now on reads only the member `key` (none: every member).
  void ReadOnly(const char* key) { only_ = key; }

  void Flag(const char* key, bool& field, Versions = {}) {
    if (const json* value = Member(key)) Take(FlagFromJson(*value, PathOf(key)), field);
  }
  void Flag(const char* key, std::int32_t& field, Versions = {}) {
    bool flag = false;
    if (const json* value = Member(key); value && Take(FlagFromJson(*value, PathOf(key)), flag)) {
      field = flag ? 1 : 0;
    }
  }
  void U32(const char* key, std::uint32_t& field, Versions = {}) {
    if (const json* value = Member(key)) Take(U32From(*value, PathOf(key)), field);
  }
  void Double(const char* key, double& field) {
    if (const json* value = Member(key)) Take(DoubleFromJson(*value, PathOf(key)), field);
  }
  void Text(const char* key, std::string& field, Versions = {}) {
    if (const json* value = Member(key)) Take(TextFromJson(*value, PathOf(key)), field);
  }
  void Cell(const char* key, casedata::CellField& field, Versions = {}) {
    const json* value = Member(key);
    std::string text;
    if (value == nullptr || !Take(TextFromJson(*value, PathOf(key)), text)) return;
    if (text.size() > casedata::CellField::kMaxLength || text.find('\0') != std::string::npos) {
      Fail(PathOf(key), "a cell reference holds at most 15 bytes and no NUL");
      return;
    }
    field.Set(text);
  }
  void Bounded(const char* key, std::int32_t& field, std::int32_t min, std::int32_t max,
               Versions = {}) {
    std::int64_t number = 0;
    if (const json* value = Member(key);
        value && Take(IntegerFromJson(*value, PathOf(key), min, max), number)) {
      field = static_cast<std::int32_t>(number);
    }
  }
  template <std::size_t N>
  void U32s(const char* key, std::array<std::uint32_t, N>& values) {
    std::size_t column = 0;
    ForEach(key, N, [&](const json& value, const std::string& path) {
      Take(U32From(value, path), values[column++]);
    });
  }
  void Texts(const char* key, std::vector<std::string>& texts, const char*) {
    ForEach(key, kUnlimited, [&](const json& value, const std::string& path) {
      if (std::string text; Take(TextFromJson(value, path), text)) texts.push_back(text);
    });
  }
  // Rows not listed are left alone.
  template <std::size_t N>
  void Rows(const char* key, std::array<casedata::CExcPropertyCell, N>& rows) {
    std::size_t row = 0;
    ForEach(key, N, [&](const json& value, const std::string& path) {
      Read(value, path, rows[row++], fault_);
    });
  }
  template <std::size_t N>
  void Rows(const char* firstKey, std::array<casedata::CExcPropertyCell, N>& first,
            const char* secondKey, std::array<casedata::CExcPropertyCell, N>& second) {
    Rows(firstKey, first);
    Rows(secondKey, second);
  }
  template <typename T>
  void Object(const char* key, T& record, Versions = {}) {
    if (const json* value = Member(key)) Read(*value, PathOf(key), record, fault_);
  }
  // Each element is read into a new item and appended.
  template <typename T>
  void List(const char* key, casedata::CExtCollection<T>& list, const char*, Versions = {}) {
    ForEach(key, kUnlimited, [&](const json& value, const std::string& path) {
      auto item = std::make_unique<T>();
      Read(value, path, *item, fault_);
      if (!fault_.found) list.Add(std::move(item));
    });
  }
  // Published variables also make a document of their own, the model data
  // file, which is read the same way.
  void List(const char* key, casedata::CExcclExportedVariable& variables, const char*,
            Versions = {}) {
    if (const json* value = Member(key)) {
      ReadPublishedVariables(*value, PathOf(key), variables, fault_);
    }
  }
  // Read with the streams.
  void StreamCount(const char*, std::uint32_t&) {}
  // The count and the list: either may be left out, but given both must
  // agree.
  template <typename Stream>
  void Streams(const char* key, casedata::CExtCollection<Stream>& streams, const char* countKey,
               std::uint32_t& count, const char*) {
    if (Skips(key) || fault_.found) return;
    const json* countValue = Find(countKey);
    std::int64_t counted = 0;
    if (countValue != nullptr &&
        Take(IntegerFromJson(*countValue, PathOf(countKey), kMinStreamCount, kMaxStreamCount),
             counted)) {
      count = static_cast<std::uint32_t>(counted);
    }
    if (fault_.found || Find(key) == nullptr) return;
    streams.Clear();
    ForEach(key, kMaxStreamCount, [&](const json& value, const std::string& path) {
      auto stream = std::make_unique<Stream>();
      Read(value, path, *stream, fault_);
      if (!fault_.found) streams.Add(std::move(stream));
    });
    if (fault_.found) return;
    if (countValue == nullptr) {
      count = static_cast<std::uint32_t>(std::max<std::size_t>(streams.size(), kMinStreamCount));
    } else if (streams.size() != count) {
      Fail(PathOf(key), std::to_string(streams.size()) + " streams listed for " + countKey + " " +
                            std::to_string(count));
    }
  }
  // The events are read in their own order.
  void Macros(const char* key, casedata::CExcCaseDetails& details) {
    const json* value = Member(key);
    if (value == nullptr) return;
    FieldsFromJson events(*value, PathOf(key), fault_);
    for (std::size_t event = 0; event < casedata::kEventCount; ++event) {
      for (const MacroField& field : kMacroFields) {
        if (field.event != event) continue;
        MacroRef macro{details.macros[event], details.passDate[event]};
        events.Object(field.key, macro);
      }
    }
    events.Finish();
  }
  // Without a count, the states listed are the ones in use.
  void States(const char* countKey, const char* listKey, casedata::CExcIntCtrlVariable& control,
              std::size_t, std::uint32_t) {
    std::int32_t listed = 0;
    ForEach(listKey, casedata::kMaxStates, [&](const json& value, const std::string& path) {
      const auto k = static_cast<std::size_t>(listed++);
      StateRef state{control.StateNames[k], control.StateValues[k]};
      Read(value, path, state, fault_);
    });
    control.StateCount = listed;
    Bounded(countKey, control.StateCount, 0, casedata::kMaxStates);
  }
  void LegacyComposition(casedata::CExcclCompositionDefinition&, Versions) {}
  void LegacyCompositionName(std::string&, Versions) {}

  // Fails when the object has a member that was not asked for.
  void Finish() {
    if (fault_.found) return;
    for (const auto& member : object_.items()) {
      if (std::find(known_.begin(), known_.end(), member.key()) == known_.end()) {
        Fail(PathOf(member.key().c_str()), "unknown key");
        return;
      }
    }
  }

 private:
  static outcome::Expected<std::uint32_t> U32From(const json& value, const std::string& path) {
    outcome::Expected<std::int64_t> number =
        IntegerFromJson(value, path, 0, std::numeric_limits<std::uint32_t>::max());
    if (!number) return number.TakeError();
    return static_cast<std::uint32_t>(*number);
  }

  void Fail(const std::string& path, const std::string& problem) {
    fault_.Set(JsonError(path, problem));
  }
  // The value read into `field`; false, with the fault recorded, when there
  // is none.
  template <typename T, typename Field>
  bool Take(outcome::Expected<T> read, Field& field) {
    if (!read) {
      fault_.Set(read.TakeError());
      return false;
    }
    field = static_cast<Field>(*std::move(read));
    return true;
  }

  bool Skips(const char* key) const { return only_ != nullptr && std::strcmp(only_, key) != 0; }
  // The member, or null when absent, not read now or after a fault; it
  // counts as known once asked for.
  const json* Member(const char* key) { return Skips(key) || fault_.found ? nullptr : Find(key); }
  const json* Find(const char* key) {
    known_.emplace_back(key);
    const auto found = object_.find(key);
    return found == object_.end() ? nullptr : &*found;
  }
  std::string PathOf(const char* key) const {
    return path_.empty() ? std::string(key) : path_ + "." + key;
  }

  // Calls read(element, path) for each element of the array member `key`,
  // which holds at most `maxSize`.
  template <typename Read>
  void ForEach(const char* key, std::size_t maxSize, Read read) {
    const json* array = Member(key);
    if (array == nullptr) return;
    const std::string path = PathOf(key);
    if (!array->is_array()) return Fail(path, "expected an array");
    if (array->size() > maxSize) {
      return Fail(path, "at most " + std::to_string(maxSize) + " elements");
    }
    for (std::size_t i = 0; i < array->size() && !fault_.found; ++i)
      read((*array)[i], ElementPath(path, i));
  }

  const json& object_;
  std::string path_;
  std::vector<std::string> known_;
  const char* only_ = nullptr;
  FirstFault& fault_;
};

// The members of a case are read in this order rather than the record's:
// it decides which fault a document with several reports, as it always has.
// A stream count is read with its list; a member missing here would be
// refused as unknown.
constexpr std::array<const char*, 12> kReadOrder = {
    "fileName",           "inputStreams",  "outputStreams",   "macros",
    "objective",          "constraints",   "controls",        "integerControls",
    "publishedVariables", "hideInterface", "useCompositions", "compositions"};

void ReadPublishedVariables(const json& in, const std::string& path,
                            casedata::CExcclExportedVariable& variables, FirstFault& fault) {
  if (!in.is_array()) {
    fault.Set(JsonError(path, "expected an array of published variables"));
    return;
  }
  for (std::size_t i = 0; i < in.size() && !fault.found; ++i) {
    auto variable = std::make_unique<casedata::CExcExportedVariable>();
    FieldsFromJson::Read(in[i], ElementPath(path, i), *variable, fault);
    if (!fault.found) variables.Add(std::move(variable));
  }
}

}  // namespace

outcome::Error PublishedVariablesFromJson(const json& in, const std::string& path,
                                          casedata::CExcclExportedVariable& variables) {
  FirstFault fault;
  ReadPublishedVariables(in, path, variables, fault);
  return fault.Take();
}

outcome::Error CaseFromJson(const json& in, CaseContent& content) {
  FirstFault fault;
  FieldsFromJson reader(in, "", fault);
  // The version a case was read with; what is written is always current.
  content.version = static_cast<std::int32_t>(kCurrentVersion);
  reader.Bounded("version", content.version, kOldestVersion, kCurrentVersion);
  const CaseView view = content.View();
  for (const char* key : kReadOrder) {
    reader.ReadOnly(key);
    Fields(reader, view);
  }
  reader.Finish();
  SettleStreamCounts(content.details);
  return fault.Take();
}

}  // namespace archive
