#include "casedata/composition.h"

#include "automation/cell_address.h"
#include "text/ascii.h"

namespace casedata {

CExcCompositionDefinition* FindComposition(const CExcclCompositionDefinition& list,
                                           std::string_view name, int* index) {
  for (std::size_t i = 0; i < list.size(); ++i) {
    CExcCompositionDefinition* definition = list.At(i);
    if (definition != nullptr && definition->Key() == name) {
      if (index != nullptr) *index = static_cast<int>(i);
      return definition;
    }
  }
  if (index != nullptr) *index = -1;
  return nullptr;
}

std::string MakeUniqueCompositionName(const CExcclCompositionDefinition& list) {
  // Among size + 1 candidates one is always free.
  for (std::size_t n = 1;; ++n) {
    std::string name = "Comp" + std::to_string(n);
    if (FindComposition(list, name) == nullptr) return name;
  }
}

std::string DescribeComposition(const CExcCompositionDefinition& definition) {
  constexpr std::size_t kLongest = 50;
  std::string text = std::to_string(definition.ComponentCount()) + " components ";
  const std::vector<std::string>& names = definition.components;
  for (std::size_t i = 0; i < names.size(); ++i) {
    text += i == 0 ? "(" : " ";
    text += names[i];
    if (text.size() > kLongest) {
      text += "...)";
      break;
    }
    if (i + 1 == names.size()) text += ")";
  }
  return text;
}

void ApplyCompositionNames(CExcclCompositionDefinition& list,
                           const std::vector<std::string>& typedNames) {
  for (std::size_t i = 0; i < list.size() && i < typedNames.size(); ++i) {
    CExcCompositionDefinition* definition = list.At(i);
    if (definition == nullptr) continue;
    const std::string& typed = typedNames[i];
    const CExcCompositionDefinition* holder = FindComposition(list, typed);
    if (text::IsBlank(typed) || (holder != nullptr && holder != definition)) {
      definition->name = MakeUniqueCompositionName(list);
    } else {
      definition->name = typed;
    }
  }
}

void SetComponentNames(CExcCompositionDefinition& definition,
                       const std::vector<std::string>& rows) {
  definition.components.clear();
  for (const std::string& row : rows) {
    if (text::IsBlank(row)) break;
    definition.components.push_back(row);
  }
}

}  // namespace casedata
