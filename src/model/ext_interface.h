// The driver interface: an ordered table of 92 operations through which the
// dispatch layer reaches a driver model. The order is a contract (host
// command codes map onto these places); the Reserved slots keep it.
//
// The operations take and give plain values and report failure as an
// outcome::Error carrying the host's result (1 failure with a message, -1
// nothing (more) to give or cancelled) and message; the driver's edge turns
// them into the host's records and status. What passes through untouched
// is a window handle and the model data file's path text, which the model
// keeps as the host's own.
//
// A model is always destroyed as its concrete class, never through this
// interface.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "casedata/values/case_file_values.h"
#include "casedata/values/data_server_values.h"
#include "casedata/values/optimisation_values.h"
#include "casedata/values/published_values.h"
#include "casedata/values/stream_values.h"
#include "outcome/outcome.h"
#include "values/host_values.h"

namespace excel {
class Workbook;  // the workbook's automation object, handed to the host
}  // namespace excel

namespace xml {
struct EquipmentDescription;  // the files a model describes to the host
}  // namespace xml

namespace model {

class CExtInterface {
 public:
  CExtInterface(const CExtInterface&) = delete;
  CExtInterface& operator=(const CExtInterface&) = delete;

  // Whether the case changed so that its workbook opens anew.
  virtual outcome::Expected<bool> EditCase(values::WindowHandle window) = 0;  // 0
  virtual std::int32_t QueryNumber(std::int32_t value) = 0;                   // 1
  // In place, or a copy to `copyName` unless it is blank.
  virtual outcome::Error SaveCaseWorkbook(const std::string& copyName) = 0;  // 2

  // The stream after the one `cursor` names; none: the host gave no record.
  virtual outcome::Expected<casedata::StreamListing> EnumStreams(
      std::optional<std::uint32_t> cursor,
      std::int32_t query) = 0;             // 3
  virtual outcome::Error QueryComp() = 0;  // 4

  virtual outcome::Error OnStartOfRun() = 0;  // 5
  virtual void OnNextTimestep() = 0;          // 6
  virtual std::int32_t Reserved07();          // 7
  virtual std::int32_t Reserved08() = 0;      // 8

  // The values with what the stream's cells give, also after a failure.
  virtual outcome::Partial<casedata::IprValues> GetIPR(casedata::IprValues values) = 0;  // 9
  virtual outcome::Error SetIPR(const casedata::IprValues& values) = 0;                  // 10

  virtual std::int32_t Reserved11() = 0;    // 11
  virtual std::int32_t Reserved12() = 0;    // 12
  virtual std::int32_t Reserved13() = 0;    // 13
  virtual outcome::Error OnStopRun() = 0;   // 14
  virtual outcome::Error OnEndOfRun() = 0;  // 15
  // The case's archive in at most `capacity` bytes; after a failure, the
  // bytes stored before it.
  virtual outcome::Partial<std::vector<std::uint8_t>> WriteCaseData(
      std::size_t capacity) = 0;                                                // 16
  virtual outcome::Error ReadCaseData(const casedata::StoredCase& stored) = 0;  // 17
  // The workbook the case opens.
  virtual void SetFileName(std::string path) = 0;  // 18
  virtual outcome::Error OpenCaseWorkbook();       // 19
  virtual std::int32_t Reserved20();               // 20
  // The tag's text, also after a failure.
  virtual outcome::Partial<std::string> GetDataServerValue(const casedata::TagRead& read);  // 21
  // Reached by no host code: the value of the 64-bit field at byte 16 of
  // its record (zero), and nothing to give (kNone).
  virtual outcome::Partial<std::uint64_t> Reserved22();                         // 22
  virtual std::int32_t Reserved23();                                            // 23
  virtual outcome::Error SetDataServerValue(const casedata::TagWrite& write);   // 24
  virtual outcome::Error ExecuteCommand(const casedata::CommandText& command);  // 25
  // The open workbook's automation object.
  virtual outcome::Expected<excel::Workbook*> GetDispatch();  // 26
  virtual std::int32_t Reserved27();                          // 27
  virtual std::int32_t Reserved28();                          // 28
  virtual std::int32_t Reserved29();                          // 29
  virtual outcome::Error ReloadWorkbook();                    // 30
  // The model data marker in at most `capacity` bytes, then the model data
  // file; after a failure, the marker's bytes stored before it.
  virtual outcome::Partial<std::vector<std::uint8_t>> WriteModelData(std::size_t capacity);  // 31
  virtual outcome::Error ReadModelData();                                                    // 32
  virtual std::int32_t Reserved33();                                                         // 33
  // The case's workbook moves into `directory` when a file of its name is
  // there.
  virtual void ChangeFileDirectory(const std::string& directory);  // 34
  virtual std::int32_t Reserved35();                               // 35
  // The time of the host's next event; none when no event is set.
  virtual std::optional<double> GetNextEvent();  // 36
  // The host's date: the day before the run date, in OLE days.
  virtual void SetDate(double dayBeforeRun);  // 37
  virtual outcome::Error OnPreSolve();        // 38
  virtual outcome::Error OnPostSolve();       // 39
  virtual outcome::Error OnPostSolve2();      // 40
  // Host codes 112 and 113: events whose meaning is not known; nothing is
  // done for them.
  virtual outcome::Error IgnoreEvent112();     // 41
  virtual outcome::Error IgnoreEvent113();     // 42
  virtual outcome::Error OnStartOfTimestep();  // 43
  virtual outcome::Error OnEndOfTimestep();    // 44

  // None: compositions are off.
  virtual outcome::Expected<std::optional<casedata::ComponentList>> GetStreamComposition(
      std::int32_t stream);  // 45

  // Keeps the path pointer (the host's text, not a copy) as the model data
  // file.
  virtual void SetModelDataFile(const char* path, bool flag);  // 46
  virtual std::int32_t Reserved47();                           // 47
  virtual std::int32_t Reserved48();                           // 48
  virtual std::int32_t Reserved49();                           // 49
  // The label of the case's file; none: nothing to show.
  virtual std::optional<std::string> GetFileLabel();                                       // 50
  virtual std::int32_t Reserved51();                                                       // 51
  virtual std::int32_t Reserved52();                                                       // 52
  virtual std::int32_t Reserved53();                                                       // 53
  virtual outcome::Error StartApplication();                                               // 54
  virtual outcome::Error ConnectToApplication(std::intptr_t first, std::intptr_t second);  // 55
  virtual std::int32_t StopApplication();                                                  // 56
  // flag and texts come from the host with the request.
  virtual std::int32_t DescribeFiles(xml::EquipmentDescription* description, std::uint8_t flag,
                                     const std::vector<std::string>& texts);  // 57
  virtual std::int32_t Reserved58();                                          // 58
  virtual std::int32_t Reserved59();                                          // 59
  virtual std::int32_t Reserved60();                                          // 60
  virtual std::int32_t Reserved61();                                          // 61
  virtual std::int32_t Reserved62();                                          // 62
  virtual std::int32_t Reserved63();                                          // 63
  virtual std::int32_t Reserved64();                                          // 64
  virtual outcome::Expected<casedata::OptimisationProblem> SetupOptimisation(
      std::int32_t mode);                                                                 // 65
  virtual outcome::Error CheckIntegerControls(const casedata::IntegerControlList& list);  // 66
  virtual std::int32_t Reserved67();                                                      // 67
  virtual casedata::ItemReading GetObjectiveFunction();                                   // 68
  virtual casedata::ItemReading GetConstraints(std::int32_t handle);                      // 69
  virtual outcome::Error SetControls(const casedata::ItemValue& value);                   // 70
  virtual casedata::ItemReading GetControls(std::int32_t handle);                         // 71
  virtual outcome::Error SetIntegerControls(const casedata::ItemValue& value);            // 72
  virtual casedata::ItemReading GetIntegerControls(std::int32_t handle);                  // 73
  virtual void ClearOptimisation(std::int32_t mask);                                      // 74
  virtual std::int32_t Reserved75();                                                      // 75
  virtual std::int32_t Reserved76();                                                      // 76
  virtual std::int32_t Reserved77();                                                      // 77
  virtual std::int32_t Reserved78();                                                      // 78
  virtual std::int32_t Reserved79();                                                      // 79
  virtual outcome::Error EditPublishedVariables(values::WindowHandle window);             // 80
  // None: no variable follows `handle`.
  virtual std::optional<casedata::PublishedVariableInfo> GetNextPublishedVariable(
      std::int32_t handle);  // 81
  // A get gives the value's text, a set the empty text.
  virtual outcome::Expected<std::string> EvalPublishedVariables(
      const casedata::PublishedValueRequest& request);  // 82
  // As EvalPublishedVariables for a whole block of cells: a get gives the
  // address of the block's text, kept by the model; a set gives null.
  virtual outcome::Expected<const char*> EvalPublishedVariablesAsBlock(
      const casedata::PublishedValueRequest& request);  // 83
  // Host codes 106 and 107: queries whose meaning is not known; the driver's
  // model declines them (nothing to give).
  virtual std::int32_t DeclineQuery106();                    // 84
  virtual std::int32_t DeclineQuery107(std::int32_t value);  // 85
  virtual outcome::Expected<std::int32_t> AddPublishedVariable(
      const casedata::NewPublishedVariable& added);  // 86
  virtual outcome::Error ReadBatchProblem(const casedata::BatchFiles& files,
                                          bool replace);                       // 87
  virtual outcome::Error WriteBatchOutput(const casedata::BatchPath& output);  // 88
  virtual outcome::Error DelPublishedVariable(std::int32_t handle);            // 89
  virtual std::int32_t Reserved90();                                           // 90
  // The case's file number `index`; none when there is no such file.
  virtual std::optional<casedata::FileDescription> GetFileDescription(
      std::int32_t index) = 0;  // 91

 protected:
  CExtInterface() = default;
  ~CExtInterface() = default;
};

// The number of operations in the table.
inline constexpr int kInterfaceSlotCount = 92;

}  // namespace model
