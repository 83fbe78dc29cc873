// The library's dialogs, from the module that holds them (and Qt): loaded
// on the first dialog, not with the library.
#pragma once

#include <filesystem>
#include <memory>

#include "model/dialogs.h"
#include "ui/qt_dialogs.h"

namespace driver {

// The folder, beside the library's own, that holds the dialogs module.
inline constexpr const char* kDialogsModuleFolder = "gridmoor110";
inline constexpr const char* kDialogsModuleName = "dialogs.so";

// Dialogs that load `module` when first asked for. A module that cannot be
// loaded leaves every dialog refused, WhyNotShown saying why.
std::shared_ptr<model::Dialogs> DialogsFromModule(std::filesystem::path module,
                                                  ui::HelpHandler help);

}  // namespace driver
