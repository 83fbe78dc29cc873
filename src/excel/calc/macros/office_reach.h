// Code of a document that can change a shared office beyond the document:
// a listener on every document's events, a process started from Basic. What
// it leaves cannot be seen by closing the documents and comparing the
// office's libraries and settings, so such an office is not handed on.
// Internal to src/excel/calc.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace excel::calc {

struct Document;

// The first call in `source` (Basic or VBA) that can reach beyond its
// document, as written there; nullopt when there is none. Letter case is
// ignored, as Basic ignores it; names match whole, so a variable
// `ShellCount` is no call of Shell.
std::optional<std::string> CallReachingTheOffice(std::string_view source);

// For a document just opened in an office another process started: when
// its code holds such a call, the office is marked changed, so that its
// owner replaces it rather than hand it on. Never throws.
void MarkOfficeIfCodeReachesIt(Document& document);

}  // namespace excel::calc
