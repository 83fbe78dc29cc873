// The checks before the run: the case, the workbook, the model data, the
// streams and the inputs the scenario gives, each refused before it costs an
// office or a wrong answer; then what the driver says it has.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "archive/archive_error.h"
#include "archive/json/case_json.h"
#include "archive/records/model_data_file.h"
#include "case/case_check.h"
#include "common/files.h"
#include "running/runner.h"

namespace refhost {
namespace {

bool Blank(const nlohmann::json& object, const char* key) {
  return !object.is_object() || !object.contains(key) || !object[key].is_string() ||
         object[key].get<std::string>().find_first_not_of(' ') == std::string::npos;
}

// " (sheet 'Flash', cell B3)": where an item of the case lies, for messages.
std::string Place(const std::string& sheet, const std::vector<std::string>& cells) {
  std::string text = " (sheet '" + sheet + "'";
  for (std::size_t i = 0; i < cells.size(); ++i)
    text += (i == 0 ? (cells.size() == 1 ? ", cell " : ", cells ") : ", ") + cells[i];
  return text + ")";
}

// The bound cells of a stream in the case's JSON form.
std::vector<std::string> StreamCells(const nlohmann::json& stream) {
  std::vector<std::string> cells;
  for (const char* list : {"solverCells", "forecastCells", "propertyCells"})
    if (stream.contains(list) && stream[list].is_array())
      for (const nlohmann::json& cell : stream[list])
        if (!Blank(cell, "cell")) cells.push_back(cell["cell"].get<std::string>());
  if (stream.contains("composition"))
    for (const char* key :
         {"componentTableCell", "interactionCell", "massRateCell", "eosModelCell"})
      if (!Blank(stream["composition"], key))
        cells.push_back(stream["composition"][key].get<std::string>());
  return cells;
}

// A workbook the office can open: a missing one would be made anew, empty.
StepFailure CheckWorkbookFile(const std::string& path) {
  std::error_code error;
  if (std::filesystem::is_directory(path, error))
    return StepFailure::Failed("the workbook " + path + " is a folder, not a file");
  if (!std::filesystem::is_regular_file(path, error))
    return StepFailure::Failed("workbook not found: " + path);
  return StepFailure::None();
}

}  // namespace

StepFailure Runner::IdentifyDriver() {
  std::vector<unsigned char> identify(EXT_IDENTIFY_RECORD_MIN_SIZE, 0);
  const std::uint32_t version = EXT_INTERFACE_VERSION;
  std::memcpy(identify.data(), &version, sizeof version);
  const Reply reply = lib_.Identify(identify);
  if (!reply.ok())
    return StepFailure::Refused("the driver could not say what it is: " + reply.text, "ExtIdentify",
                                0);
  rec_.driverName.assign(
      reinterpret_cast<const char*>(identify.data() + EXT_IDENTIFY_NAME_OFFSET),
      strnlen(reinterpret_cast<const char*>(identify.data() + EXT_IDENTIFY_NAME_OFFSET),
              EXT_IDENTIFY_NAME_SIZE));
  return StepFailure::None();
}

// The case's archive, checked, and the workbook it names, before any
// instance: a case that cannot be had costs no office.
StepFailure Runner::CheckedCase(std::vector<std::uint8_t>& archive) {
  outcome::Expected<std::vector<std::uint8_t>> bytes = CaseArchiveBytes(scenario_);
  if (!bytes)
    return StepFailure::Failed(scenario_.file.string() + ": " + bytes.GetError().Message());
  archive = std::move(*bytes);
  if (archive.size() > EXT_CASE_DATA_ARCHIVE_CAPACITY)
    return StepFailure::Failed("the case archive has " + std::to_string(archive.size()) +
                               " bytes; the record holds " +
                               std::to_string(EXT_CASE_DATA_ARCHIVE_CAPACITY));
  if (StepFailure failed = CheckCase(archive)) return failed;
  if (!scenario_.workbook) return StepFailure::None();
  // Never cut: a cut path names another file, which the run would open and save.
  const std::string path = scenario_.workbook->string();
  if (path.size() >= EXT_FILE_NAME_TEXT_SIZE)
    return StepFailure::Failed("the workbook path has " + std::to_string(path.size()) +
                               " bytes; the driver's file-name field holds at most " +
                               std::to_string(EXT_FILE_NAME_TEXT_SIZE - 1) + ": " + path);
  return CheckWorkbookFile(path);
}

// The scenario's model data file, or one written from its published
// variables into scratch.
StepFailure Runner::PrepareModelData() {
  if (scenario_.modelDataFile) {
    modelDataPath_ = scenario_.modelDataFile->string();
    CheckModelData();
    return StepFailure::None();
  }
  outcome::Expected<std::filesystem::path> scratch = lib_.ScratchFile("model-data.gmd");
  if (!scratch) return scratch.TakeError();
  modelDataPath_ = scratch->string();
  if (!scenario_.publishedVariables) return StepFailure::None();
  for (const nlohmann::json& v : *scenario_.publishedVariables)
    if (v.is_object() && v.contains("name") && v["name"].is_string() && !Blank(v, "worksheet"))
      places_[v["name"].get<std::string>()] =
          Place(v["worksheet"].get<std::string>(),
                Blank(v, "cell") ? std::vector<std::string>{}
                                 : std::vector<std::string>{v["cell"].get<std::string>()});
  const outcome::Expected<std::vector<std::uint8_t>> bytes =
      archive::ModelDataFromJson(*scenario_.publishedVariables);
  if (!bytes) return StepFailure::Failed("publishedVariables: " + bytes.GetError().Message());
  return WriteText(modelDataPath_,
                   std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
}

Record CaseDataRecord(const std::vector<std::uint8_t>& archive, const std::string& modelFile) {
  Record caseRecord(EXT_CASE_DATA_RECORD_SIZE);
  std::memcpy(caseRecord.data() + EXT_CASE_DATA_ARCHIVE_OFFSET, archive.data(), archive.size());
  caseRecord.Put<std::uint32_t>(EXT_CASE_DATA_ARCHIVE_SIZE_OFFSET,
                                static_cast<std::uint32_t>(archive.size()));
  caseRecord.Put<const char*>(EXT_CASE_DATA_MODEL_PATH_OFFSET, modelFile.c_str());
  // The host names the workbook itself: never look for it elsewhere.
  caseRecord.Put<std::uint32_t>(EXT_CASE_DATA_NO_RELOCATION_OFFSET, 1);
  return caseRecord;
}

StepFailure Runner::SendCase(const std::vector<std::uint8_t>& archive) {
  if (StepFailure failed = Require(EXT_CMD_SET_MODEL_DATA_FILE, modelDataPath_.data(), 0))
    return failed;
  const std::string modelFile = scenario_.file.string();
  Record caseRecord = CaseDataRecord(archive, modelFile);
  if (StepFailure failed = Require(EXT_CMD_READ_CASE_DATA, caseRecord.data(), 0)) return failed;
  return Require(EXT_CMD_READ_MODEL_DATA, nullptr, 0);
}

StepFailure Runner::OpenWorkbook() {
  if (scenario_.workbook) {
    Record name(EXT_FILE_NAME_RECORD_MIN_SIZE);
    name.PutText(EXT_FILE_NAME_TEXT_OFFSET, EXT_FILE_NAME_TEXT_SIZE, scenario_.workbook->string());
    if (StepFailure failed = Require(EXT_CMD_SET_FILE_NAME, name.data(), 0)) return failed;
  }
  // The workbook the case names: an office would make a new empty one for a
  // file that does not exist, which is never what a run wants.
  char label[EXT_FILE_NAME_TEXT_SIZE + 1] = {};
  if (StepFailure failed = Require(EXT_CMD_GET_FILE_LABEL, label, EXT_FILE_NAME_TEXT_SIZE))
    return failed;
  rec_.workbook = label;
  if (rec_.workbook.empty() || rec_.workbook == "<No file>")
    return StepFailure::Failed("the case names no workbook");
  if (StepFailure failed = CheckWorkbookFile(rec_.workbook)) return failed;
  if (lib_.Direct()) {
    if (StepFailure failed = Require(EXT_CMD_OPEN_CASE_WORKBOOK, nullptr, 0)) return failed;
  } else {
    if (StepFailure stop = StopWhenAsked()) return stop;
    const Reply reply = lib_.StartApp();
    if (!reply.ok())
      return StepFailure::Refused("the office could not be started: " + reply.text, "ExtStartApp",
                                  0);
  }
  appStarted_ = true;
  return StepFailure::None();
}

StepFailure Runner::Prepare() {
  if (StepFailure failed = IdentifyDriver()) return failed;
  std::vector<std::uint8_t> archive;
  if (StepFailure failed = CheckedCase(archive)) return failed;
  if (StepFailure failed = PrepareModelData()) return failed;
  if (StepFailure stop = StopWhenAsked()) return stop;
  // The office named in the environment (a warm one) is already running.
  progress_.StartingOffice(std::getenv("GRIDMOOR_OFFICE_PIPE") != nullptr);
  const Reply reply = lib_.CreateInstance();
  if (!reply.ok())
    return StepFailure::Refused("the driver could not make an instance: " + reply.text,
                                "ExtCreateInstance", 0);
  if (StepFailure failed = SendCase(archive)) return failed;
  if (StepFailure failed = OpenWorkbook()) return failed;
  progress_.OfficeUp();
  return StepFailure::None();
}

// Refused before any office starts: what the driver would run without
// complaint and answer wrongly.
StepFailure Runner::CheckCase(const std::vector<std::uint8_t>& archive) {
  outcome::Expected<nlohmann::json> decoded = archive::CaseArchiveToJson(archive);
  if (!decoded)
    return StepFailure::Failed(scenario_.file.string() + ": case: " + decoded.GetError().Message());
  case_ = std::move(*decoded);
  const std::vector<std::string> problems = CaseItemProblems(case_);
  if (!problems.empty())
    return StepFailure::Failed(scenario_.file.string() + ": case: " + problems.front());
  for (const char* list : {"inputStreams", "outputStreams"}) {
    if (!case_.contains(list)) continue;
    for (std::size_t i = 0; i < case_[list].size(); ++i) {
      const nlohmann::json& stream = case_[list][i];
      if (Blank(stream, "sheetName")) continue;
      const std::string name = (list[0] == 'i' ? "In-" : "Out-") + std::to_string(i + 1);
      const std::string sheet = stream["sheetName"].get<std::string>();
      places_[name] = Place(sheet, StreamCells(stream));
      if (list[0] == 'o' && stream.contains("propertyCells") &&
          stream["propertyCells"].is_array()) {
        const nlohmann::json& cells = stream["propertyCells"];
        for (std::size_t row = 0; row < std::min(cells.size(), std::size(kOutputFields)); ++row)
          if (!Blank(cells[row], "cell"))
            boundOutputs_[name].push_back(
                {&kOutputFields[row], sheet + "!" + cells[row]["cell"].get<std::string>(), {}});
      }
    }
  }
  return StepFailure::None();
}

// The driver reads a model data file it cannot read as an empty one: the
// run goes on without published variables, which the user should hear.
void Runner::CheckModelData() {
  const outcome::Expected<std::vector<std::uint8_t>> bytes =
      ReadBoundedBytes(modelDataPath_, kModelDataFileLimit);
  std::string why = bytes ? std::string() : bytes.GetError().Message();
  if (bytes) {
    casedata::CExcclExportedVariable variables;
    const archive::ArchiveError failure = archive::ReadModelDataFile(
        modelDataPath_.c_str(), static_cast<std::uint32_t>(case_.value("version", 40)), variables);
    if (!failure) {
      for (std::size_t i = 0; i < variables.size(); ++i) {
        const casedata::CExcExportedVariable& v = *variables.At(i);
        places_[v.name] = Place(v.worksheet, std::vector<std::string>{v.cell});
      }
      return;
    }
    why = modelDataPath_ + ": " + failure.Message();
  }
  rec_.notes.push_back("the model data file cannot be read (" + why +
                       "); the driver reads it as empty, so no variables are published");
}

// AddPublishedVariable refuses a worksheet the workbook does not have;
// what it accepts is deleted again at once.
StepFailure Runner::SheetExists(const std::string& sheet, bool& exists) {
  Record add(EXT_ADD_PUBVAR_RECORD_MIN_SIZE);
  const std::string cell = "A1", name = "gridmoor-host sheet probe";
  add.Put<const char*>(EXT_ADD_PUBVAR_WORKSHEET_POINTER_OFFSET, sheet.c_str());
  add.Put<const char*>(EXT_ADD_PUBVAR_CELL_POINTER_OFFSET, cell.c_str());
  add.Put<const char*>(EXT_ADD_PUBVAR_NAME_POINTER_OFFSET, name.c_str());
  add.Put<std::int32_t>(EXT_ADD_PUBVAR_HANDLE_OFFSET, -1);
  if (StepFailure stop = StopWhenAsked()) return stop;
  // A refusal is the answer here, not a failure.
  exists = lib_.Call(EXT_CMD_ADD_PUBLISHED_VARIABLE, add.data(), 0).ok();
  const std::int32_t handle = add.Get<std::int32_t>(EXT_ADD_PUBVAR_HANDLE_OFFSET);
  if (!exists || handle < 0) return StepFailure::None();
  return Require(EXT_CMD_DEL_PUBLISHED_VARIABLE, nullptr, handle);
}

// The driver adds the sheet of an input stream when the workbook lacks it:
// the stream then writes into a new empty sheet that no formula reads.
StepFailure Runner::FindMissingSheets() {
  if (!case_.contains("inputStreams")) return StepFailure::None();
  for (std::size_t i = 0; i < case_["inputStreams"].size(); ++i) {
    const nlohmann::json& stream = case_["inputStreams"][i];
    if (Blank(stream, "sheetName") || StreamCells(stream).empty()) continue;
    const std::string sheet = stream["sheetName"].get<std::string>();
    bool exists = false;
    if (StepFailure failed = SheetExists(sheet, exists)) return failed;
    if (!exists) missingSheets_.emplace_back("In-" + std::to_string(i + 1), sheet);
  }
  return StepFailure::None();
}

// Said only when the first solve made the sheet: a sheet matched in
// another case was there all along.
StepFailure Runner::NoteAddedSheets() {
  for (const auto& [stream, sheet] : missingSheets_) {
    bool exists = false;
    if (StepFailure failed = SheetExists(sheet, exists)) return failed;
    if (!exists) continue;
    addedSheets_ = true;
    rec_.notes.push_back("input stream " + stream + ": the workbook had no sheet '" + sheet +
                         "'; the driver added it, so the stream writes into a new empty sheet "
                         "and the outputs read the workbook's own values");
  }
  missingSheets_.clear();
  return StepFailure::None();
}

// A format that holds one sheet keeps only the active one: saving into it
// would replace the user's rows with a sheet the driver added, or drop
// every other sheet of a workbook.
StepFailure Runner::CheckSaveKeepsSheets() {
  const std::filesystem::path target =
      options_.saveAs ? *options_.saveAs : std::filesystem::path(rec_.workbook);
  if (!IsOneSheetFormat(target)) return StepFailure::None();
  if (addedSheets_)
    return StepFailure::Failed(
        "saving " + target.string() +
        " is refused: the format holds one sheet, and the driver added a sheet to this "
        "workbook, which would replace its rows");
  if (options_.saveAs && !IsOneSheetFormat(rec_.workbook) && !options_.oneSheetWorkbook)
    return StepFailure::Failed(
        "saving " + target.string() +
        " is refused: the format holds one sheet and would drop the other sheets of " +
        rec_.workbook);
  return StepFailure::None();
}

// The components of `stream`, when compositions are on.
StepFailure Runner::LearnComponents(StreamInfo& stream) {
  Record list(EXT_COMPONENT_LIST_RECORD_MIN_SIZE);
  Outcome composition = Outcome::kOk;
  if (StepFailure failed =
          Require(EXT_CMD_GET_STREAM_COMPOSITION, list.data(),
                  static_cast<std::int32_t>(stream.handle), composition, stream.name))
    return failed;
  if (composition != Outcome::kOk) return StepFailure::None();
  const std::uint32_t n = std::min<std::uint32_t>(
      list.Get<std::uint32_t>(EXT_COMPONENT_LIST_COUNT_OFFSET), EXT_COMPONENT_LIST_MAX_COMPONENTS);
  for (std::uint32_t i = 0; i < n; ++i)
    stream.components.push_back(
        list.GetText(EXT_COMPONENT_LIST_NAMES_OFFSET + EXT_COMPONENT_LIST_NAME_SIZE * i,
                     EXT_COMPONENT_LIST_NAME_SIZE));
  return StepFailure::None();
}

StepFailure Runner::LearnStreams() {
  Record record(EXT_STREAM_RECORD_MIN_SIZE);
  record.Put<std::uint32_t>(EXT_STREAM_CURSOR_OFFSET, 0xFFFFFFFFu);
  for (;;) {
    Outcome listed = Outcome::kOk;
    if (StepFailure failed = Require(EXT_CMD_ENUM_STREAMS, record.data(), 0, listed)) return failed;
    if (listed == Outcome::kEnd) return StepFailure::None();
    StreamInfo stream;
    stream.handle = record.Get<std::uint32_t>(EXT_STREAM_CURSOR_OFFSET);
    stream.output = record.Get<std::uint32_t>(EXT_STREAM_KIND_OFFSET) == EXT_STREAM_KIND_OUTPUT;
    stream.name = record.GetText(EXT_STREAM_NAME_OFFSET, EXT_STREAM_NAME_SIZE);
    if (StepFailure failed = LearnComponents(stream)) return failed;
    (stream.output ? outputs_ : inputs_).push_back(rec_.streams.size());
    rec_.streams.push_back(std::move(stream));
    if (rec_.streams.size() > 10000) return StepFailure::Failed("EnumStreams does not end");
  }
}

namespace {

// The values an input stream's entry gives against the `n` components of
// the stream's composition.
StepFailure CheckComposition(const std::string& where, std::size_t n, const StreamState& state) {
  const bool any = !state.moleFractions.empty() || !state.interaction.empty() ||
                   std::any_of(state.properties.begin(), state.properties.end(),
                               [](const auto& v) { return !v.empty(); });
  if (any && n == 0)
    return StepFailure::Failed(where + ": the stream carries no composition in the case");
  if (!state.moleFractions.empty() && state.moleFractions.size() != n)
    return StepFailure::Failed(
        where + ": moleFractions has " + std::to_string(state.moleFractions.size()) +
        " entries, the stream's composition " + std::to_string(n) + " components");
  for (std::size_t p = 0; p < kComponentProperties.size(); ++p)
    if (!state.properties[p].empty() && state.properties[p].size() != n)
      return StepFailure::Failed(where + ": " + kComponentProperties[p].key + " has " +
                                 std::to_string(state.properties[p].size()) +
                                 " entries, expected " + std::to_string(n));
  if (!state.interaction.empty() && state.interaction.size() != n)
    return StepFailure::Failed(where + ": interaction must have " + std::to_string(n) + " rows");
  for (const auto& row : state.interaction)
    if (row.size() != n)
      return StepFailure::Failed(where + ": each interaction row must have " + std::to_string(n) +
                                 " entries");
  return StepFailure::None();
}

}  // namespace

StepFailure Runner::CheckInputs() {
  for (const auto& [name, series] : scenario_.inputs) {
    bool known = false;
    for (std::size_t i : inputs_)
      known = known || rec_.streams[i].name == name;
    if (!known)
      return StepFailure::Failed("inputs." + name + ": the case has no input stream of that name");
  }
  for (std::size_t i : inputs_) {
    const StreamInfo& stream = rec_.streams[i];
    const auto found = scenario_.inputs.find(stream.name);
    if (found == scenario_.inputs.end() || InputAt(found->second, 0) == nullptr)
      return StepFailure::Failed("inputs: no values for input stream " + stream.name +
                                 " at timestep 0");
    for (const auto& [t, state] : found->second) {
      const std::string where = "inputs." + stream.name + " at timestep " + std::to_string(t);
      if (StepFailure failed = CheckComposition(where, stream.components.size(), state))
        return failed;
    }
  }
  return StepFailure::None();
}

StepFailure Runner::LearnProblem() {
  Record problem(EXT_OPT_PROBLEM_RECORD_SIZE);
  // -1: no dialog
  if (StepFailure failed = Require(EXT_CMD_SETUP_OPTIMISATION, problem.data(), -1)) return failed;
  rec_.problem = DecodeProblem(problem);
  rec_.optimising = rec_.problem.HasOptimisation() && scenario_.optimisation.enabled;
  if (rec_.problem.HasOptimisation() && !scenario_.optimisation.enabled)
    rec_.notes.push_back("optimisation switched off by the scenario");
  if (!rec_.optimising) return StepFailure::None();
  const Method method = ChooseMethod(rec_.problem, scenario_.optimisation);
  if (method == Method::kBobyqa && !rec_.problem.constraints.empty())
    return StepFailure::Failed(
        "optimisation.method: BOBYQA cannot honour the case's constraints; use \"cobyla\"");
  rec_.method = method == Method::kBobyqa ? "bobyqa" : "cobyla";
  if (rec_.problem.intControls.empty()) return StepFailure::None();
  Record list(EXT_INT_CONTROL_LIST_RECORD_MIN_SIZE);
  list.Put<std::int32_t>(EXT_INT_CONTROL_LIST_COUNT_OFFSET,
                         static_cast<std::int32_t>(rec_.problem.intControls.size()));
  for (std::size_t i = 0; i < rec_.problem.intControls.size(); ++i)
    list.Put<std::int32_t>(EXT_INT_CONTROL_LIST_HANDLES_OFFSET + 4 * i,
                           rec_.problem.intControls[i].handle);
  return Require(EXT_CMD_CHECK_INTEGER_CONTROLS, list.data(), 0);
}

}  // namespace refhost
