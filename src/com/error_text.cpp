#include "com/error_text.h"

#include <cstdint>
#include <cstdio>

namespace com {
namespace {

struct MessageEntry {
  HRESULT code;
  std::string_view text;
};

// As the system message table holds the texts, trailing CR LF included.
constexpr MessageEntry kMessages[] = {
    {E_NOTIMPL, "Not implemented\r\n"},
    {E_NOINTERFACE, "No such interface supported\r\n"},
    {E_POINTER, "Invalid pointer\r\n"},
    {E_ABORT, "Operation aborted\r\n"},
    {E_FAIL, "Unspecified error\r\n"},
    {E_UNEXPECTED, "Catastrophic failure\r\n"},
    {E_ACCESSDENIED, "Access is denied.\r\n"},
    {E_HANDLE, "The handle is invalid.\r\n"},
    {E_OUTOFMEMORY, "Not enough memory resources are available to complete this operation.\r\n"},
    {E_INVALIDARG, "The parameter is incorrect.\r\n"},
    {DISP_E_UNKNOWNINTERFACE, "Unknown interface.\r\n"},
    {DISP_E_MEMBERNOTFOUND, "Member not found.\r\n"},
    {DISP_E_PARAMNOTFOUND, "Parameter not found.\r\n"},
    {DISP_E_TYPEMISMATCH, "Type mismatch.\r\n"},
    {DISP_E_UNKNOWNNAME, "Unknown name.\r\n"},
    {DISP_E_NONAMEDARGS, "No named arguments.\r\n"},
    {DISP_E_BADVARTYPE, "Bad variable type.\r\n"},
    {DISP_E_EXCEPTION, "Exception occurred.\r\n"},
    {DISP_E_OVERFLOW, "Out of present range.\r\n"},
    {DISP_E_BADINDEX, "Invalid index.\r\n"},
    {DISP_E_ARRAYISLOCKED, "Memory is locked.\r\n"},
    {DISP_E_BADPARAMCOUNT, "Invalid number of parameters.\r\n"},
    {DISP_E_PARAMNOTOPTIONAL, "Parameter not optional.\r\n"},
    {REGDB_E_READREGDB, "Could not read key from registry\r\n"},
    {REGDB_E_CLASSNOTREG, "Class not registered\r\n"},
    {CO_E_CLASSSTRING, "Invalid class string\r\n"},
    {CO_E_SERVER_EXEC_FAILURE, "Server execution failed\r\n"},
    {RPC_E_CALL_REJECTED, "Call was rejected by callee.\r\n"},
    {RPC_E_DISCONNECTED, "The object invoked has disconnected from its clients.\r\n"},
    {RPC_E_SERVERCALL_RETRYLATER, "The message filter indicated that the application is busy.\r\n"},
    {RPC_E_SERVER_UNAVAILABLE, "The RPC server is unavailable.\r\n"},
};

// The automation dispatch range: codes the dispatch layer hands out as
// "IDispatch error #n" when the system has no text for them.
constexpr std::uint32_t kDispatchFirst = 0x80040200u;
constexpr std::uint32_t kDispatchLast = 0x8004FFFFu;

}  // namespace

std::string_view SystemMessageText(HRESULT hr) {
  for (const MessageEntry& entry : kMessages) {
    if (entry.code == hr) return entry.text;
  }
  return {};
}

std::string TrimMessageLineEnd(std::string_view text) {
  if (text.size() > 1 && text.back() == '\n') {
    text.remove_suffix(1);
    if (text.back() == '\r') text.remove_suffix(1);
  }
  return std::string(text);
}

std::string ComErrorText(HRESULT hr) {
  const std::string_view system = SystemMessageText(hr);
  if (!system.empty()) return TrimMessageLineEnd(system);

  const auto bits = static_cast<std::uint32_t>(hr);
  char buffer[48];
  // The dispatch code is zero at the very start of the range, which then
  // reads as an unknown error.
  if (bits >= kDispatchFirst && bits <= kDispatchLast && (bits & 0xFFFFu) != 0x0200u) {
    std::snprintf(buffer, sizeof buffer, "IDispatch error #%d",
                  static_cast<int>(bits & 0xFFFFu) - 0x200);
  } else {
    std::snprintf(buffer, sizeof buffer, "Unknown error 0x%0lX", static_cast<unsigned long>(bits));
  }
  return buffer;
}

}  // namespace com
