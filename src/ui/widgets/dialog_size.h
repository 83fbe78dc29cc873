// The size each dialog opens with: room for its first page whole (every
// column of its grids, the rows they list), or the size the user last gave
// it, kept in the settings store.
#pragma once

#include <QSize>
#include <QString>

class QDialog;

namespace ui {

// Where the sizes are kept: one "width,height" text per dialog, by name.
inline constexpr char kDialogSizesKey[] =
    "HKEY_CURRENT_USER\\Software\\Orvane\\Conflux\\ExtensionDlls110_64\\Excel\\Dialogs";

// Sizes `dialog` for opening and remembers the size it has when it is
// closed, if the user changed it. Call when its widgets are all in place.
void KeepSize(QDialog* dialog, const QString& name);

// The size stored for `name`; empty when none (or none readable).
QSize StoredSize(const QString& name);

}  // namespace ui
