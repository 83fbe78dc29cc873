#include "automation/worksheet_functions.h"

#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>
#include <utility>

#include "automation/server_object.h"
#include "automation/spreadsheet_lock.h"
#include "com/error.h"
#include "text/message_format.h"

namespace automation {
namespace {

struct FunctionSession {
  std::mutex callLock;  // one call at a time on the handle
  bool destroyed = false;
  std::unique_ptr<CExcServerObj> server;
};

class SessionTable {
 public:
  void Add(FnSession handle, std::shared_ptr<FunctionSession> session) {
    const std::lock_guard<std::mutex> guard(mutex_);
    sessions_[handle] = std::move(session);
  }
  // A share that keeps the session allocated while a call runs on it.
  std::shared_ptr<FunctionSession> Find(FnSession handle) const {
    const std::lock_guard<std::mutex> guard(mutex_);
    const auto found = sessions_.find(handle);
    return found != sessions_.end() ? found->second : nullptr;
  }
  std::shared_ptr<FunctionSession> Remove(FnSession handle) {
    const std::lock_guard<std::mutex> guard(mutex_);
    const auto found = sessions_.find(handle);
    if (found == sessions_.end()) return nullptr;
    std::shared_ptr<FunctionSession> session = std::move(found->second);
    sessions_.erase(found);
    return session;
  }
  std::size_t Count() const {
    const std::lock_guard<std::mutex> guard(mutex_);
    return sessions_.size();
  }

 private:
  mutable std::mutex mutex_;
  std::unordered_map<FnSession, std::shared_ptr<FunctionSession>> sessions_;
};

// Never freed: a caller's thread may still use a handle while static
// destructors run at exit.
SessionTable& Sessions() {
  static SessionTable* const table = new SessionTable;
  return *table;
}

void Print(Message message, const char* text) {
  text::PrintMessage(message.data(), message.size(), "%s", text);
}

// Runs body(server, session) on a live handle with a session, its call lock
// held.
template <typename Body>
int WithSession(FnSession handle, Message message, Body body) {
  const std::shared_ptr<FunctionSession> entry = Sessions().Find(handle);
  if (!entry) {
    Print(message, kUnknownFunctionSessionMessage);
    return 1;
  }
  const std::lock_guard<std::mutex> guard(entry->callLock);
  if (entry->destroyed) {
    Print(message, kUnknownFunctionSessionMessage);
    return 1;
  }
  // As every model operation: one caller drives the spreadsheet at a time.
  const SpreadsheetLock spreadsheet;
  CExcExcelObj* session = entry->server->Session();
  if (session == nullptr) {
    Print(message, kNoConnectionMessage);
    return 1;
  }
  return body(*entry->server, *session);
}

// The current worksheet: `sheet` selected, or else added under that name. A
// blank name adds a sheet of the application's default name every time.
int SelectOrAdd(CExcExcelObj& session, const std::string& sheet, Message message) {
  if (!session.SelectWorksheet(sheet)) return 0;
  return PrintFailure(session.AddWorksheet(sheet), message);
}

// One write through `write` after SelectOrAdd; a failure's message names
// `what` was written (empty for the value), the cell and the reason.
template <typename Write>
int WriteCell(FnSession handle, const std::string& sheet, const std::string& address,
              const char* what, Message message, Write write) {
  return WithSession(handle, message, [&](CExcServerObj&, CExcExcelObj& session) {
    if (SelectOrAdd(session, sheet, message) != 0) return 1;
    std::string failure;
    try {
      if (write(session) == 0) return 0;
      // Selected, yet no worksheet to write to: a chart sheet of that name.
      failure = sheet + " is not a worksheet";
    } catch (const com::Error& error) {
      failure = error.ErrorMessage();
    }
    text::PrintMessage(message.data(), message.size(), "Could not set %s%s.Cell[%s] (%s)", what,
                       sheet.c_str(), address.c_str(), failure.c_str());
    return 1;
  });
}

}  // namespace

FnSession CreateFunctionSession() {
  try {
    auto entry = std::make_shared<FunctionSession>();
    entry->server = std::make_unique<CExcServerObj>();
    const auto handle = reinterpret_cast<FnSession>(entry.get());
    Sessions().Add(handle, std::move(entry));
    return handle;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

int DestroyFunctionSession(FnSession handle) {
  const std::shared_ptr<FunctionSession> entry = Sessions().Remove(handle);
  if (!entry) return 0;
  const std::lock_guard<std::mutex> guard(entry->callLock);
  const SpreadsheetLock spreadsheet;
  entry->destroyed = true;
  entry->server.reset();  // leaves the registry, closes, quits
  return 0;
}

int FunctionNewFile(FnSession handle, Message message) {
  return FunctionOpenFile(handle, std::string(), message);
}

int FunctionOpenFile(FnSession handle, const std::string& path, Message message) {
  return WithSession(handle, message, [&](CExcServerObj& server, CExcExcelObj&) {
    return server.Open(path, {}, /*reopen=*/false, message);
  });
}

int FunctionCreateWorksheet(FnSession handle, const std::string& sheet, Message message) {
  return WithSession(handle, message, [&](CExcServerObj&, CExcExcelObj& session) {
    return PrintFailure(session.AddWorksheet(sheet), message);
  });
}

int FunctionSelectWorksheet(FnSession handle, const std::string& sheet, Message message) {
  return WithSession(handle, message, [&](CExcServerObj&, CExcExcelObj& session) {
    return PrintFailure(session.SelectWorksheet(sheet), message);
  });
}

int FunctionGetCell(FnSession handle, const std::string& sheet, const std::string& address,
                    com::Variant& value, Message message) {
  value.Clear();
  return WithSession(handle, message, [&](CExcServerObj&, CExcExcelObj& session) {
    if (PrintFailure(session.SelectWorksheet(sheet), message) != 0) return 1;
    try {
      value = session.GetCellValue(address);
      return 0;
    } catch (...) {
      // A failed read has always answered 1 with an empty message, and
      // hosts test for that; the reason is not passed on.
      value.Clear();
      Print(message, "");
      return 1;
    }
  });
}

int FunctionSetCell(FnSession handle, const std::string& sheet, const std::string& address,
                    const com::Variant& value, Message message) {
  return WriteCell(handle, sheet, address, "", message,
                   [&](CExcExcelObj& session) { return session.SetCellValue(address, value); });
}

int FunctionPutNumberFormat(FnSession handle, const std::string& sheet, const std::string& address,
                            const com::Variant& format, Message message) {
  return WriteCell(handle, sheet, address, "the number format of ", message,
                   [&](CExcExcelObj& session) { return session.SetNumberFormat(address, format); });
}

std::size_t LiveFunctionSessionCount() {
  return Sessions().Count();
}

}  // namespace automation
