// The driver's model: one per host model instance. It links one workbook to
// the host through its server object and holds the case configuration, the
// optimisation items and the published variables.
//
// A model is used by one thread at a time. Operations that talk to the
// spreadsheet hold the process-wide SpreadsheetLock. Automation failures
// that an operation does not turn into its own message leave it as
// com::Error for the dispatch layer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "automation/server_object.h"
#include "casedata/case_details.h"
#include "casedata/exported_variable.h"
#include "casedata/ext_collection.h"
#include "casedata/opt_items.h"
#include "model/ext_interface.h"
#include "optimisation/held_cells.h"
#include "outcome/outcome.h"
#include "values/host_values.h"

namespace model {

// A date as the host passes it: OLE days, with a validity status.
struct RunDate {
  enum Status : std::int32_t { kValid = 0, kInvalid = 1, kNull = 2 };
  double days = 0.0;
  std::int32_t status = kValid;
};

inline constexpr std::size_t kResultTextCount = 10;

class CExcModel : public CExtInterface {
 public:
  // Builds every field; the server object first, which tries to start the
  // spreadsheet application. A failure leaves CreateFailed() set and
  // CreateError() filled; the model exists all the same.
  // The driver-wide plug-in list ("a;b;c"), read each time a workbook opens:
  // the driver keeps it, and its dialog may change it while the model lives.
  using PlugInSource = std::function<std::string()>;

  explicit CExcModel(PlugInSource driverPlugIns = {});
  virtual ~CExcModel();

  bool CreateFailed() const { return server.CreateFailed(); }
  const std::string& CreateError() const { return server.CreateError(); }
  // The session, or null: creation failed or the application was stopped.
  automation::CExcExcelObj* Session() const { return server.Session(); }

  // Host code 47 and before each dialog: the worksheet names of the open
  // workbook, or none.
  virtual void RefreshSheetNames();
  // Host code 64: shows or hides the application while hideInterface is set.
  virtual std::int32_t SetInterfaceVisible(bool show);
  // Host code 21.
  void SetLabel(std::string_view text) { label = std::string(text); }
  // Keeps `text` (taken over, not copied) in the next of the ten result
  // buffers and returns it; the text stays valid until ten further texts
  // have been handed out.
  const char* HandOutResultText(std::string text);

  // Operations of the driver interface.
  outcome::Expected<bool> EditCase(values::WindowHandle window) override;  // 0
  std::int32_t QueryNumber(std::int32_t value) override;                   // 1
  // Also the data server's SaveFile.
  outcome::Error SaveCaseWorkbook(const std::string& copyName) override;  // 2

  outcome::Expected<casedata::StreamListing> EnumStreams(std::optional<std::uint32_t> cursor,
                                                         std::int32_t query) override;  // 3
  outcome::Error QueryComp() override;                                                  // 4

  outcome::Error OnStartOfRun() override;  // 5
  void OnNextTimestep() override;          // 6
  std::int32_t Reserved08() override;      // 8

  outcome::Partial<casedata::IprValues> GetIPR(casedata::IprValues values) override;  // 9
  outcome::Error SetIPR(const casedata::IprValues& values) override;                  // 10

  std::int32_t Reserved11() override;                                                        // 11
  std::int32_t Reserved12() override;                                                        // 12
  std::int32_t Reserved13() override;                                                        // 13
  outcome::Error OnStopRun() override;                                                       // 14
  outcome::Error OnEndOfRun() override;                                                      // 15
  outcome::Partial<std::vector<std::uint8_t>> WriteCaseData(std::size_t capacity) override;  // 16
  outcome::Error ReadCaseData(const casedata::StoredCase& stored) override;                  // 17
  void SetFileName(std::string path) override;                                               // 18
  // With the plug-ins; also the data server's OpenFile.
  outcome::Error OpenCaseWorkbook() override;                                                 // 19
  outcome::Expected<excel::Workbook*> GetDispatch() override;                                 // 26
  outcome::Error ReloadWorkbook() override;                                                   // 30
  outcome::Partial<std::vector<std::uint8_t>> WriteModelData(std::size_t capacity) override;  // 31
  // Appends the published variables of the model data file, when the
  // case's version has one; what was read before a failure stays.
  outcome::Error ReadModelData() override;                          // 32
  void ChangeFileDirectory(const std::string& directory) override;  // 34
  std::optional<double> GetNextEvent() override;                    // 36
  void SetDate(double dayBeforeRun) override;                       // 37
  outcome::Error OnPreSolve() override;                             // 38
  outcome::Error OnPostSolve() override;                            // 39
  outcome::Error OnPostSolve2() override;                           // 40
  outcome::Error IgnoreEvent112() override;                         // 41
  outcome::Error IgnoreEvent113() override;                         // 42
  outcome::Error OnStartOfTimestep() override;                      // 43
  outcome::Error OnEndOfTimestep() override;                        // 44

  outcome::Expected<std::optional<casedata::ComponentList>> GetStreamComposition(
      std::int32_t stream) override;  // 45

  void SetModelDataFile(const char* path, bool flag) override;  // 46
  std::optional<std::string> GetFileLabel() override;           // 50
  outcome::Error StartApplication() override;                   // 54
  std::int32_t StopApplication() override;                      // 56
  std::int32_t DescribeFiles(xml::EquipmentDescription* description, std::uint8_t flag,
                             const std::vector<std::string>& texts) override;  // 57
  outcome::Expected<casedata::OptimisationProblem> SetupOptimisation(
      std::int32_t mode) override;                                                         // 65
  outcome::Error CheckIntegerControls(const casedata::IntegerControlList& list) override;  // 66
  casedata::ItemReading GetObjectiveFunction() override;                                   // 68
  casedata::ItemReading GetConstraints(std::int32_t handle) override;                      // 69
  outcome::Error SetControls(const casedata::ItemValue& value) override;                   // 70
  casedata::ItemReading GetControls(std::int32_t handle) override;                         // 71
  outcome::Error SetIntegerControls(const casedata::ItemValue& value) override;            // 72
  casedata::ItemReading GetIntegerControls(std::int32_t handle) override;                  // 73
  void ClearOptimisation(std::int32_t mask) override;                                      // 74
  outcome::Error EditPublishedVariables(values::WindowHandle window) override;             // 80
  std::optional<casedata::PublishedVariableInfo> GetNextPublishedVariable(
      std::int32_t handle) override;  // 81
  outcome::Expected<std::string> EvalPublishedVariables(
      const casedata::PublishedValueRequest& request) override;  // 82
  outcome::Expected<const char*> EvalPublishedVariablesAsBlock(
      const casedata::PublishedValueRequest& request) override;  // 83
  std::int32_t DeclineQuery106() override;                       // 84
  std::int32_t DeclineQuery107(std::int32_t value) override;     // 85
  outcome::Expected<std::int32_t> AddPublishedVariable(
      const casedata::NewPublishedVariable& added) override;  // 86
  outcome::Error ReadBatchProblem(const casedata::BatchFiles& files,
                                  bool replace) override;                                    // 87
  outcome::Error WriteBatchOutput(const casedata::BatchPath& output) override;               // 88
  outcome::Error DelPublishedVariable(std::int32_t handle) override;                         // 89
  std::optional<casedata::FileDescription> GetFileDescription(std::int32_t index) override;  // 91

  // Runs the macro of run-time event `event` (0..6) with the timestep and,
  // when the event's passDate flag is set, the run date as text. A blank
  // macro name runs nothing and succeeds.
  outcome::Error RunEventMacro(std::size_t event);

  // The model's state, shared with the operations of the other subsystems.
  std::int32_t resultTextsIndex = 0;
  std::array<std::string, kResultTextCount> resultTexts;
  RunDate runDate;
  std::uint32_t timestep = 0;
  automation::CExcServerObj server;
  double nextEvent = values::kUndefinedValue;
  const char* modelDataFile = nullptr;  // the host's text, not a copy
  std::int32_t caseVersion = 0;
  std::string label;
  std::vector<std::string> sheetNames;
  std::int32_t dialogKind = 0;  // set from host code 5 for one EditCase
  casedata::CExcCaseDetails caseDetails;
  casedata::CExcObjFn objective;
  casedata::CExcclConstraint constraints;
  casedata::CExcclControlVariable controls;
  casedata::CExcclIntegerControl intControls;
  casedata::CExcclExportedVariable publishedVariables;
  // Control writes held for the next request, constraints read ahead.
  optimisation::HeldCells heldCells;

  // What a request is to the held cells.
  enum class Request { kControlWrite, kConstraintRead, kEvent, kOther };
  // Run before every request the host makes (and the driver's own): control
  // writes held back go out first unless the request is another control
  // write or a run-time event (whose macro call takes them along:
  // RunEventMacro), and what was read ahead is forgotten unless it reads a
  // constraint. A held write that fails is the answer.
  outcome::Error BeforeRequest(Request request);

 private:
  PlugInSource driverPlugIns_;
};

// The message the host gets when the workbook's automation object cannot be
// given.
inline constexpr char kNoDispatchMessage[] = "Unable to get dispatch interface for this object";

}  // namespace model
