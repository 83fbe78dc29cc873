// The text of a COM failure code, worded as the system words it.
#pragma once

#include <string>
#include <string_view>

#include "com/hresult.h"

namespace com {

// The system message text of `hr` exactly as the message table holds it
// (ending in CR LF), or an empty view when the system has no text for it.
std::string_view SystemMessageText(HRESULT hr);

// Removes one trailing line feed and then one carriage return before it, as
// message texts are trimmed for display. A text of a single character is
// left alone.
std::string TrimMessageLineEnd(std::string_view text);

// The system text of `hr` trimmed; when the system has none:
// "IDispatch error #n" for codes 0x80040201..0x8004FFFF (n = low 16 bits
// minus 0x200), otherwise "Unknown error 0x%0lX" with the code's 32 bits.
std::string ComErrorText(HRESULT hr);

}  // namespace com
