// The case configuration of one model: the workbook file, the stream counts,
// the run-time macros, the case's own plug-ins, the streams and the
// compositions.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "casedata/ext_collection.h"

namespace casedata {

class CExcInputStreamData;
class CExcOutputStreamData;
class CExcCompositionDefinition;

// Run-time events, the index into macros and passDate.
inline constexpr std::size_t kEventCount = 7;

class CExcCaseDetails {
 public:
  CExcCaseDetails();
  ~CExcCaseDetails();
  // Copies keep the state of a case for comparison or undo: everything but
  // workbookOpen and plugIns, which belong to the live case (a copy starts
  // with them at their initial values; an assignment leaves them alone).
  CExcCaseDetails(const CExcCaseDetails& other);
  CExcCaseDetails& operator=(const CExcCaseDetails& other);

  // 1 once OpenCaseWorkbook has succeeded.
  std::int32_t workbookOpen = 0;
  // Path of the case workbook.
  std::string fileName;
  // Number of input streams (In-1 ... In-n) and output streams (Out-1 ...).
  std::uint32_t inputCount = 1;
  std::uint32_t outputCount = 1;
  // Macro name and "pass the run date" flag per run-time event.
  std::array<std::string, kEventCount> macros;
  std::array<bool, kEventCount> passDate{};
  // The case's own add-in workbooks, separated by ';'.
  std::string plugIns;
  // Compositions travel with the streams (stored as one byte).
  std::int32_t useCompositions = 0;
  CExtCollection<CExcCompositionDefinition> compositions;
  // Hide the application's window while the host calculates.
  bool hideInterface = false;
  CExtCollection<CExcInputStreamData> inputStreams;
  CExtCollection<CExcOutputStreamData> outputStreams;

  // Makes the stream collections hold exactly inputCount and outputCount
  // streams; called whenever a count changes.
  void SyncStreamCounts();

 private:
  void CopyCaseFrom(const CExcCaseDetails& other);
};

}  // namespace casedata
