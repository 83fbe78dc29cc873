#include "excel/calc/macros/office_reach.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "excel/calc/calls/calc_objects.h"
#include "excel/calc/calls/office_state.h"
#include "excel/calc/calls/uno_office.h"

namespace excel::calc {
namespace {

// Names whose use leaves something in the office: listeners on every
// document (or on the office itself), a process of its own, a change of
// the configuration that is kept in memory only.
constexpr std::string_view kReachingNames[] = {
    "Shell",
    "CreateUnoListener",
    "GlobalEventBroadcaster",
    "theGlobalEventBroadcaster",
    "addEventListener",
    "addDocumentEventListener",
    "addTerminateListener",
    "ConfigurationUpdateAccess",
};

bool NamePart(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

std::string Lowered(std::string_view text) {
  std::string lowered(text);
  std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lowered;
}

}  // namespace

std::optional<std::string> CallReachingTheOffice(std::string_view source) {
  const std::string text = Lowered(source);
  std::optional<std::size_t> first;
  for (const std::string_view name : kReachingNames) {
    const std::string wanted = Lowered(name);
    for (std::size_t at = text.find(wanted); at != std::string::npos;
         at = text.find(wanted, at + 1)) {
      const std::size_t end = at + wanted.size();
      const bool whole =
          (at == 0 || !NamePart(text[at - 1])) && (end == text.size() || !NamePart(text[end]));
      if (whole) {
        if (!first || at < *first) first = at;
        break;
      }
    }
  }
  if (!first) return std::nullopt;
  std::size_t end = *first;
  while (end < source.size() && NamePart(source[end]))
    ++end;
  return std::string(source.substr(*first, end - *first));
}

void MarkOfficeIfCodeReachesIt(Document& document) {
  if (!document.office || !document.office->Attached()) return;
  document.office->CallIgnoringFailures([&] {
    for (const ModuleSource& module : DocumentModuleSources(document)) {
      if (CallReachingTheOffice(module.source)) {
        MarkOfficeChanged(document.office->Context());
        return;
      }
    }
  });
}

}  // namespace excel::calc
