// The entry point of the dialogs module: the library loads this module, and
// with it Qt, only when a dialog is first asked for, so that a run pays
// nothing for the dialogs it never shows.
#include <memory>

#include "ui/qt_dialogs.h"

extern "C" __attribute__((visibility("default"))) void GridmoorMakeDialogs(
    const ui::HelpHandler* help, std::shared_ptr<model::Dialogs>* made) {
  *made = ui::MakeQtDialogs(*help);
}
