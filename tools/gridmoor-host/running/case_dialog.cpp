#include "running/case_dialog.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#include "archive/json/case_json.h"
#include "common/files.h"
#include "common/json_shape.h"
#include "running/run.h"
#include "scenario/records.h"

namespace refhost {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

constexpr CaseDialog kDialogs[] = {
    {"case", "every setting of the case: workbook, streams, macros, options", EXT_CMD_EDIT_CASE, 0},
    {"workbook", "the workbook file alone", EXT_CMD_EDIT_CASE, 1},
    {"objective", "the optimisation, on its objective and constraints", EXT_CMD_SETUP_OPTIMISATION,
     0},
    {"controls", "the optimisation, on its controls", EXT_CMD_SETUP_OPTIMISATION, 2},
};

std::string Failure(const char* what, const Reply& reply) {
  return std::string(what) + (reply.text.empty() ? std::string() : ": " + reply.text);
}

// An instance of the library holding the case, with its workbook open in
// the office; wound down on every path.
class CaseSession {
 public:
  explicit CaseSession(Library& library) : lib_(library) {}
  ~CaseSession() {
    if (!lib_.HasInstance()) return;
    if (appStarted_) (void)lib_.StopApp();
    (void)lib_.DestroyInstance();
  }
  CaseSession(const CaseSession&) = delete;
  CaseSession& operator=(const CaseSession&) = delete;

  // The case of `archive`, read as from the model file `caseFile`, with
  // its workbook `workbook` (absolute) open.
  outcome::Error Open(const std::vector<std::uint8_t>& archive, const fs::path& caseFile,
                      const std::string& workbook) {
    if (const Reply made = lib_.CreateInstance(); !made.ok())
      return outcome::Error::Failed(Failure("the driver could not make an instance", made));
    const std::string model = caseFile.string();
    Record caseRecord = CaseDataRecord(archive, model);
    if (const Reply read = lib_.Call(EXT_CMD_READ_CASE_DATA, caseRecord.data()); !read.ok())
      return outcome::Error::Failed(Failure("the driver could not read the case", read));
    Record name(EXT_FILE_NAME_RECORD_MIN_SIZE);
    name.PutText(EXT_FILE_NAME_TEXT_OFFSET, EXT_FILE_NAME_TEXT_SIZE, workbook);
    if (const Reply named = lib_.Call(EXT_CMD_SET_FILE_NAME, name.data()); !named.ok())
      return outcome::Error::Failed(Failure("the driver could not take the workbook", named));
    const Reply opened = lib_.Direct() ? lib_.Call(EXT_CMD_OPEN_CASE_WORKBOOK) : lib_.StartApp();
    if (!opened.ok())
      return outcome::Error::Failed(Failure("the office could not open the workbook", opened));
    appStarted_ = true;
    return outcome::Error::Success();
  }

  // The case the driver holds now, as JSON.
  outcome::Expected<json> Case() {
    std::vector<std::uint8_t> buffer(EXT_CASE_DATA_ARCHIVE_CAPACITY);
    const Reply written =
        lib_.Call(EXT_CMD_WRITE_CASE_DATA, buffer.data(), static_cast<std::int32_t>(buffer.size()));
    if (!written.ok())
      return outcome::Error::Failed(Failure("the driver could not write the case", written));
    return archive::CaseArchiveToJson(buffer);
  }

 private:
  Library& lib_;
  bool appStarted_ = false;
};

// The case JSON of `file` and its archive.
outcome::Expected<std::pair<json, std::vector<std::uint8_t>>> ReadCase(const fs::path& file) {
  const outcome::Expected<std::string> text = ReadBoundedText(file, kTextFileLimit);
  if (!text) return text.GetError();
  outcome::Expected<json> document = ParseJsonText(*text);
  if (!document)
    return outcome::Error::Failed(file.string() + ": " + document.GetError().Message());
  outcome::Expected<std::vector<std::uint8_t>> archive = archive::CaseJsonToArchive(*document);
  if (!archive) return outcome::Error::Failed(file.string() + ": " + archive.GetError().Message());
  if (archive->size() > EXT_CASE_DATA_ARCHIVE_CAPACITY)
    return outcome::Error::Failed(file.string() + ": the case takes " +
                                  std::to_string(archive->size()) + " bytes; the record holds " +
                                  std::to_string(EXT_CASE_DATA_ARCHIVE_CAPACITY));
  return std::pair{std::move(*document), std::move(*archive)};
}

}  // namespace

std::span<const CaseDialog> CaseDialogs() {
  return kDialogs;
}

std::string WhyNoDisplay() {
  for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return {};
  }
  const char* platform = std::getenv("QT_QPA_PLATFORM");
  if (platform != nullptr && *platform != '\0') return {};
  return "no display to show the dialog on (DISPLAY is not set)";
}

outcome::Expected<bool> EditCaseInDialog(Library& library, const std::string& name,
                                         const fs::path& caseFile) {
  const CaseDialog* dialog = nullptr;
  for (const CaseDialog& d : kDialogs)
    if (name == d.name) dialog = &d;
  if (dialog == nullptr) {
    std::string known;
    for (const CaseDialog& d : kDialogs)
      known += std::string(known.empty() ? "" : ", ") + d.name;
    return outcome::Error::Failed("no dialog is called '" + name + "'; the dialogs are " + known);
  }
  if (const std::string why = WhyNoDisplay(); !why.empty()) return outcome::Error::Failed(why);
  auto read = ReadCase(caseFile);
  if (!read) return read.GetError();
  auto& [document, archive] = *read;
  // The workbook as the file names it: a relative name is the case file's
  // neighbour, and stays relative in what is written back.
  const std::string fileName = document.value("fileName", std::string());
  if (fileName.empty()) return outcome::Error::Failed(caseFile.string() + ": fileName: empty");
  const fs::path workbook = fs::absolute(caseFile).parent_path() / fileName;
  CaseSession session(library);
  if (outcome::Error failed =
          session.Open(archive, fs::absolute(caseFile), workbook.lexically_normal().string()))
    return failed;
  const outcome::Expected<json> before = session.Case();
  if (!before) return before.GetError();
  std::vector<std::uint8_t> problem(dialog->code == EXT_CMD_EDIT_CASE
                                        ? sizeof(std::uint32_t)
                                        : std::size_t{EXT_OPT_PROBLEM_RECORD_SIZE});
  const Reply shown = library.Call(dialog->code, problem.data(), dialog->iarg);
  // Cancelled: the driver answers as refused, with no message.
  if (!shown.ok() && !shown.text.empty())
    return outcome::Error::Failed(Failure("the dialog could not be shown", shown));
  outcome::Expected<json> after = session.Case();
  if (!after) return after.GetError();
  if (!shown.ok() || *after == *before) return false;
  if ((*after)["fileName"] == (*before)["fileName"]) (*after)["fileName"] = fileName;
  if (outcome::Error unwritten = WriteText(caseFile, after->dump(2) + "\n")) return unwritten;
  return true;
}

}  // namespace refhost
