#include "model/run_events.h"

#include "text/ascii.h"

namespace model {
namespace {

bool SameKey(std::string_view a, std::string_view b) {
  return !a.empty() && text::EqualsNoCase(a, b);
}

}  // namespace

std::optional<EventKey> FindEventKey(std::string_view key) {
  for (const RunEventInfo& info : kRunEvents) {
    if (SameKey(key, info.macroKey) || SameKey(key, info.macroAlias)) {
      return EventKey{info.event, EventSetting::kMacro};
    }
    if (SameKey(key, info.flagKey) || SameKey(key, info.flagAlias)) {
      return EventKey{info.event, EventSetting::kPassDate};
    }
  }
  return std::nullopt;
}

}  // namespace model
