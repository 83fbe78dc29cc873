// The driver operations on published variables: listing them to the host,
// reading and setting their values as text, adding and deleting them, and
// the rule by which the editing dialog rebuilds the list.
//
// A variable's handle is its zero-based position in the list. Values travel
// as text: numbers read from cells are printed as "%g" does in the C locale,
// whatever the process's locale; texts set by the host are written into the
// cells as if typed there.
//
// Results: 0 success, 1 failure with a message in the status text, -1 for
// nothing more to give, EXT_RESULT_BLOCK_VARIABLE (-100) for a block asked
// through the fixed-size record. A null session means no connection.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "automation/excel_session.h"
#include "case/exported_variable.h"
#include "gridmoor/host.h"

namespace optimisation {

// Keeps the text of a block read where the host can find it and gives its
// address; the model's ring of ten result texts. The text is handed over,
// never copied: a block's text can be hundreds of megabytes.
using ResultTextSink = std::function<const char*(std::string text)>;

// Describes the variable after the one the record's handle names
// (EXT_PUBVAR_RECORD_MIN_SIZE bytes; the handle -1 starts): handle, flag 1,
// name and unit, each cut to its field. -1, the record untouched, when there
// is none.
std::int32_t GetNextPublishedVariable(const CExcclExportedVariable& variables,
                                      void* variableRecord);

// Sets (flag 1) the record's 64-byte text into the variable's cell and its
// cascade cell for `timestep`, or gets (flag 0) a single cell's value into
// that text. A block variable's get gives EXT_RESULT_BLOCK_VARIABLE without a
// message.
std::int32_t EvalPublishedVariables(const CExcclExportedVariable& variables,
                                    automation::CExcExcelObj* session, std::uint32_t timestep,
                                    void* variableRecord, ExtStatusRecord* status);

// As EvalPublishedVariables, with the text passed by address
// (EXT_PUBVAR2_RECORD_MIN_SIZE bytes). A set text holding a tab or a line
// feed is a block: one row per line, one value per tab-separated field; no
// cascade. A get reads the whole block, joined by the variable's delimiters,
// and stores the address `resultTexts` gives for it in the record.
std::int32_t EvalPublishedVariables2(const CExcclExportedVariable& variables,
                                     automation::CExcExcelObj* session, std::uint32_t timestep,
                                     const ResultTextSink& resultTexts, void* variableRecord2,
                                     ExtStatusRecord* status);

// Appends a single-cell variable on a worksheet of the open workbook (the
// name must match exactly, case included) and writes its handle into the
// record (EXT_ADD_PUBVAR_RECORD_MIN_SIZE bytes).
std::int32_t AddPublishedVariable(CExcclExportedVariable& variables,
                                  automation::CExcExcelObj* session, void* addRecord,
                                  ExtStatusRecord* status);

// Deletes the variable with `handle`, or every variable for -1.
std::int32_t DelPublishedVariable(CExcclExportedVariable& variables, std::int32_t handle,
                                  ExtStatusRecord* status);

// The editing dialog's OK: the list becomes the rows, top to bottom, that
// have a name, a worksheet and a cell (none blank), with width and height
// clamped to 1 ... 10000.
void RebuildPublishedVariables(CExcclExportedVariable& variables,
                               const std::vector<CExcExportedVariable>& rows);

// `value` as printf's "%g" prints it in the C locale.
std::string FormatPublishedValue(double value);

}  // namespace optimisation
