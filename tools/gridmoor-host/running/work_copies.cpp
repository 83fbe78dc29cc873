#include "running/work_copies.h"

#include <system_error>

#include "running/run.h"

namespace refhost {
namespace {

namespace fs = std::filesystem;

bool CopyInto(const fs::path& source, const fs::path& folder, const char* what, fs::path& copy,
              std::string& error) {
  std::error_code ec;
  if (!fs::is_regular_file(source, ec)) {
    error = std::string(what) + " not found: " + source.string();
    return false;
  }
  copy = folder / source.filename();
  // A folder that already holds the file (a run over its own copies) keeps it.
  if (fs::exists(copy, ec) && fs::equivalent(source, copy, ec)) return true;
  fs::copy_file(source, copy, fs::copy_options::overwrite_existing, ec);
  if (ec) {
    error = "cannot copy the " + std::string(what) + " " + source.string() + " to " +
            copy.string() + ": " + ec.message();
    return false;
  }
  return true;
}

}  // namespace

bool UseCopiesIn(Scenario& scenario, const fs::path& folder, std::string& error) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) {
    error = "cannot create " + folder.string() + ": " + ec.message();
    return false;
  }
  std::optional<fs::path> workbook;
  if (!ScenarioWorkbook(scenario, workbook, error)) return false;
  fs::path copy;
  if (workbook) {
    if (!CopyInto(*workbook, folder, "workbook", copy, error)) return false;
    scenario.workbook = copy;
  }
  if (scenario.modelDataFile) {
    if (!CopyInto(*scenario.modelDataFile, folder, "model data file", copy, error)) return false;
    scenario.modelDataFile = copy;
  }
  return true;
}

}  // namespace refhost
