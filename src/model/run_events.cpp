#include "model/run_events.h"

namespace model {
namespace {

char FoldAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameKey(std::string_view a, std::string_view b) {
  if (a.size() != b.size() || a.empty()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  }
  return true;
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
