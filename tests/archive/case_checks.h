// Field-by-field comparison of two cases, every field named in the failure.
#pragma once

#include "archive/case_record.h"

namespace archive_test {

void ExpectSameInputStream(const streams::CExcInputStreamData& expected,
                           const streams::CExcInputStreamData& actual);
void ExpectSameOutputStream(const streams::CExcOutputStreamData& expected,
                            const streams::CExcOutputStreamData& actual);
void ExpectSamePublishedVariables(const optimisation::CExcclExportedVariable& expected,
                                  const optimisation::CExcclExportedVariable& actual);
// Everything but the version.
void ExpectSameCase(const archive::CaseView& expected, const archive::CaseView& actual);

}  // namespace archive_test
