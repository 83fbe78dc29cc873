// What of an office outlives its documents: the office's own Basic and
// dialog libraries and its settings. Read when a process starts or joins an
// office, and compared when it leaves: documents are closed, and an office
// found changed otherwise is not handed to anyone else.
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
  // writes there by itself while documents come and go.
  std::string settings;
};

// The profile's settings file, without the items an office changes by
// itself (recent documents, window states, ...): what a macro or a user can
// have changed.
std::string ComparableSettings(std::string_view registryModifications);

// The office's profile folder (its user folder's parent); empty when it is
// not on this machine's file system. Throws UNO exceptions.
std::filesystem::path OfficeProfileFolder(
    const css::uno::Reference<css::uno::XComponentContext>& context);

// The office's state now. Settings are flushed to the profile first.
// Throws UNO exceptions.
OfficeState ReadOfficeState(const css::uno::Reference<css::uno::XComponentContext>& context);

// Closes every document of the office (unsaved changes dropped), and tells
// whether the office is then as `baseline` says (without one: whether every
// document closed). False when it may not be: a document would not close, a
// call failed, the office's Basic or dialog libraries changed (a library or
// module came, went or changed, a library was loaded since: what ran in them
// can outlive them, so only a fresh office is rid of it), a setting
// changed. Such an office must not be used again. Never throws.
bool ResetOfficeState(const css::uno::Reference<css::uno::XComponentContext>& context,
                      const css::uno::Reference<css::frame::XDesktop2>& desktop,
                      const OfficeState* baseline);

// A new office loads its spreadsheet module, filters, formula engine and
// Basic runtime for its first workbook, which cost that workbook's run
// about half a second: an office kept for others loads one of its own
// first, as their workbooks are loaded (a view unless `views` is false),
// runs its one macro and closes it. Its file is written in `folder`, which
// the office can read, and removed. A failure is left for the state check
// that follows to find. Never throws.
void LoadFirstWorkbook(const css::uno::Reference<css::frame::XDesktop2>& desktop, bool views,
                       const std::filesystem::path& folder);

// Changes the office's own Basic libraries (a library comes), so that
// ResetOfficeState finds it changed: for a user of a shared office who knows
// it left something no comparison sees. Throws UNO exceptions.
void MarkOfficeChanged(const css::uno::Reference<css::uno::XComponentContext>& context);

}  // namespace excel::calc
