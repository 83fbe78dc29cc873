// The seam between the driver and its configuration dialogs. The model and
// the exports show a dialog only through the process's current provider, so
// a build without a user interface, and tests, can put other dialogs in
// their place. Dialogs run on the host thread that owns the user interface.
#pragma once

#include <memory>
#include <string>

#include "outcome/outcome.h"
#include "values/host_values.h"

namespace casedata {
class CExcCaseDetails;
}  // namespace casedata

namespace model {

class CExcModel;

enum class DialogResult { kOk, kCancel };

// The page the optimisation set-up opens on.
enum class OptimiserPage { kObjectiveAndConstraints, kControls };

enum class CaseDialogKind {
  kFull,        // every case setting
  kSimpleFile,  // the workbook file only
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // Why no dialog can be shown on the calling thread just now; empty when
  // one can. The operations then answer as cancelled with this message.
  virtual std::string WhyNotShown() const { return {}; }

  // Edits `details` (the model's case) in place; `model` supplies what the
  // dialog shows besides the case (the worksheet names, for instance).
  virtual DialogResult EditCase(CaseDialogKind kind, CExcModel& model,
                                casedata::CExcCaseDetails& details,
                                values::WindowHandle parent) = 0;
  // Edits the driver-wide plug-in list.
  virtual DialogResult EditDriverSettings(std::string& plugIns, values::WindowHandle parent) = 0;
  // Edits the model's objective, constraints, controls and integer controls
  // in place. On cancel the dialog itself puts back what it was given.
  virtual DialogResult SetupOptimisation(OptimiserPage firstPage, CExcModel& model,
                                         values::WindowHandle parent) = 0;
  // Edits the model's published variables; on OK the list is rebuilt.
  virtual DialogResult EditPublishedVariables(CExcModel& model, values::WindowHandle parent) = 0;
};

// What the library offers until it has dialogs of its own: every dialog
// ends as if the user had cancelled it, and nothing is edited.
class CancelledDialogs final : public Dialogs {
 public:
  DialogResult EditCase(CaseDialogKind kind, CExcModel& model, casedata::CExcCaseDetails& details,
                        values::WindowHandle parent) override;
  DialogResult EditDriverSettings(std::string& plugIns, values::WindowHandle parent) override;
  DialogResult SetupOptimisation(OptimiserPage firstPage, CExcModel& model,
                                 values::WindowHandle parent) override;
  DialogResult EditPublishedVariables(CExcModel& model, values::WindowHandle parent) override;
};

// The process's provider; never null.
std::shared_ptr<Dialogs> CurrentDialogs();
// The process's provider when it can show a dialog on the calling thread;
// otherwise the reason.
outcome::Expected<std::shared_ptr<Dialogs>> DialogsToShow();
// Installs `dialogs` (null: the library's own) and returns the previous one.
std::shared_ptr<Dialogs> SetDialogs(std::shared_ptr<Dialogs> dialogs);

}  // namespace model
