// The script provider macros are invoked through, and the office-wide
// library where the check compiles modules on their own (left out of every
// list of the user's macros). Internal to src/excel/calc.
#pragma once

#include <memory>

#include <com/sun/star/script/provider/XScriptProvider.hpp>

namespace excel::calc {

class CalcApplication;
struct Document;

inline constexpr const char* kProbeLibrary = "GridmoorCompileProbe";

// The provider of `document`'s macros; with none, of the office's own.
css::uno::Reference<css::script::provider::XScriptProvider> ProviderFor(
    CalcApplication& application, const std::shared_ptr<Document>& document);

}  // namespace excel::calc
