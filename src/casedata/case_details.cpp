#include "casedata/case_details.h"

#include "casedata/composition.h"
#include "casedata/stream_data.h"

namespace casedata {

CExcCaseDetails::CExcCaseDetails() {
  SyncStreamCounts();
}

void CExcCaseDetails::SyncStreamCounts() {
  ResizeStreams(inputStreams, inputCount);
  ResizeStreams(outputStreams, outputCount);
}
CExcCaseDetails::~CExcCaseDetails() = default;

CExcCaseDetails::CExcCaseDetails(const CExcCaseDetails& other) {
  CopyCaseFrom(other);
}

CExcCaseDetails& CExcCaseDetails::operator=(const CExcCaseDetails& other) {
  if (this != &other) CopyCaseFrom(other);
  return *this;
}

void CExcCaseDetails::CopyCaseFrom(const CExcCaseDetails& other) {
  // Collections first: they are the only members whose copy can fail, so a
  // failed copy leaves the plain fields as they were.
  CExtCollection<CExcInputStreamData> inputs(other.inputStreams);
  CExtCollection<CExcOutputStreamData> outputs(other.outputStreams);
  CExtCollection<CExcCompositionDefinition> compositionList(other.compositions);
  std::string file = other.fileName;
  std::array<std::string, kEventCount> macroNames = other.macros;

  fileName = std::move(file);
  inputCount = other.inputCount;
  outputCount = other.outputCount;
  macros = std::move(macroNames);
  passDate = other.passDate;
  inputStreams = std::move(inputs);
  outputStreams = std::move(outputs);
  useCompositions = other.useCompositions;
  compositions = std::move(compositionList);
  hideInterface = other.hideInterface;
}

}  // namespace casedata
