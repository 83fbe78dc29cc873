// The call log of the in-memory application and its faults.
#include <charconv>
#include <cstdio>

#include "com/variants/variant_text.h"
#include "support/memory_application.h"

namespace test_support {

namespace memory {
namespace {

std::string Hex(unsigned value, const char* format = "0x%08X") {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

std::string QuoteText(std::string_view text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '\\' || c == '"') {
      quoted += {'\\', c};
    } else if (c == '\n' || c == '\r' || c == '\t') {
      quoted += c == '\n' ? "\\n" : c == '\r' ? "\\r" : "\\t";
    } else {
      const bool control = static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
      quoted += control ? Hex(static_cast<unsigned char>(c), "\\x%02X") : std::string(1, c);
    }
  }
  return quoted + "\"";
}

std::string FormatValue(const com::VARIANT& value) {
  if (value.vt == com::VT_ERROR && value.scode == com::DISP_E_PARAMNOTFOUND) return "Missing";
  const std::string type = com::VarTypeName(value.vt) + " ";
  char number[64];
  if (value.vt == com::VT_R8 || value.vt == com::VT_DATE) {
    return type + std::string(number, std::to_chars(number, number + 64, value.dblVal).ptr);
  }
  if (IsInteger(value.vt)) return type + com::VariantToText(value);
  if (value.vt == com::VT_ERROR) return type + Hex(static_cast<unsigned>(value.scode));
  if (value.vt == com::VT_BSTR) return type + QuoteText(com::BstrToUtf8(value.bstrVal));
  if (value.vt != com::VT_BOOL) return com::VarTypeName(value.vt);
  return type + (value.boolVal == com::VARIANT_TRUE    ? "true"
                 : value.boolVal == com::VARIANT_FALSE ? "false"
                                                       : std::to_string(value.boolVal));
}

// Each run of two or more Missing as "N x Missing".
std::string FormatValueList(std::span<const com::Variant> values) {
  std::string text;
  for (std::size_t i = 0; i < values.size();) {
    std::size_t run = 0;
    while (i + run < values.size() && values[i + run].IsMissing())
      ++run;
    text += (text.empty() ? "" : ", ") +
            (run >= 2 ? std::to_string(run) + " x Missing" : FormatValue(values[i]));
    i += run >= 2 ? run : 1;
  }
  return text;
}

std::string FormatArg(const Arg& arg, std::vector<com::Variant>& values) {
  values.insert(values.end(), arg.values.begin(), arg.values.end());
  const std::string number = std::to_string(arg.number);
  switch (arg.style) {
    case Arg::kValue:
      values.emplace_back(*arg.value);
      return FormatValue(*arg.value);
    case Arg::kText:
      values.push_back(com::Variant::Text(arg.text->View()));
      return QuoteText(arg.text->ToUtf8());
    case Arg::kBool:
      values.push_back(com::Variant::Bool(arg.number != com::VARIANT_FALSE));
      return arg.number != com::VARIANT_FALSE ? "VARIANT_TRUE" : "VARIANT_FALSE";
    case Arg::kList:
      return FormatValueList(arg.values);
    case Arg::kOptional:
      return "optional=" + (arg.values.empty() ? "none" : FormatValueList(arg.values));
    default:
      values.push_back(com::Variant::Int4(arg.number));
      if (arg.style == Arg::kLcid) return "lcid=" + number;
      if (arg.style == Arg::kHex) return Hex(static_cast<unsigned>(arg.number), "0x%X");
      if (arg.style == Arg::kNumber) return number;
      return arg.number == 1   ? "method"  // the InvokeKind
             : arg.number == 2 ? "get"
             : arg.number == 4 ? "put"
                               : "kind=" + number;
  }
}

}  // namespace

std::size_t Object::Record(const char* member, std::initializer_list<Arg> arguments) {
  RecordedCall call{std::string(kind_) + "." + member, {}, {}};
  std::string text;
  for (const Arg& argument : arguments) {
    const std::string part = FormatArg(argument, call.arguments);
    if (!part.empty()) text += (text.empty() ? "" : ", ") + part;
  }
  call.line = call.member + "(" + text + ")";
  std::lock_guard lock(recorder->mutex_);
  // Every matching fault counts the call, so that occurrences stay exact
  // when faults overlap; the first one due decides.
  com::HRESULT injected = com::S_OK;
  for (auto& [fault, seen] : recorder->faults_) {
    if (fault.member != call.member || (fault.when && !fault.when(call))) continue;
    const bool due = ++seen == fault.occurrence || (fault.andLater && seen > fault.occurrence);
    if (due && injected == com::S_OK) injected = fault.hr;
  }
  if (injected != com::S_OK) call.line += " -> failed " + Hex(static_cast<unsigned>(injected));
  recorder->calls_.push_back(std::move(call));
  if (injected != com::S_OK) com::Throw(injected);
  return recorder->forgotten_ + recorder->calls_.size() - 1;
}

void Object::Failed(std::size_t number) {
  std::string suffix = " -> failed (not a COM error)";
  try {
    throw;
  } catch (const com::Error& error) {
    suffix = " -> failed " + Hex(static_cast<unsigned>(error.hr()));
  } catch (...) {
  }
  std::lock_guard lock(recorder->mutex_);
  if (number >= recorder->forgotten_)
    recorder->calls_[number - recorder->forgotten_].line += suffix;
}

}  // namespace memory

std::vector<RecordedCall> Recorder::Calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<std::string> Recorder::Lines() const {
  std::vector<std::string> lines;
  for (const RecordedCall& call : Calls())
    lines.push_back(call.line);
  return lines;
}

std::string Recorder::Transcript() const {
  std::string text;
  for (const std::string& line : Lines())
    text += line + "\n";
  return text;
}

std::vector<RecordedCall> Recorder::CallsOf(std::string_view member) const {
  std::vector<RecordedCall> calls = Calls();
  std::erase_if(calls, [&](const RecordedCall& call) { return call.member != member; });
  return calls;
}

void Recorder::Clear() {
  std::lock_guard lock(mutex_);
  forgotten_ += calls_.size();
  calls_.clear();
}

void Recorder::FailCall(std::string member, com::HRESULT hr, std::size_t occurrence) {
  AddFault({std::move(member), hr, occurrence, false, {}});
}

void Recorder::FailFrom(std::string member, com::HRESULT hr, std::size_t occurrence) {
  AddFault({std::move(member), hr, occurrence, true, {}});
}

void Recorder::AddFault(Fault fault) {
  std::lock_guard lock(mutex_);
  faults_.emplace_back(std::move(fault), 0);
}

void Recorder::ClearFaults() {
  std::lock_guard lock(mutex_);
  faults_.clear();
}

}  // namespace test_support
