// The driver operations on published variables: listing them to the host,
// reading and setting their values as text, adding and deleting them, and
// the rule by which the editing dialog rebuilds the list.
//
// A variable's handle is its zero-based position in the list. Values travel
// as text: numbers read from cells are printed as "%g" does in the C locale,
// whatever the process's locale; texts set by the host are written into the
// cells as if typed there.
//
// Failures carry the host's message and result 1, or kBlockVariableResult
// (-100) for a block asked through the fixed-size record. A null session
// means no connection.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "automation/excel_session.h"
#include "casedata/exported_variable.h"
#include "casedata/values/published_values.h"
#include "outcome/outcome.h"

namespace optimisation {

// The variable after the one `handle` names (-1 starts): its handle, name
// and unit. None when there is none.
std::optional<casedata::PublishedVariableInfo> GetNextPublishedVariable(
    const casedata::CExcclExportedVariable& variables, std::int32_t handle);

// Sets the request's text into the variable's cell and its cascade cell for
// `timestep`, or gets a single cell's value as text. A set gives the empty
// text. A block variable's get fails with kBlockVariableResult and no
// message.
outcome::Expected<std::string> EvalPublishedVariables(
    const casedata::CExcclExportedVariable& variables, automation::CExcExcelObj* session,
    std::uint32_t timestep, const casedata::PublishedValueRequest& request);

// As EvalPublishedVariables, for the record that passes the text by
// address. A set text holding a tab or a line feed is a block: one row per
// line, one value per tab-separated field; no cascade. A get reads the whole
// block, joined by the variable's delimiters.
outcome::Expected<std::string> EvalPublishedVariablesAsBlock(
    const casedata::CExcclExportedVariable& variables, automation::CExcExcelObj* session,
    std::uint32_t timestep, const casedata::PublishedValueRequest& request);

// Appends a single-cell variable on a worksheet of the open workbook (the
// name must match exactly, case included) and gives its handle.
outcome::Expected<std::int32_t> AddPublishedVariable(casedata::CExcclExportedVariable& variables,
                                                     automation::CExcExcelObj* session,
                                                     const casedata::NewPublishedVariable& added);

// Deletes the variable with `handle`, or every variable for -1.
outcome::Error DelPublishedVariable(casedata::CExcclExportedVariable& variables,
                                    std::int32_t handle);

// The editing dialog's OK: the list becomes the rows, top to bottom, that
// have a name, a worksheet and a cell (none blank), with width and height
// clamped to 1 ... 10000.
void RebuildPublishedVariables(casedata::CExcclExportedVariable& variables,
                               const std::vector<casedata::CExcExportedVariable>& rows);

// `value` as printf's "%g" prints it in the C locale.
std::string FormatPublishedValue(double value);

}  // namespace optimisation
