// What of an office outlives its documents: the office's own Basic and
// dialog libraries and its settings. Read when a process starts or joins
// an office, and put back when it leaves, so that the next user of the
// office finds it as it was.
#pragma once

#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <string_view>

namespace excel::calc {

struct OfficeState {
  struct Library {
    bool loaded = false;
    std::map<std::string, std::string> modules;  // by name, read when loaded
  };
  std::map<std::string, Library> basic;
  std::set<std::string> dialogs;
  // The settings as the office keeps them in its profile, less what it
  // writes there by itself while documents come and go (settings.cpp).
  std::string settings;
};

// The profile's settings file, without the items an office changes by
// itself (recent documents, window states, ...): what a macro or a user can
// have changed.
std::string ComparableSettings(std::string_view registryModifications);

// The office's state now. Settings are flushed to the profile first.
// Throws UNO exceptions.
OfficeState ReadOfficeState(const css::uno::Reference<css::uno::XComponentContext>& context);

// Closes every document of the office and puts `baseline` back: libraries
// added since go, changed ones get their modules back. True when the office
// is now as `baseline` says; false when something could not be undone (a
// document refused to close, a library was loaded since and may hold
// variables, a setting changed, a call failed): then the office must not be
// used again. Never throws.
bool RestoreOfficeState(const css::uno::Reference<css::uno::XComponentContext>& context,
                        const css::uno::Reference<css::frame::XDesktop2>& desktop,
                        const OfficeState& baseline);

}  // namespace excel::calc
