// HRESULT failure and success codes the driver meets, with their 32-bit
// values. They are constants, not macros, so they live in namespace com and
// work as case labels.
#pragma once

#include <cstdint>

#include "com/oleauto_types.h"

namespace com {

// The codes are written unsigned and cast, so that 0x8xxxxxxx keeps its bit
// pattern in the signed 32-bit HRESULT.
constexpr HRESULT MakeHresult(std::uint32_t bits) {
  return static_cast<HRESULT>(bits);
}

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;

inline constexpr HRESULT E_NOTIMPL = MakeHresult(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = MakeHresult(0x80004002u);
inline constexpr HRESULT E_POINTER = MakeHresult(0x80004003u);
inline constexpr HRESULT E_ABORT = MakeHresult(0x80004004u);
inline constexpr HRESULT E_FAIL = MakeHresult(0x80004005u);
inline constexpr HRESULT E_UNEXPECTED = MakeHresult(0x8000FFFFu);
inline constexpr HRESULT E_ACCESSDENIED = MakeHresult(0x80070005u);
inline constexpr HRESULT E_HANDLE = MakeHresult(0x80070006u);
inline constexpr HRESULT E_OUTOFMEMORY = MakeHresult(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = MakeHresult(0x80070057u);

inline constexpr HRESULT DISP_E_UNKNOWNINTERFACE = MakeHresult(0x80020001u);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = MakeHresult(0x80020003u);
inline constexpr HRESULT DISP_E_PARAMNOTFOUND = MakeHresult(0x80020004u);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = MakeHresult(0x80020005u);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = MakeHresult(0x80020006u);
inline constexpr HRESULT DISP_E_NONAMEDARGS = MakeHresult(0x80020007u);
inline constexpr HRESULT DISP_E_BADVARTYPE = MakeHresult(0x80020008u);
inline constexpr HRESULT DISP_E_EXCEPTION = MakeHresult(0x80020009u);
inline constexpr HRESULT DISP_E_OVERFLOW = MakeHresult(0x8002000Au);
inline constexpr HRESULT DISP_E_BADINDEX = MakeHresult(0x8002000Bu);
inline constexpr HRESULT DISP_E_ARRAYISLOCKED = MakeHresult(0x8002000Du);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = MakeHresult(0x8002000Eu);
inline constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = MakeHresult(0x8002000Fu);

inline constexpr HRESULT REGDB_E_READREGDB = MakeHresult(0x80040150u);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = MakeHresult(0x80040154u);
inline constexpr HRESULT CO_E_CLASSSTRING = MakeHresult(0x800401F3u);
inline constexpr HRESULT CO_E_SERVER_EXEC_FAILURE = MakeHresult(0x80080005u);

inline constexpr HRESULT RPC_E_CALL_REJECTED = MakeHresult(0x80010001u);
inline constexpr HRESULT RPC_E_DISCONNECTED = MakeHresult(0x80010108u);
inline constexpr HRESULT RPC_E_SERVERCALL_RETRYLATER = MakeHresult(0x8001010Au);
// RPC_S_SERVER_UNAVAILABLE (Win32 error 1722) as an HRESULT.
inline constexpr HRESULT RPC_E_SERVER_UNAVAILABLE = MakeHresult(0x800706BAu);

// The spreadsheet application's own "application-defined or object-defined"
// failure, raised by its object model for most refused operations. The
// system has no message text for it.
inline constexpr HRESULT SHEET_E_APPLICATION_DEFINED = MakeHresult(0x800A03ECu);

constexpr bool SUCCEEDED(HRESULT hr) {
  return hr >= 0;
}
constexpr bool FAILED(HRESULT hr) {
  return hr < 0;
}

}  // namespace com
