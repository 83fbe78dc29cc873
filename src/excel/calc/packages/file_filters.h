// The office's filters for the files the driver saves and opens, chosen by
// the file's extension. Kept free of UNO so that they are unit tested alone.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace excel::calc {

// The save filter for a file by its extension (.xlsx, .xlsm, .xls, .ods,
// .fods, .csv; any case); nullopt for another extension.
std::optional<std::string> SaveFilterForPath(std::string_view path);

// The import filter and its options when the type must be given (.csv);
// nullopt leaves the choice to the office's type detection.
struct ImportFilter {
  std::string name;
  std::string options;
};
std::optional<ImportFilter> ImportFilterForPath(std::string_view path);

}  // namespace excel::calc
