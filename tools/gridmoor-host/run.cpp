#include "run.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <stdexcept>

#include "archive/archive_error.h"
#include "archive/case_json.h"
#include "archive/model_data_file.h"
#include "case_check.h"
#include "csv.h"
#include "files.h"
#include "interrupt.h"
#include "progress.h"

namespace refhost {
namespace {

// A request that failed: the run stops here.
struct HostFailure : std::runtime_error {
  HostFailure(std::string message, std::string command, int code)
      : std::runtime_error(std::move(message)), command(std::move(command)), code(code) {}
  std::string command;
  int code;
};

// A signal asked the run to stop.
struct Interrupted : HostFailure {
  explicit Interrupted(int signal)
      : HostFailure("interrupted by " + SignalName(signal), "", 0), signal(signal) {}
  int signal;
};

[[noreturn]] void Fail(const std::string& message) {
  throw HostFailure(message, "", 0);
}

void StopWhenAsked() {
  if (const int signal = InterruptSignal(); signal != 0) {
    InterruptTaken();
    throw Interrupted(signal);
  }
}

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
void CheckWorkbookFile(const std::string& path) {
  std::error_code error;
  if (std::filesystem::is_directory(path, error))
    Fail("the workbook " + path + " is a folder, not a file");
  if (!std::filesystem::is_regular_file(path, error)) Fail("workbook not found: " + path);
}

// Text formats keep only one sheet.
bool IsOneSheetFormat(const std::filesystem::path& file) {
  const std::string extension = LowerExtension(file);
  return extension == ".csv" || extension == ".tsv" || extension == ".txt" || extension == ".prn";
}

// The record fields an output stream's property cells fill, in the order of
// its "propertyCells", with the words a note uses for them.
struct OutputField {
  const char* words;
  std::size_t offset;
};
constexpr OutputField kOutputFields[] = {
    {"oil rate", EXT_IPR_OIL_RATE_OFFSET},           {"water rate", EXT_IPR_WATER_RATE_OFFSET},
    {"gas rate", EXT_IPR_GAS_RATE_OFFSET},           {"pressure", EXT_IPR_PRESSURE_OFFSET},
    {"temperature", EXT_IPR_TEMPERATURE_OFFSET},     {"oil gravity", EXT_IPR_OIL_GRAVITY_OFFSET},
    {"water gravity", EXT_IPR_WATER_GRAVITY_OFFSET}, {"gas gravity", EXT_IPR_GAS_GRAVITY_OFFSET}};

// "0-2, 5": timesteps as runs.
std::string TimestepRuns(const std::set<int>& steps) {
  std::string text;
  for (auto at = steps.begin(); at != steps.end();) {
    const int first = *at;
    int last = first;
    while (++at != steps.end() && *at == last + 1)
      ++last;
    if (!text.empty()) text += ", ";
    text += std::to_string(first) + (last > first ? "-" + std::to_string(last) : "");
  }
  return text;
}

class Runner {
 public:
  Runner(Library& library, const Scenario& scenario, const RunOptions& options, RunRecord& record)
      : lib_(library),
        scenario_(scenario),
        options_(options),
        rec_(record),
        progress_(options.progress, scenario.timesteps) {}

  void Run();
  void Cleanup();
  // One note per output field whose cell was empty at some solve.
  void NoteEmptyOutputs();
  int timestep = -1;

 private:
  Reply Require(std::int32_t code, void* arg, std::int32_t iarg, const std::string& what = "");
  void Prepare();
  void LearnStreams();
  void CheckInputs();
  void LearnProblem();
  std::vector<StreamState> Solve(int t);
  void Timestep(int t, double date);
  void Optimise(int t, double date, TimestepResult& result);
  Evaluation ReadObjective();
  void SetPoint(const TrialPoint& point);
  void Published(int t, double date);
  void RecordSolve(int t, double date, const std::vector<StreamState>& outputs);
  void CheckCase(const std::vector<std::uint8_t>& archive);
  void CheckModelData();
  bool SheetExists(const std::string& sheet);
  void FindMissingSheets();
  void NoteAddedSheets();
  void CheckSaveKeepsSheets();
  std::string Where(const std::string& name) const;

  Library& lib_;
  const Scenario& scenario_;
  const RunOptions& options_;
  RunRecord& rec_;
  Progress progress_;
  std::string modelDataPath_;                  // SetModelDataFile keeps the pointer, not a copy
  std::vector<std::size_t> inputs_, outputs_;  // indexes into rec_.streams
  bool runStarted_ = false, runEnded_ = false, appStarted_ = false;
  int solvesThisStep_ = 0;
  nlohmann::json case_;                        // the case as the driver reads it
  std::map<std::string, std::string> places_;  // stream or variable name -> Place()
  std::vector<std::pair<std::string, std::string>> missingSheets_;  // stream, sheet
  bool addedSheets_ = false;  // the driver added a sheet the workbook lacked
  // A bound output cell and the timesteps at which it was empty: the driver
  // leaves such a value missing, which the run's table alone does not say.
  struct BoundOutput {
    const OutputField* field;
    std::string cell;  // "Outputs!B4"
    std::set<int> emptyAt;
  };
  std::map<std::string, std::vector<BoundOutput>> boundOutputs_;  // by output stream name
};

std::string Runner::Where(const std::string& name) const {
  const auto found = places_.find(name);
  return found != places_.end() ? name + found->second : name;
}

Reply Runner::Require(std::int32_t code, void* arg, std::int32_t iarg, const std::string& what) {
  StopWhenAsked();
  Reply reply = lib_.Call(code, arg, iarg);
  if (!reply.ok()) {
    std::string message = std::string(CommandName(code)) + " (code " + std::to_string(code) + ")";
    if (!what.empty()) message += " for " + Where(what);
    message += " failed with result " + std::to_string(reply.result);
    if (!reply.text.empty()) message += ": " + reply.text;
    throw HostFailure(message, CommandName(code), code);
  }
  return reply;
}

void Runner::Prepare() {
  std::vector<unsigned char> identify(EXT_IDENTIFY_RECORD_MIN_SIZE, 0);
  const std::uint32_t version = EXT_INTERFACE_VERSION;
  std::memcpy(identify.data(), &version, sizeof version);
  Reply reply = lib_.Identify(identify);
  if (!reply.ok()) throw HostFailure("ExtIdentify failed: " + reply.text, "ExtIdentify", 0);
  rec_.driverName.assign(
      reinterpret_cast<const char*>(identify.data() + EXT_IDENTIFY_NAME_OFFSET),
      strnlen(reinterpret_cast<const char*>(identify.data() + EXT_IDENTIFY_NAME_OFFSET),
              EXT_IDENTIFY_NAME_SIZE));

  // The case before the instance: a case that cannot be had costs no office.
  std::vector<std::uint8_t> archive;
  std::string error;
  if (!CaseArchiveBytes(scenario_, archive, error)) Fail(scenario_.file.string() + ": " + error);
  if (archive.size() > EXT_CASE_DATA_ARCHIVE_CAPACITY)
    Fail("the case archive has " + std::to_string(archive.size()) + " bytes; the record holds " +
         std::to_string(EXT_CASE_DATA_ARCHIVE_CAPACITY));
  CheckCase(archive);
  if (scenario_.workbook) {
    // Never cut: a cut path names another file, which the run would open and save.
    const std::string path = scenario_.workbook->string();
    if (path.size() >= EXT_FILE_NAME_TEXT_SIZE)
      Fail("the workbook path has " + std::to_string(path.size()) +
           " bytes; the driver's file-name field holds at most " +
           std::to_string(EXT_FILE_NAME_TEXT_SIZE - 1) + ": " + path);
    CheckWorkbookFile(path);
  }

  if (scenario_.modelDataFile) {
    modelDataPath_ = scenario_.modelDataFile->string();
    CheckModelData();
  } else {
    std::filesystem::path scratch;
    if (!lib_.ScratchFile("model-data.gmd", scratch, error)) Fail(error);
    modelDataPath_ = scratch.string();
    if (scenario_.publishedVariables) {
      for (const nlohmann::json& v : *scenario_.publishedVariables)
        if (v.is_object() && v.contains("name") && v["name"].is_string() && !Blank(v, "worksheet"))
          places_[v["name"].get<std::string>()] =
              Place(v["worksheet"].get<std::string>(),
                    Blank(v, "cell") ? std::vector<std::string>{}
                                     : std::vector<std::string>{v["cell"].get<std::string>()});
      std::vector<std::uint8_t> bytes;
      if (!archive::ModelDataFromJson(*scenario_.publishedVariables, bytes, error))
        Fail("publishedVariables: " + error);
      std::ofstream out(modelDataPath_, std::ios::binary);
      out.write(reinterpret_cast<const char*>(bytes.data()),
                static_cast<std::streamsize>(bytes.size()));
      if (!out) Fail("cannot write " + modelDataPath_);
    }
  }

  StopWhenAsked();
  reply = lib_.CreateInstance();
  if (!reply.ok()) throw HostFailure(reply.text, "ExtCreateInstance", 0);

  Require(EXT_CMD_SET_MODEL_DATA_FILE, modelDataPath_.data(), 0);
  Record caseRecord(EXT_CASE_DATA_RECORD_SIZE);
  std::memcpy(caseRecord.data() + EXT_CASE_DATA_ARCHIVE_OFFSET, archive.data(), archive.size());
  caseRecord.Put<std::uint32_t>(EXT_CASE_DATA_ARCHIVE_SIZE_OFFSET,
                                static_cast<std::uint32_t>(archive.size()));
  const std::string modelFile = scenario_.file.string();
  caseRecord.Put<const char*>(EXT_CASE_DATA_MODEL_PATH_OFFSET, modelFile.c_str());
  // The scenario names the workbook itself: never look for it elsewhere.
  caseRecord.Put<std::uint32_t>(EXT_CASE_DATA_NO_RELOCATION_OFFSET, 1);
  Require(EXT_CMD_READ_CASE_DATA, caseRecord.data(), 0);
  Require(EXT_CMD_READ_MODEL_DATA, nullptr, 0);

  if (scenario_.workbook) {
    Record name(EXT_FILE_NAME_RECORD_MIN_SIZE);
    name.PutText(EXT_FILE_NAME_TEXT_OFFSET, EXT_FILE_NAME_TEXT_SIZE, scenario_.workbook->string());
    Require(EXT_CMD_SET_FILE_NAME, name.data(), 0);
  }
  // The workbook the case names: an office would make a new empty one for a
  // file that does not exist, which is never what a run wants.
  char label[EXT_FILE_NAME_TEXT_SIZE + 1] = {};
  Require(EXT_CMD_GET_FILE_LABEL, label, EXT_FILE_NAME_TEXT_SIZE);
  rec_.workbook = label;
  if (rec_.workbook.empty() || rec_.workbook == "<No file>") Fail("the case names no workbook");
  CheckWorkbookFile(rec_.workbook);

  if (lib_.Direct()) {
    Require(EXT_CMD_OPEN_CASE_WORKBOOK, nullptr, 0);
  } else {
    StopWhenAsked();
    reply = lib_.StartApp();
    if (!reply.ok()) throw HostFailure("ExtStartApp failed: " + reply.text, "ExtStartApp", 0);
  }
  appStarted_ = true;
}

// Refused before any office starts: what the driver would run without
// complaint and answer wrongly.
void Runner::CheckCase(const std::vector<std::uint8_t>& archive) {
  std::string error;
  if (!archive::CaseArchiveToJson(archive, case_, error))
    Fail(scenario_.file.string() + ": case: " + error);
  const std::vector<std::string> problems = CaseItemProblems(case_);
  if (!problems.empty()) Fail(scenario_.file.string() + ": case: " + problems.front());
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
}

// The driver reads a model data file it cannot read as an empty one: the
// run goes on without published variables, which the user should hear.
void Runner::CheckModelData() {
  std::vector<std::uint8_t> bytes;
  std::string why;
  if (ReadBounded(modelDataPath_, kModelDataFileLimit, bytes, why)) {
    optimisation::CExcclExportedVariable variables;
    try {
      archive::ReadModelDataFile(modelDataPath_.c_str(),
                                 static_cast<std::uint32_t>(case_.value("version", 40)), variables);
      for (std::size_t i = 0; i < variables.size(); ++i) {
        const optimisation::CExcExportedVariable& v = *variables.At(i);
        places_[v.name] = Place(v.worksheet, std::vector<std::string>{v.cell});
      }
      return;
    } catch (const archive::ArchiveError& e) {
      why = modelDataPath_ + ": " + e.what();
    }
  }
  rec_.notes.push_back("the model data file cannot be read (" + why +
                       "); the driver reads it as empty, so no variables are published");
}

// AddPublishedVariable refuses a worksheet the workbook does not have;
// what it accepts is deleted again at once.
bool Runner::SheetExists(const std::string& sheet) {
  Record add(EXT_ADD_PUBVAR_RECORD_MIN_SIZE);
  const std::string cell = "A1", name = "gridmoor-host sheet probe";
  add.Put<const char*>(EXT_ADD_PUBVAR_WORKSHEET_POINTER_OFFSET, sheet.c_str());
  add.Put<const char*>(EXT_ADD_PUBVAR_CELL_POINTER_OFFSET, cell.c_str());
  add.Put<const char*>(EXT_ADD_PUBVAR_NAME_POINTER_OFFSET, name.c_str());
  add.Put<std::int32_t>(EXT_ADD_PUBVAR_HANDLE_OFFSET, -1);
  StopWhenAsked();
  if (!lib_.Call(EXT_CMD_ADD_PUBLISHED_VARIABLE, add.data(), 0).ok()) return false;
  const std::int32_t handle = add.Get<std::int32_t>(EXT_ADD_PUBVAR_HANDLE_OFFSET);
  if (handle >= 0) Require(EXT_CMD_DEL_PUBLISHED_VARIABLE, nullptr, handle);
  return true;
}

// The driver adds the sheet of an input stream when the workbook lacks it:
// the stream then writes into a new empty sheet that no formula reads.
void Runner::FindMissingSheets() {
  if (!case_.contains("inputStreams")) return;
  for (std::size_t i = 0; i < case_["inputStreams"].size(); ++i) {
    const nlohmann::json& stream = case_["inputStreams"][i];
    if (Blank(stream, "sheetName") || StreamCells(stream).empty()) continue;
    const std::string sheet = stream["sheetName"].get<std::string>();
    if (!SheetExists(sheet)) missingSheets_.emplace_back("In-" + std::to_string(i + 1), sheet);
  }
}

// Said only when the first solve made the sheet: a sheet matched in
// another case was there all along.
void Runner::NoteAddedSheets() {
  for (const auto& [stream, sheet] : missingSheets_) {
    if (!SheetExists(sheet)) continue;
    addedSheets_ = true;
    rec_.notes.push_back("input stream " + stream + ": the workbook had no sheet '" + sheet +
                         "'; the driver added it, so the stream writes into a new empty sheet "
                         "and the outputs read the workbook's own values");
  }
  missingSheets_.clear();
}

// A format that holds one sheet keeps only the active one: saving into it
// would replace the user's rows with a sheet the driver added, or drop
// every other sheet of a workbook.
void Runner::CheckSaveKeepsSheets() {
  const std::filesystem::path target =
      options_.saveAs ? *options_.saveAs : std::filesystem::path(rec_.workbook);
  if (!IsOneSheetFormat(target)) return;
  if (addedSheets_)
    Fail("saving " + target.string() +
         " is refused: the format holds one sheet, and the driver added a sheet to this "
         "workbook, which would replace its rows");
  if (options_.saveAs && !IsOneSheetFormat(rec_.workbook))
    Fail("saving " + target.string() +
         " is refused: the format holds one sheet and would drop the other sheets of " +
         rec_.workbook);
}

void Runner::LearnStreams() {
  Record record(EXT_STREAM_RECORD_MIN_SIZE);
  record.Put<std::uint32_t>(EXT_STREAM_CURSOR_OFFSET, 0xFFFFFFFFu);
  for (;;) {
    const Reply reply = Require(EXT_CMD_ENUM_STREAMS, record.data(), 0);
    if (reply.outcome == Outcome::kEnd) break;
    StreamInfo stream;
    stream.handle = record.Get<std::uint32_t>(EXT_STREAM_CURSOR_OFFSET);
    stream.output = record.Get<std::uint32_t>(EXT_STREAM_KIND_OFFSET) == EXT_STREAM_KIND_OUTPUT;
    stream.name = record.GetText(EXT_STREAM_NAME_OFFSET, EXT_STREAM_NAME_SIZE);
    Record list(EXT_COMPONENT_LIST_RECORD_MIN_SIZE);
    const Reply comp = Require(EXT_CMD_GET_STREAM_COMPOSITION, list.data(),
                               static_cast<std::int32_t>(stream.handle), stream.name);
    if (comp.outcome == Outcome::kOk) {
      const std::uint32_t n =
          std::min<std::uint32_t>(list.Get<std::uint32_t>(EXT_COMPONENT_LIST_COUNT_OFFSET),
                                  EXT_COMPONENT_LIST_MAX_COMPONENTS);
      for (std::uint32_t i = 0; i < n; ++i)
        stream.components.push_back(
            list.GetText(EXT_COMPONENT_LIST_NAMES_OFFSET + EXT_COMPONENT_LIST_NAME_SIZE * i,
                         EXT_COMPONENT_LIST_NAME_SIZE));
    }
    (stream.output ? outputs_ : inputs_).push_back(rec_.streams.size());
    rec_.streams.push_back(std::move(stream));
    if (rec_.streams.size() > 10000) Fail("EnumStreams does not end");
  }
}

void Runner::CheckInputs() {
  for (const auto& [name, series] : scenario_.inputs) {
    bool known = false;
    for (std::size_t i : inputs_)
      known = known || rec_.streams[i].name == name;
    if (!known) Fail("inputs." + name + ": the case has no input stream of that name");
  }
  for (std::size_t i : inputs_) {
    const StreamInfo& stream = rec_.streams[i];
    const auto found = scenario_.inputs.find(stream.name);
    if (found == scenario_.inputs.end() || InputAt(found->second, 0) == nullptr)
      Fail("inputs: no values for input stream " + stream.name + " at timestep 0");
    for (const auto& [t, state] : found->second) {
      const std::string where = "inputs." + stream.name + " at timestep " + std::to_string(t);
      const std::size_t n = stream.components.size();
      const bool any = !state.moleFractions.empty() || !state.interaction.empty() ||
                       std::any_of(state.properties.begin(), state.properties.end(),
                                   [](const auto& v) { return !v.empty(); });
      if (any && n == 0) Fail(where + ": the stream carries no composition in the case");
      if (!state.moleFractions.empty() && state.moleFractions.size() != n)
        Fail(where + ": moleFractions has " + std::to_string(state.moleFractions.size()) +
             " entries, the stream's composition " + std::to_string(n) + " components");
      for (std::size_t p = 0; p < kComponentProperties.size(); ++p)
        if (!state.properties[p].empty() && state.properties[p].size() != n)
          Fail(where + ": " + kComponentProperties[p].key + " has " +
               std::to_string(state.properties[p].size()) + " entries, expected " +
               std::to_string(n));
      if (!state.interaction.empty() && state.interaction.size() != n)
        Fail(where + ": interaction must have " + std::to_string(n) + " rows");
      for (const auto& row : state.interaction)
        if (row.size() != n)
          Fail(where + ": each interaction row must have " + std::to_string(n) + " entries");
    }
  }
}

void Runner::LearnProblem() {
  Record problem(EXT_OPT_PROBLEM_RECORD_SIZE);
  Require(EXT_CMD_SETUP_OPTIMISATION, problem.data(), -1);  // -1: no dialog
  rec_.problem = DecodeProblem(problem);
  rec_.optimising = rec_.problem.HasOptimisation() && scenario_.optimisation.enabled;
  if (rec_.problem.HasOptimisation() && !scenario_.optimisation.enabled)
    rec_.notes.push_back("optimisation switched off by the scenario");
  if (!rec_.optimising) return;
  const Method method = ChooseMethod(rec_.problem, scenario_.optimisation);
  if (method == Method::kBobyqa && !rec_.problem.constraints.empty())
    Fail("optimisation.method: BOBYQA cannot honour the case's constraints; use \"cobyla\"");
  rec_.method = method == Method::kBobyqa ? "bobyqa" : "cobyla";
  if (!rec_.problem.intControls.empty()) {
    Record list(EXT_INT_CONTROL_LIST_RECORD_MIN_SIZE);
    list.Put<std::int32_t>(EXT_INT_CONTROL_LIST_COUNT_OFFSET,
                           static_cast<std::int32_t>(rec_.problem.intControls.size()));
    for (std::size_t i = 0; i < rec_.problem.intControls.size(); ++i)
      list.Put<std::int32_t>(EXT_INT_CONTROL_LIST_HANDLES_OFFSET + 4 * i,
                             rec_.problem.intControls[i].handle);
    Require(EXT_CMD_CHECK_INTEGER_CONTROLS, list.data(), 0);
  }
}

std::vector<StreamState> Runner::Solve(int t) {
  ++solvesThisStep_;
  Require(EXT_CMD_PRE_SOLVE, nullptr, 0);
  for (std::size_t i : inputs_) {
    const StreamInfo& stream = rec_.streams[i];
    const StreamState* state = InputAt(scenario_.inputs.at(stream.name), t);
    Record record = EncodeIpr(stream.handle, *state, stream.components.size());
    Require(EXT_CMD_SET_IPR, record.data(), 0, stream.name);
  }
  std::vector<StreamState> outputs;
  for (std::size_t i : outputs_) {
    Record record = NewIprRecord(rec_.streams[i].handle);
    Require(EXT_CMD_GET_IPR, record.data(), 0, rec_.streams[i].name);
    if (const auto bound = boundOutputs_.find(rec_.streams[i].name); bound != boundOutputs_.end()) {
      for (BoundOutput& output : bound->second)
        if (IsUndefined(record.Get<double>(output.field->offset))) output.emptyAt.insert(t);
    }
    outputs.push_back(DecodeIpr(record));
  }
  Require(EXT_CMD_POST_SOLVE_2, nullptr, 0);
  Require(EXT_CMD_POST_SOLVE, nullptr, 0);
  return outputs;
}

void Runner::RecordSolve(int t, double date, const std::vector<StreamState>& outputs) {
  for (std::size_t i : inputs_)
    rec_.streamSamples.push_back(
        {t, date, i, SentInput(*InputAt(scenario_.inputs.at(rec_.streams[i].name), t))});
  for (std::size_t k = 0; k < outputs_.size(); ++k)
    rec_.streamSamples.push_back({t, date, outputs_[k], outputs[k]});
}

Evaluation Runner::ReadObjective() {
  Evaluation value;
  Record record(EXT_OPT_VALUE_RECORD_MIN_SIZE);
  Require(EXT_CMD_GET_OBJECTIVE_FUNCTION, record.data(), 0, rec_.problem.objectiveName);
  value.objective = record.Get<double>(EXT_OPT_VALUE_VALUE_OFFSET);
  for (const ConstraintInfo& c : rec_.problem.constraints) {
    Record r(EXT_OPT_VALUE_RECORD_MIN_SIZE);
    r.Put<std::int32_t>(EXT_OPT_VALUE_HANDLE_OFFSET, c.handle);
    Require(EXT_CMD_GET_CONSTRAINTS, r.data(), 0, c.name);
    value.constraints.push_back(r.Get<double>(EXT_OPT_VALUE_VALUE_OFFSET));
  }
  return value;
}

void Runner::SetPoint(const TrialPoint& point) {
  for (std::size_t i = 0; i < rec_.problem.controls.size(); ++i) {
    Record r(EXT_OPT_VALUE_RECORD_MIN_SIZE);
    r.Put<std::int32_t>(EXT_OPT_VALUE_HANDLE_OFFSET, rec_.problem.controls[i].handle);
    r.Put<double>(EXT_OPT_VALUE_VALUE_OFFSET, point.controls[i]);
    Require(EXT_CMD_SET_CONTROLS, r.data(), 0, rec_.problem.controls[i].name);
  }
  for (std::size_t i = 0; i < rec_.problem.intControls.size(); ++i) {
    Record r(EXT_OPT_VALUE_RECORD_MIN_SIZE);
    r.Put<std::int32_t>(EXT_OPT_VALUE_HANDLE_OFFSET, rec_.problem.intControls[i].handle);
    r.Put<double>(EXT_OPT_VALUE_VALUE_OFFSET, point.states[i]);
    Require(EXT_CMD_SET_CONTROLS, r.data(), 1, rec_.problem.intControls[i].name);
  }
}

void Runner::Optimise(int t, double date, TimestepResult& result) {
  // Start where the workbook stands.
  TrialPoint start;
  for (const ControlInfo& c : rec_.problem.controls) {
    Record r(EXT_OPT_VALUE_RECORD_MIN_SIZE);
    r.Put<std::int32_t>(EXT_OPT_VALUE_HANDLE_OFFSET, c.handle);
    Require(EXT_CMD_GET_CONTROLS, r.data(), 0, c.name);
    double value = r.Get<double>(EXT_OPT_VALUE_VALUE_OFFSET);
    if (IsUndefined(value) || std::isnan(value)) value = c.lower.present ? c.lower.value : 0.0;
    start.controls.push_back(value);
  }
  for (const IntControlInfo& c : rec_.problem.intControls) {
    Record r(EXT_OPT_VALUE_RECORD_MIN_SIZE);
    r.Put<std::int32_t>(EXT_OPT_VALUE_HANDLE_OFFSET, c.handle);
    Require(EXT_CMD_GET_CONTROLS, r.data(), 1, c.name);
    const double state = r.Get<double>(EXT_OPT_VALUE_VALUE_OFFSET);
    start.states.push_back(
        state >= 0 && state < static_cast<double>(c.labels.size()) ? static_cast<int>(state) : 0);
  }
  const Evaluator evaluate = [&](const TrialPoint& point) {
    SetPoint(point);
    (void)Solve(t);
    return ReadObjective();
  };
  const TrialSink sink = [&](const Trial& trial) {
    rec_.trials.push_back({t, date, trial, false});
    progress_.Trial(t, trial.number);
  };
  result.optimum = refhost::Optimise(rec_.problem, scenario_.optimisation, start, evaluate, sink);
  result.optimised = true;
  if (!result.optimum.note.empty())
    rec_.notes.push_back("timestep " + std::to_string(t) + ": " + result.optimum.note);

  // The best point once more, so the workbook and the streams show it.
  SetPoint(result.optimum.point);
  const std::vector<StreamState> outputs = Solve(t);
  Trial final;
  final.point = result.optimum.point;
  final.value = ReadObjective();
  final.feasible = Violation(rec_.problem, final.value) == 0;
  final.number = result.optimum.evaluations + 1;
  rec_.trials.push_back({t, date, final, true});
  result.optimum.value = final.value;
  result.optimum.feasible = final.feasible;
  RecordSolve(t, date, outputs);
}

void Runner::Published(int t, double date) {
  Record record(EXT_PUBVAR_RECORD_MIN_SIZE);
  record.Put<std::int32_t>(EXT_PUBVAR_HANDLE_OFFSET, -1);
  for (int guard = 0; guard < 100000; ++guard) {
    if (Require(EXT_CMD_GET_NEXT_PUBLISHED_VARIABLE, record.data(), 0).outcome == Outcome::kEnd)
      return;
    const std::int32_t handle = record.Get<std::int32_t>(EXT_PUBVAR_HANDLE_OFFSET);
    PublishedSample sample{t, date, record.GetText(EXT_PUBVAR_TEXT_OFFSET, EXT_PUBVAR_TEXT_SIZE),
                           record.GetText(EXT_PUBVAR_UNIT_OFFSET, EXT_PUBVAR_UNIT_SIZE), ""};
    Record get(EXT_PUBVAR_RECORD_MIN_SIZE);
    get.Put<std::int32_t>(EXT_PUBVAR_HANDLE_OFFSET, handle);
    get.Put<std::uint8_t>(EXT_PUBVAR_FLAG_OFFSET, 0);
    const Reply reply = Require(EXT_CMD_EVAL_PUBLISHED_VARIABLES, get.data(), 0, sample.name);
    if (reply.outcome == Outcome::kBlock) {
      Record block(EXT_PUBVAR2_RECORD_MIN_SIZE);
      block.Put<std::int32_t>(EXT_PUBVAR2_HANDLE_OFFSET, handle);
      block.Put<std::uint8_t>(EXT_PUBVAR2_FLAG_OFFSET, 0);
      Require(EXT_CMD_EVAL_PUBLISHED_VARIABLES_2, block.data(), 0, sample.name);
      const char* text = block.Get<const char*>(EXT_PUBVAR2_TEXT_POINTER_OFFSET);
      sample.value = text != nullptr ? text : "";
    } else {
      sample.value = get.GetText(EXT_PUBVAR_TEXT_OFFSET, EXT_PUBVAR_TEXT_SIZE);
    }
    rec_.published.push_back(std::move(sample));
  }
  Fail("GetNextPublishedVariable does not end");
}

void Runner::Timestep(int t, double date) {
  TimestepResult result;
  result.timestep = t;
  result.date = date;
  solvesThisStep_ = 0;
  Record dateRecord(EXT_DATE_RECORD_MIN_SIZE);
  // The driver adds the day back.
  dateRecord.Put<double>(EXT_DATE_RECORD_DATE_OFFSET, date - 1.0);
  Require(EXT_CMD_SET_DATE, dateRecord.data(), 0);
  Require(EXT_CMD_START_OF_TIMESTEP, nullptr, 0);
  if (rec_.optimising) {
    Optimise(t, date, result);
  } else {
    const std::vector<StreamState> outputs = Solve(t);
    RecordSolve(t, date, outputs);
    if (rec_.problem.objectiveDefined) {
      result.optimised = true;
      result.optimum.value = ReadObjective();
      result.optimum.feasible = Violation(rec_.problem, result.optimum.value) == 0;
      result.optimum.method = "none";
    }
  }
  Published(t, date);
  Record event(EXT_NEXT_EVENT_RECORD_MIN_SIZE);
  if (Require(EXT_CMD_GET_NEXT_EVENT, event.data(), 0).outcome == Outcome::kOk)
    result.nextEvent = event.Get<double>(EXT_NEXT_EVENT_TIME_OFFSET);
  Require(EXT_CMD_END_OF_TIMESTEP, nullptr, 0);
  Require(EXT_CMD_NEXT_TIMESTEP, nullptr, 0);
  rec_.results.push_back(result);
}

void Runner::Run() {
  Prepare();
  FindMissingSheets();
  LearnStreams();
  CheckInputs();
  LearnProblem();
  double date = scenario_.startDate;
  Record dateRecord(EXT_DATE_RECORD_MIN_SIZE);
  dateRecord.Put<double>(EXT_DATE_RECORD_DATE_OFFSET, date - 1.0);
  Require(EXT_CMD_SET_DATE, dateRecord.data(), 0);
  Require(EXT_CMD_START_OF_RUN, nullptr, 0);
  runStarted_ = true;
  for (int t = 0; t < scenario_.timesteps; ++t) {
    timestep = t;
    Timestep(t, date);
    if (t == 0) NoteAddedSheets();
    TimestepResult& result = rec_.results.back();
    if (result.nextEvent) {
      if (*result.nextEvent > date) {
        const double next = date + scenario_.stepDays;
        result.eventActed = *result.nextEvent < next && t + 1 < scenario_.timesteps;
        rec_.notes.push_back("timestep " + std::to_string(t) +
                             ": the workbook asks for an event on " +
                             FormatIsoDate(*result.nextEvent) +
                             (result.eventActed ? "; the next timestep starts then" : ""));
      } else {
        rec_.notes.push_back("timestep " + std::to_string(t) + ": next event " +
                             FormatNumber(*result.nextEvent) +
                             " is not ahead of the current date; ignored");
      }
    }
    progress_.Done(t, date, rec_);
    date = PlannedNextDate(date, scenario_.stepDays,
                           result.eventActed ? result.nextEvent : std::nullopt);
  }
  timestep = -1;
  runEnded_ = true;
  Require(EXT_CMD_END_OF_RUN, nullptr, 0);
  if (options_.save) {
    CheckSaveKeepsSheets();
    std::string name = options_.saveAs ? options_.saveAs->string() : std::string();
    Require(EXT_CMD_SAVE_CASE_WORKBOOK, name.empty() ? nullptr : name.data(), 0);
  }
  // An office that ended while the workbook was closed fails the run too:
  // the library's last word on it is the stop (threaded) or the destroy
  // (direct mode).
  appStarted_ = false;
  const Reply stopped = lib_.StopApp();
  if (!stopped.ok())
    throw HostFailure("ExtStopApp failed with result " + std::to_string(stopped.result) +
                          ": the workbook could not be closed (the office has ended)",
                      "ExtStopApp", 0);
  const Reply destroyed = lib_.DestroyInstance();
  if (!destroyed.ok())
    throw HostFailure("ExtDestroyInstance failed with result " + std::to_string(destroyed.result) +
                          ": " + destroyed.text,
                      "ExtDestroyInstance", 0);
}

void Runner::NoteEmptyOutputs() {
  for (const auto& [stream, outputs] : boundOutputs_)
    for (const BoundOutput& output : outputs)
      if (!output.emptyAt.empty())
        rec_.notes.push_back("output stream " + stream + ": " + output.field->words + " cell " +
                             output.cell + " was empty at timestep" +
                             (output.emptyAt.size() > 1 ? "s " : " ") +
                             TimestepRuns(output.emptyAt));
}

void Runner::Cleanup() {
  progress_.Finish();
  if (runStarted_ && !runEnded_) (void)lib_.Call(EXT_CMD_END_OF_RUN);
  if (lib_.HasInstance()) {
    if (appStarted_) (void)lib_.StopApp();
    (void)lib_.DestroyInstance();
  }
}

}  // namespace

double PlannedNextDate(double current, double stepDays, std::optional<double> event) {
  const double planned = current + stepDays;
  if (event && *event > current && *event < planned) return *event;
  return planned;
}

bool CaseArchiveBytes(const Scenario& scenario, std::vector<std::uint8_t>& bytes,
                      std::string& error) {
  if (scenario.caseJson) {
    if (!archive::CaseJsonToArchive(*scenario.caseJson, bytes, error)) {
      error = "case: " + error;
      return false;
    }
    return true;
  }
  return ReadBounded(*scenario.caseArchive, kCaseArchiveLimit, bytes, error);
}

void RunScenario(Library& library, const Scenario& scenario, const RunOptions& options,
                 RunRecord& record) {
  record.mode = library.Direct() ? "direct" : "threaded";
  record.scenario = scenario.file.string();
  record.startDate = scenario.startDate;
  record.timesteps = scenario.timesteps;
  record.stepDays = scenario.stepDays;
  Runner runner(library, scenario, options, record);
  try {
    runner.Run();
  } catch (const Interrupted& stop) {
    record.interruptedBy = stop.signal;
    record.failure = RunFailure{stop.what(), "", 0, runner.timestep};
  } catch (const HostFailure& failure) {
    // A call that fails after a signal failed for it: the office the call
    // was waiting on was ended so that the run could stop.
    if (const int signal = InterruptSignal(); signal != 0) {
      record.interruptedBy = signal;
      record.failure = RunFailure{Interrupted(signal).what(), "", 0, runner.timestep};
    } else {
      record.failure = RunFailure{failure.what(), failure.command, failure.code, runner.timestep};
    }
  } catch (const std::exception& e) {
    record.failure = RunFailure{std::string("internal error: ") + e.what(), "", 0, runner.timestep};
  }
  InterruptTaken();
  runner.NoteEmptyOutputs();
  runner.Cleanup();
}

}  // namespace refhost
