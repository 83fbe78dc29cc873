// Named compositions: the case keeps a list of them, each an ordered list of
// component names; a stream refers to one by name, and the numbers of each
// component travel per stream through the worksheet.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "casedata/collection_object.h"
#include "casedata/ext_collection.h"

namespace casedata {

// The most components a composition may hold: the host's records have room
// for this many.
inline constexpr std::size_t kMaxComponents = 100;

class CExcCompositionDefinition : public CExtCollectionObject {
 public:
  CExcCompositionDefinition() = default;
  CExcCompositionDefinition(std::string name, std::vector<std::string> components)
      : name(std::move(name)), components(std::move(components)) {}

  std::string Key() const override { return name; }
  std::size_t ComponentCount() const { return components.size(); }

  std::string name;
  // In the order of the rows of the workbook's component table.
  std::vector<std::string> components;
};

// The case's list of compositions; it owns (and deep-copies) its elements.
using CExcclCompositionDefinition = CExtCollection<CExcCompositionDefinition>;

// The first composition whose key equals `name` exactly (case-sensitive), or
// null; `index` (when given) receives its position, or -1.
CExcCompositionDefinition* FindComposition(const CExcclCompositionDefinition& list,
                                           std::string_view name, int* index = nullptr);

// "Comp%d" with the smallest n >= 1 that no composition of the list has as
// its key.
std::string MakeUniqueCompositionName(const CExcclCompositionDefinition& list);

// The summary shown beside a composition in the list: "3 components (X Y Z)";
// a list that grows past 50 characters ends with "...)" after the name that
// carried it past; no components gives "0 components ".
std::string DescribeComposition(const CExcCompositionDefinition& definition);

// Names the compositions of `list` from the names typed for them, row i for
// composition i, in list order. A blank name, or one another composition
// has at that moment (compositions later in the list still have their old
// names), is replaced by MakeUniqueCompositionName. Rows beyond the list are
// ignored; compositions without a row keep their names.
void ApplyCompositionNames(CExcclCompositionDefinition& list,
                           const std::vector<std::string>& typedNames);

// Refills the component list from the editor's rows, top down, stopping at
// the first blank row; names are kept as typed. A list may hold more than
// kMaxComponents names (case data can): the transfer refuses it then, with a
// message, rather than the editor dropping names.
void SetComponentNames(CExcCompositionDefinition& definition, const std::vector<std::string>& rows);

}  // namespace casedata
