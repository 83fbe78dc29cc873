// The JSON form of a case and of published variables, both ways. Keys are
// the names of the fields (record_fields.h); docs/case-json.md describes
// the whole form.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "archive/records/case_record.h"
#include "outcome/outcome.h"

namespace archive {

// Every field, whatever the version; "version" is the one the case was read
// with.
nlohmann::json CaseToJson(const CaseView& parts);

// Both fail with the first fault met, naming the path of the value at
// fault. The case comes out as the driver would hold it: stream counts and
// collections agree.
outcome::Error CaseFromJson(const nlohmann::json& in, CaseContent& content);
outcome::Error PublishedVariablesFromJson(const nlohmann::json& in, const std::string& path,
                                          casedata::CExcclExportedVariable& variables);

}  // namespace archive
