// Cell texts and the number each is, as every reader of a number from a
// cell must take them: a text counts only when it is wholly a number.
#pragma once

#include <optional>

namespace test_support {

struct CellTextCase {
  const char* text;
  std::optional<double> number;  // none: not a number
};

inline const CellTextCase kCellTexts[] = {
    {"abc", std::nullopt},  {"5,479.4", std::nullopt},
    {"n/a", std::nullopt},  {" 12.5 ", 12.5},
    {"1e3", 1000.0},        {"", std::nullopt},
    {"-", std::nullopt},    {"1.2.3", std::nullopt},
    {"0x10", std::nullopt}, {"inf", std::nullopt},
    {"nan", std::nullopt},  {"3e2 bbl", std::nullopt},
    {"-.5E+1", -5.0},       {"\t7\t", 7.0},
};

}  // namespace test_support
