// The workbook check's causes (known_differences.h): each differing cell's
// known difference, the notes on macro modules, and the summary's and the
// JSON's sections of them (docs/workbook-check.md).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "check/check_report.h"

namespace refhost {

// Fills `cause` and `causeFunction` when a known difference explains it,
// in the cell's formula or else in what the defined names it uses hold
// (a name holding a LAMBDA, called as a function).
void ExplainCause(Difference& difference, const std::vector<excel::DefinedName>& names = {});

// The notes on every module's Basic source, by module.
std::vector<VbaNote> MacroModuleNotes(const std::vector<excel::MacroModuleInfo>& modules);

// The differing cells grouped by cause, then by function (counts and the
// first cells), ending with the unexplained ones, the first `shown` of
// them in full.
std::string DifferencesByCause(const std::vector<Difference>& differ, std::size_t shown);

// "macro notes: N" and a line per note.
std::string VbaNotesText(const std::vector<VbaNote>& notes);

// "causes" (id, sentence, remedy, cells, functions), "unexplained" and
// "vbaNotes".
void AddCausesJson(const CheckReport& report, nlohmann::json& json);

}  // namespace refhost
