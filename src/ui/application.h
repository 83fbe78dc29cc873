// The QApplication the dialogs run in.
#pragma once

#include <string>

namespace ui {

// Makes sure a QApplication lives on the calling thread, creating one when
// the process has no application object. Empty when dialogs can be shown;
// otherwise why not, and nothing was created.
std::string PrepareApplication();

// Why dialogs cannot be shown on the calling thread; creates nothing.
std::string ApplicationRefusal();

}  // namespace ui
