#include "excel/calc/basic/macro_names.h"

#include "excel/calc/basic/basic_procedures.h"
#include "text/ascii.h"

namespace excel::calc {
namespace {

using text::EqualsNoCase;

std::vector<std::string> SplitDots(std::string_view text) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t dot = text.find('.', start);
    parts.emplace_back(text.substr(start, dot == std::string_view::npos ? text.npos : dot - start));
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  return parts;
}

}  // namespace

std::optional<MacroName> ParseMacroName(std::string_view text) {
  text = text::Trim(text);
  MacroName name;
  std::string_view rest = text;
  if (!rest.empty() && rest.front() == '\'') {
    const std::size_t close = rest.find("'!", 1);
    if (close == std::string_view::npos) return std::nullopt;
    name.book = std::string(rest.substr(1, close - 1));
    rest.remove_prefix(close + 2);
    if (name.book.empty()) return std::nullopt;
  } else if (const std::size_t bang = rest.find('!'); bang != std::string_view::npos) {
    name.book = std::string(rest.substr(0, bang));
    rest.remove_prefix(bang + 1);
    if (name.book.empty()) return std::nullopt;
  }
  const std::vector<std::string> parts = SplitDots(rest);
  if (parts.size() > 3) return std::nullopt;
  for (const std::string& part : parts) {
    if (!IsBasicIdentifier(part)) return std::nullopt;
  }
  name.procedure = parts.back();
  if (parts.size() >= 2) name.module = parts[parts.size() - 2];
  if (parts.size() == 3) name.library = parts[0];
  return name;
}

const MacroEntry* FindMacro(const std::vector<MacroEntry>& entries, const MacroName& name) {
  for (const MacroEntry& entry : entries) {
    if (!EqualsNoCase(entry.procedure.name, name.procedure)) continue;
    if (!name.module.empty() && !EqualsNoCase(entry.module, name.module)) continue;
    if (!name.library.empty() && !EqualsNoCase(entry.library, name.library)) continue;
    return &entry;
  }
  return nullptr;
}

}  // namespace excel::calc
