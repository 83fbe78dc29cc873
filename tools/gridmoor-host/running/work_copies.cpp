#include "running/work_copies.h"

#include <system_error>

#include "running/run.h"

namespace refhost {
namespace {

namespace fs = std::filesystem;

// The copy of `source` in `folder`.
outcome::Expected<fs::path> CopyInto(const fs::path& source, const fs::path& folder,
                                     const char* what) {
  std::error_code ec;
  if (!fs::is_regular_file(source, ec))
    return outcome::Error::Failed(std::string(what) + " not found: " + source.string());
  fs::path copy = folder / source.filename();
  // A folder that already holds the file (a run over its own copies) keeps it.
  if (fs::exists(copy, ec) && fs::equivalent(source, copy, ec)) return copy;
  fs::copy_file(source, copy, fs::copy_options::overwrite_existing, ec);
  if (ec)
    return outcome::Error::Failed("cannot copy the " + std::string(what) + " " + source.string() +
                                  " to " + copy.string() + ": " + ec.message());
  return copy;
}

}  // namespace

outcome::Error UseCopiesIn(Scenario& scenario, const fs::path& folder) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) return outcome::Error::Failed("cannot create " + folder.string() + ": " + ec.message());
  outcome::Expected<std::optional<fs::path>> workbook = ScenarioWorkbook(scenario);
  if (!workbook) return workbook.TakeError();
  if (*workbook) {
    outcome::Expected<fs::path> copy = CopyInto(**workbook, folder, "workbook");
    if (!copy) return copy.TakeError();
    scenario.workbook = *copy;
  }
  if (scenario.modelDataFile) {
    outcome::Expected<fs::path> copy = CopyInto(*scenario.modelDataFile, folder, "model data file");
    if (!copy) return copy.TakeError();
    scenario.modelDataFile = *copy;
  }
  return outcome::Error::Success();
}

}  // namespace refhost
