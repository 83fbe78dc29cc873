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
#include "case/case_details.h"
#include "case/exported_variable.h"
#include "case/ext_collection.h"
#include "case/opt_items.h"
#include "gridmoor/host.h"
#include "model/ext_interface.h"

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
  std::int32_t EditCase(ExtWindow window, std::uint32_t* changed,
                        ExtStatusRecord* status) override;                         // 0
  std::int32_t QueryNumber(std::int32_t value, ExtStatusRecord* status) override;  // 1
  std::int32_t SaveCaseWorkbook(std::int32_t ignored, const char* fileName,
                                ExtStatusRecord* status) override;  // 2

  outcome::Expected<streams::StreamListing> EnumStreams(std::optional<std::uint32_t> cursor,
                                                        std::int32_t query) override;  // 3
  outcome::Error QueryComp() override;                                                 // 4

  std::int32_t OnStartOfRun(void* arg, ExtStatusRecord* status) override;    // 5
  std::int32_t OnNextTimestep(void* arg, ExtStatusRecord* status) override;  // 6
  std::int32_t Reserved08() override;                                        // 8

  outcome::Partial<streams::IprValues> GetIPR(streams::IprValues values) override;  // 9
  outcome::Error SetIPR(const streams::IprValues& values) override;                 // 10

  std::int32_t Reserved11() override;  // 11
  std::int32_t Reserved12() override;  // 12
  std::int32_t Reserved13() override;  // 13
  std::int32_t OnStopRun() override;   // 14
  std::int32_t OnEndOfRun() override;  // 15
  std::int32_t WriteCaseData(void* buffer, std::uint32_t size,
                             ExtStatusRecord* status) override;                      // 16
  std::int32_t ReadCaseData(void* buffer, ExtStatusRecord* status) override;         // 17
  std::int32_t SetFileName(void* fileNameRecord, ExtStatusRecord* status) override;  // 18
  std::int32_t OpenCaseWorkbook(void* arg, ExtStatusRecord* status) override;        // 19
  std::int32_t GetDispatch(void* result, ExtStatusRecord* status) override;          // 26
  std::int32_t ReloadWorkbook(ExtStatusRecord* status) override;                     // 30
  std::int32_t ChangeFileDirectory(const char* directory,
                                   ExtStatusRecord* status) override;  // 34
  std::int32_t WriteModelData(void* buffer, std::uint32_t size,
                              ExtStatusRecord* status) override;  // 31
  std::int32_t ReadModelData(void* buffer, std::uint32_t size,
                             ExtStatusRecord* status) override;  // 32
  std::int32_t GetNextEvent(void* valueRecord) override;         // 36
  std::int32_t SetDate(void* dateRecord, std::int32_t ignored,
                       ExtStatusRecord* status) override;            // 37
  std::int32_t OnPreSolve(ExtStatusRecord* status) override;         // 38
  std::int32_t OnPostSolve(ExtStatusRecord* status) override;        // 39
  std::int32_t OnPostSolve2(ExtStatusRecord* status) override;       // 40
  std::int32_t OnEvent112(ExtStatusRecord* status) override;         // 41
  std::int32_t OnEvent113(ExtStatusRecord* status) override;         // 42
  std::int32_t OnStartOfTimestep(ExtStatusRecord* status) override;  // 43
  std::int32_t OnEndOfTimestep(ExtStatusRecord* status) override;    // 44

  outcome::Expected<std::optional<streams::ComponentList>> GetStreamComposition(
      std::int32_t stream) override;  // 45

  std::int32_t SetModelDataFile(const char* path, bool flag,
                                ExtStatusRecord* status) override;  // 46
  std::int32_t GetFileLabel(char* buffer, std::int32_t length,
                            ExtStatusRecord* status) override;                            // 50
  std::int32_t StartApplication(std::int32_t ignored, ExtStatusRecord* status) override;  // 54
  std::int32_t StopApplication() override;                                                // 56
  std::int32_t DescribeFiles(xml::EquipmentDescription* description, std::uint8_t flag,
                             const std::vector<std::string>& texts) override;  // 57
  std::int32_t SetupOptimisation(void* problemRecord, std::int32_t mode,
                                 ExtStatusRecord* status) override;                         // 65
  std::int32_t CheckIntegerControls(void* listRecord, ExtStatusRecord* status) override;    // 66
  std::int32_t GetObjectiveFunction(void* valueRecord, ExtStatusRecord* status) override;   // 68
  std::int32_t GetConstraints(void* valueRecord, ExtStatusRecord* status) override;         // 69
  std::int32_t SetControls(void* valueRecord, ExtStatusRecord* status) override;            // 70
  std::int32_t GetControls(void* valueRecord, ExtStatusRecord* status) override;            // 71
  std::int32_t SetIntegerControls(void* valueRecord, ExtStatusRecord* status) override;     // 72
  std::int32_t GetIntegerControls(void* valueRecord, ExtStatusRecord* status) override;     // 73
  std::int32_t ClearOptimisation(std::int32_t mask, ExtStatusRecord* status) override;      // 74
  std::int32_t EditPublishedVariables(ExtWindow window, ExtStatusRecord* status) override;  // 80
  std::int32_t GetNextPublishedVariable(void* variableRecord) override;                     // 81
  std::int32_t EvalPublishedVariables(void* variableRecord,
                                      ExtStatusRecord* status) override;  // 82
  std::int32_t EvalPublishedVariables2(void* variableRecord2,
                                       ExtStatusRecord* status) override;  // 83
  std::int32_t QueryItem84(void* arg, ExtStatusRecord* status) override;   // 84
  std::int32_t QueryItem85(void* arg, std::int32_t value,
                           ExtStatusRecord* status) override;                            // 85
  std::int32_t AddPublishedVariable(void* addRecord, ExtStatusRecord* status) override;  // 86
  std::int32_t ReadBatchProblem(void* filesRecord, bool replace,
                                ExtStatusRecord* status) override;                           // 87
  std::int32_t WriteBatchOutput(void* outputPath, ExtStatusRecord* status) override;         // 88
  std::int32_t DelPublishedVariable(std::int32_t handle, ExtStatusRecord* status) override;  // 89
  std::int32_t GetFileDescription(void* descriptionRecord, std::int32_t index,
                                  ExtStatusRecord* status) override;  // 91

  // Runs the macro of run-time event `event` (0..6) with the timestep and,
  // when the event's passDate flag is set, the run date as text.
  std::int32_t RunEventMacro(std::size_t event, ExtStatusRecord* status);

  // The model's state, shared with the operations of the other subsystems.
  std::int32_t resultTextsIndex = 0;
  std::array<std::string, kResultTextCount> resultTexts;
  RunDate runDate;
  std::uint32_t timestep = 0;
  automation::CExcServerObj server;
  double nextEvent = EXT_UNDEFINED_VALUE;
  const char* modelDataFile = nullptr;  // the host's text, not a copy
  std::int32_t caseVersion = 0;
  std::string label;
  std::vector<std::string> sheetNames;
  std::int32_t dialogKind = 0;  // set from host code 5 for one EditCase
  CExcCaseDetails caseDetails;
  optimisation::CExcObjFn objective;
  optimisation::CExcclConstraint constraints;
  optimisation::CExcclControlVariable controls;
  optimisation::CExcclIntCtrlVariable intControls;
  optimisation::CExcclExportedVariable publishedVariables;

 private:
  PlugInSource driverPlugIns_;

  // True when the session exists; otherwise writes the no-connection
  // message into `status`.
  bool HasConnection(ExtStatusRecord* status) const;
};

}  // namespace model
