// The JSON form of a case and of published variables, both ways. Keys are
// the names of the fields; docs/case-json.md describes the whole form.
#pragma once

#include <array>
#include <string>

#include <nlohmann/json.hpp>

#include "archive/case_record.h"
#include "case/case_details.h"

namespace archive {

// The keys of the macros object, by event number.
inline constexpr std::array<const char*, model::kEventCount> kEventKeys = {
    "StartOfTimestep", "EndOfTimestep", "PreSolve",  "PostSolve",
    "StartOfRun",      "EndOfRun",      "PostSolve2"};

nlohmann::json CaseToJson(CaseContent& content);
nlohmann::json PublishedVariablesToJson(const optimisation::CExcclExportedVariable& variables);

// Both throw JsonError naming the path of the value at fault. The case
// comes out as the driver would hold it: stream counts and collections
// agree.
void CaseFromJson(const nlohmann::json& in, CaseContent& content);
void PublishedVariablesFromJson(const nlohmann::json& in, const std::string& path,
                                optimisation::CExcclExportedVariable& variables);

}  // namespace archive
