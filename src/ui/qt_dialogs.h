// The dialogs the library shows, in Qt 6 Widgets: a provider of the model's
// dialog interface. No Qt header is needed to install it.
#pragma once

#include <functional>
#include <memory>

#include "model/dialogs.h"

namespace ui {

// Opens help on a topic of the dialogs' Help buttons.
using HelpHandler = std::function<void(int topic)>;

// Dialogs are shown only on the thread of the process's QApplication. When
// there is none, the first dialog creates one on its thread and keeps it to
// the process's end; a host that creates its own QApplication after that
// aborts (Qt allows one per process), so a host with Qt of its own creates
// its QApplication before the first dialog. A thread other than the
// application's, an application object that is not a QApplication, or no
// display that answers: nothing is shown, the dialog answers as cancelled
// and WhyNotShown says why.
std::shared_ptr<model::Dialogs> MakeQtDialogs(HelpHandler help);

}  // namespace ui
