// The work behind the worksheet function exports: sessions that another
// module of the host drives directly, each a server object of its own
// registered with the driver instances' ones, so that a workbook file is
// open in one of them at most.
//
// Handles are looked up in a table of live sessions before use: a handle
// never given out, or one destroyed, is refused, never followed. Calls on
// one handle are serialised, so that two threads cannot corrupt its session
// (the application still expects one thread per session).
//
// Operations return 0 or 1. A failure prints its message into `message`
// (which may be empty: nothing is written); a handle without a session fails
// with kNoConnectionMessage.
#pragma once

#include <cstddef>
#include <string>

#include "automation/excel_session.h"
#include "com/variants/variant.h"
#include "gridmoor/worksheet_functions.h"

namespace automation {

inline constexpr char kUnknownFunctionSessionMessage[] =
    "Unknown worksheet function handle (never created, or already destroyed)";

// Null only when memory runs out; a handle is returned even when no
// application could start.
FnSession CreateFunctionSession();
// Closes the workbook without saving and quits the application; waits for a
// call running on the handle. Null and unknown handles are ignored. Always 0.
int DestroyFunctionSession(FnSession handle);

// Open with the empty path: a new workbook, once (a second call does nothing).
int FunctionNewFile(FnSession handle, Message message);
// A path that names no file gives a new workbook remembered under it.
int FunctionOpenFile(FnSession handle, const std::string& path, Message message);
int FunctionCreateWorksheet(FnSession handle, const std::string& sheet, Message message);
int FunctionSelectWorksheet(FnSession handle, const std::string& sheet, Message message);
// The cell's value (the address as given, no column:row form). A failed read
// gives 1 and no message.
int FunctionGetCell(FnSession handle, const std::string& sheet, const std::string& address,
                    com::Variant& value, Message message);
// Select the sheet, else add one of that name; then write. A failed write
// gives 1 with the failure's text.
int FunctionSetCell(FnSession handle, const std::string& sheet, const std::string& address,
                    const com::Variant& value, Message message);
int FunctionPutNumberFormat(FnSession handle, const std::string& sheet, const std::string& address,
                            const com::Variant& format, Message message);

// Live handles (tests).
std::size_t LiveFunctionSessionCount();

}  // namespace automation
