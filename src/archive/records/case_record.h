// The case record in binary: signature, version, then the fields listed in
// record_fields.h (the case details with their macros and streams, the
// compositions, the optimisation items and, for versions 11 to 30, the
// published variables).
//
// The transfer works on a view of references, so that a model and code
// without a model (tools, tests) use the same routine.
#pragma once

#include <cstdint>

#include "archive/archive.h"
#include "casedata/case_details.h"
#include "casedata/exported_variable.h"
#include "casedata/opt_items.h"

namespace archive {

// Where the parts of a case live.
struct CaseView {
  casedata::CExcCaseDetails& details;
  casedata::CExcObjFn& objective;
  casedata::CExcclConstraint& constraints;
  casedata::CExcclControlVariable& controls;
  casedata::CExcclIntegerControl& intControls;
  casedata::CExcclExportedVariable& publishedVariables;
  // Loading: the version read (stays set when the rest fails). Storing
  // leaves it alone.
  std::int32_t& version;
};

// A case of its own.
struct CaseContent {
  casedata::CExcCaseDetails details;
  casedata::CExcObjFn objective;
  casedata::CExcclConstraint constraints;
  casedata::CExcclControlVariable controls;
  casedata::CExcclIntegerControl intControls;
  casedata::CExcclExportedVariable publishedVariables;
  std::int32_t version = 0;

  CaseView View() {
    return {details, objective, constraints, controls, intControls, publishedVariables, version};
  }
};

// Storing writes the signature and a record of the current version.
// Loading reads any version from 1 to the current one into the view: every
// field as it is read, a nested record (the objective) and each element of
// a collection once complete; the
// stream collections are emptied before their elements are read, the
// others are appended to. Gives the archive's failure; a version above the
// current one is kVersionTooNew.
ArchiveError TransferCase(Archive& archive, const CaseView& parts);

// The published-variables collection laid out for the archive's version;
// loading appends. The model data file holds it after its signature. A
// failure is recorded in the archive.
void TransferPublishedVariables(Archive& archive, casedata::CExcclExportedVariable& variables);

inline constexpr std::uint32_t kMinStreamCount = 1;
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
// Fuzz builds only: clamping is the same code at 50 as at 5000, and up to
// 10,000 empty streams made for every input held the case fuzzers to a few
// hundred inputs a second.
inline constexpr std::uint32_t kMaxStreamCount = 50;
#else
inline constexpr std::uint32_t kMaxStreamCount = 5000;
#endif

// After a load, whether it succeeded or not: the stream counts within 1 ...
// 5000 and the stream collections holding exactly that many streams, so
// that every stream handle leads to a stream.
void SettleStreamCounts(casedata::CExcCaseDetails& details);

}  // namespace archive
