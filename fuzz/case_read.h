// What both case-reader targets do first: read the bytes as ReadCaseData
// does over a memory archive, finished or not, and abort when the stream
// lists do not match their counts afterwards.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <span>

#include "archive/archive.h"
#include "archive/archive_error.h"
#include "archive/records/case_record.h"

inline void ReadCaseCheckingStreamCounts(std::span<const std::uint8_t> bytes,
                                         archive::CaseContent& content) {
  archive::Archive load = archive::Archive::LoadFrom(bytes);
  // Any failure will do: what matters is the case it leaves.
  archive::TransferCase(load, content.View()).Consume();
  archive::SettleStreamCounts(content.details);
  const casedata::CExcCaseDetails& details = content.details;
  if (details.inputStreams.size() != details.inputCount ||
      details.outputStreams.size() != details.outputCount) {
    std::abort();
  }
}
