// A recording, fault-injecting decorator over any excel::Application and
// every object reached from it.
//
// Each call through the decorator is recorded, in the order the calls begin,
// as one line "<Kind>.<Member>(<arguments>)":
//   Kind       Application, Workbooks, Workbook, Sheets (from
//              Workbook.GetSheets), Worksheets (from Workbook.GetWorksheets),
//              Worksheet, Chart, Sheet (a sheet item that is neither), Range
//   arguments  in declaration order, joined by ", ":
//              - VARIANTs as FormatValue writes them (recording_format.h):
//                Missing, VT_BOOL false, VT_BSTR "Sheet1", VT_INT 2, ...
//              - lcid as lcid=0; other integers bare: -4140, 1
//              - VARIANT_BOOL as VARIANT_TRUE / VARIANT_FALSE
//              - BSTR arguments (Open's Filename, PutName) as QuoteText: "a"
//              - Open's optional arguments as optional=<FormatValueList>
//                (optional=none when there are none)
//              - Run's 30 arguments as FormatValueList after the macro
//              - Invoke as the dispid in upper-case hex, the kind (get, put,
//                method, or kind=N), then the arguments
// A call that fails ends with " -> failed 0xHHHHHHHH" (its HRESULT), or
// " -> failed (not a COM error)" when something other than com::Error left
// it. For example:
//   Application.PutWindowState(lcid=0, -4140)
//   Application.PutVisible(lcid=0, VARIANT_TRUE)
//   Application.GetWorkbooks()
//   Workbooks.Open("/tmp/a.xlsx", optional=12 x Missing, lcid=0)
//   Workbooks.Add(Missing, lcid=0)
//   Workbook.Close(VT_BOOL false, Missing, Missing, lcid=0)
//   Workbook.SaveCopyAs(VT_BSTR "/tmp/b.xlsx", lcid=0)
//   Workbook.RunAutoMacros(1, lcid=0)
//   Sheets.GetItem(VT_INT 2)
//   Worksheets.Add(Missing, Missing, Missing, Missing, lcid=0)
//   Worksheet.PutName("Data")
//   Worksheet.GetRange(VT_BSTR "A1", Missing)
//   Range.Invoke(0x56C, get)
//   Range.Invoke(0x56C, put, VT_R8 1.5)
//   Application.Run(VT_BSTR "Module1.StartOfRun", VT_I4 3, 29 x Missing)
//   Workbook.Save(lcid=0) -> failed 0x800A03EC
// Reference counting (AddRef, Release, queries) is not recorded. A sheet
// item is wrapped so that it implements exactly the interfaces (Worksheet,
// Chart) of the object it wraps.
//
// Faults: a fault makes a chosen call fail with a chosen HRESULT before the
// wrapped object is called (the call is still recorded, marked failed and
// injected).
//
// The recorder may be shared by several applications and used from several
// threads; its log and faults are guarded by one mutex.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "com/hresult.h"
#include "excel/object_model.h"

namespace test_support {

struct RecordedCall {
  std::string member;  // "Workbook.Close": kind and member
  // Every argument in order: integers (lcid included) as VT_I4,
  // VARIANT_BOOL as VT_BOOL holding the value passed, BSTRs as VT_BSTR,
  // VARIANTs as passed; Invoke: dispid and kind as VT_I4, then its arguments.
  std::vector<com::Variant> arguments;
  std::string line;  // the recorded line, with the failure suffix if any
  // What came back from Run, Invoke and the Get members that give a value
  // (VT_I4, VT_BOOL, VT_BSTR); VT_EMPTY for the rest and for failures.
  com::Variant result;
  HRESULT failure = com::S_OK;  // E_FAIL for an exception that is not a com::Error
  bool injected = false;

  bool Failed() const { return failure != com::S_OK; }
};

struct Fault {
  // "Workbook.Save", or "*" for every member.
  std::string member;
  HRESULT hr = com::E_FAIL;
  // The calls that match (member, and `when` if set), counted from the moment
  // the fault was added, from 1: the one that fails...
  std::size_t occurrence = 1;
  // ...and, when set, every later one too.
  bool andLater = false;
  // Narrows the calls that match, e.g. to Range.Invoke of one dispid.
  std::function<bool(const RecordedCall&)> when;
};

class Recorder {
 public:
  std::vector<RecordedCall> Calls() const;
  std::vector<std::string> Lines() const;
  // The lines, each followed by "\n" (readable in a failed expectation).
  std::string Transcript() const;
  std::vector<RecordedCall> CallsOf(std::string_view member) const;
  std::size_t CountOf(std::string_view member) const;
  // Forgets the calls recorded so far (the faults stay).
  void Clear();

  // The `occurrence`-th call of `member` fails with `hr`.
  void FailCall(std::string member, HRESULT hr, std::size_t occurrence = 1);
  // That call and every later one fail.
  void FailFrom(std::string member, HRESULT hr, std::size_t occurrence = 1);
  void AddFault(Fault fault);
  void ClearFaults();

 private:
  friend class RecordingAccess;

  // Records the start of a call; gives its number and, in `injected`, the
  // failure to raise instead of calling the wrapped object (S_OK for none).
  std::size_t Begin(std::string member, std::vector<com::Variant> arguments, std::string text,
                    HRESULT* injected);
  void Finish(std::size_t number, HRESULT failure, com::Variant result, bool comError = true);

  struct ArmedFault {
    Fault fault;
    std::size_t seen = 0;
  };

  mutable std::mutex mutex_;
  std::vector<RecordedCall> calls_;
  std::size_t forgotten_ = 0;  // calls dropped by Clear, so numbers stay valid
  std::vector<ArmedFault> faults_;
};

// `inner` seen through the decorator, logging to `recorder`; null for null.
com::Ptr<excel::Application> MakeRecordingApplication(com::Ptr<excel::Application> inner,
                                                      std::shared_ptr<Recorder> recorder);

}  // namespace test_support
