// Day numbers as the XML files write them. A day number counts days from 30
// December 1899 (the host's date numbers), the fraction being the time of
// day; 3.4e35 means no date.
#pragma once

#include <string>
#include <string_view>

namespace xml {

// "2024-01-06T15:04:05.000Z"; the empty text for no date, or for a day
// number outside the calendar.
std::string DateToText(double days);

// The day number of a text of the form DateToText writes ("T" and "Z" may
// be blanks, the time and its fraction may be left out); 3.4e35 when the
// text is not such a date.
double TextToDate(std::string_view text);

}  // namespace xml
