#include "case/case_details.h"

#include "case/composition.h"
#include "case/stream_data.h"

namespace model {

CExcCaseDetails::CExcCaseDetails() {
  SyncStreamCounts();
}

void CExcCaseDetails::SyncStreamCounts() {
  streams::ResizeStreams(inputStreams, inputCount);
  streams::ResizeStreams(outputStreams, outputCount);
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
  CExtCollection<streams::CExcInputStreamData> inputs(other.inputStreams);
  CExtCollection<streams::CExcOutputStreamData> outputs(other.outputStreams);
  CExtCollection<streams::CExcCompositionDefinition> compositionList(other.compositions);
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

}  // namespace model
