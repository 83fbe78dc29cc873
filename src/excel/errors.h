// HRESULTs that the spreadsheet application raises and the error values its
// cells hold.
#pragma once

#include <string_view>

#include "com/hresult.h"

namespace excel {

// A failure the application reports as its own ("application-defined or
// object-defined error"): unknown file, refused address, refused name.
inline constexpr com::HRESULT kApplicationError = com::SHEET_E_APPLICATION_DEFINED;

// The VT_ERROR codes of error cells.
inline constexpr com::SCODE kErrNull = com::MakeHresult(0x800A07D0u);   // #NULL!
inline constexpr com::SCODE kErrDiv0 = com::MakeHresult(0x800A07D7u);   // #DIV/0!
inline constexpr com::SCODE kErrValue = com::MakeHresult(0x800A07DFu);  // #VALUE!
inline constexpr com::SCODE kErrRef = com::MakeHresult(0x800A07E7u);    // #REF!
inline constexpr com::SCODE kErrName = com::MakeHresult(0x800A07EDu);   // #NAME?
inline constexpr com::SCODE kErrNum = com::MakeHresult(0x800A07F4u);    // #NUM!
inline constexpr com::SCODE kErrNA = com::MakeHresult(0x800A07FAu);     // #N/A

struct ErrorValueNaming {
  com::SCODE code;
  std::string_view name;
};
// Each error value with the name its cell shows.
inline constexpr ErrorValueNaming kErrorValueNames[] = {
    {kErrNull, "#NULL!"}, {kErrDiv0, "#DIV/0!"}, {kErrValue, "#VALUE!"}, {kErrRef, "#REF!"},
    {kErrName, "#NAME?"}, {kErrNum, "#NUM!"},    {kErrNA, "#N/A"}};

// "#DIV/0!" for kErrDiv0; empty for a code that is no error value.
constexpr std::string_view ErrorValueName(com::SCODE code) {
  for (const ErrorValueNaming& naming : kErrorValueNames) {
    if (naming.code == code) return naming.name;
  }
  return {};
}

}  // namespace excel
