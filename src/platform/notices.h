// Notices: what the driver wants a person to know about a run that is not a
// failure (a workbook macro showed a message box, say). The host's calls
// answer through status records only, and those carry no text on success,
// so a notice goes to standard error and, when the host names one in
// GRIDMOOR_NOTICE_FILE, is appended to that file as one line.
#pragma once

#include <string_view>

namespace platform {

inline constexpr const char* kNoticeFileVariable = "GRIDMOOR_NOTICE_FILE";

// Line breaks in `text` become spaces, so that one notice is one line.
// Never fails: a file that cannot be written loses the notice there only.
void PublishNotice(std::string_view text);

}  // namespace platform
