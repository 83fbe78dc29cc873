#include "model/dialogs.h"

#include <mutex>
#include <utility>

namespace model {
namespace {

struct Provider {
  std::mutex mutex;
  std::shared_ptr<Dialogs> current;
};

// Never freed: dialogs may be asked for while static objects are destroyed
// at process exit.
Provider& TheProvider() {
  static Provider* const provider = new Provider;
  return *provider;
}

std::shared_ptr<Dialogs> LibraryDialogs() {
  return std::make_shared<CancelledDialogs>();
}

}  // namespace

DialogResult CancelledDialogs::EditCase(CaseDialogKind, CExcModel&, casedata::CExcCaseDetails&,
                                        values::WindowHandle) {
  return DialogResult::kCancel;
}

DialogResult CancelledDialogs::EditDriverSettings(std::string&, values::WindowHandle) {
  return DialogResult::kCancel;
}

DialogResult CancelledDialogs::SetupOptimisation(OptimiserPage, CExcModel&, values::WindowHandle) {
  return DialogResult::kCancel;
}

DialogResult CancelledDialogs::EditPublishedVariables(CExcModel&, values::WindowHandle) {
  return DialogResult::kCancel;
}

std::shared_ptr<Dialogs> CurrentDialogs() {
  Provider& provider = TheProvider();
  const std::lock_guard<std::mutex> guard(provider.mutex);
  if (!provider.current) provider.current = LibraryDialogs();
  return provider.current;
}

outcome::Expected<std::shared_ptr<Dialogs>> DialogsToShow() {
  std::shared_ptr<Dialogs> dialogs = CurrentDialogs();
  std::string why = dialogs->WhyNotShown();
  if (why.empty()) return dialogs;
  return outcome::Error::Failed(std::move(why));
}

std::shared_ptr<Dialogs> SetDialogs(std::shared_ptr<Dialogs> dialogs) {
  if (!dialogs) dialogs = LibraryDialogs();
  Provider& provider = TheProvider();
  const std::lock_guard<std::mutex> guard(provider.mutex);
  std::shared_ptr<Dialogs> previous = std::move(provider.current);
  provider.current = std::move(dialogs);
  return previous ? previous : LibraryDialogs();
}

}  // namespace model
