// The case record's version history: which version first (or last) carries
// each part of the layout. Readers accept every version from 1 to the
// current one; writers always write the current one.
#pragma once

#include <cstdint>

namespace archive {

inline constexpr std::uint32_t kOldestVersion = 1;
inline constexpr std::uint32_t kCurrentVersion = 40;

// Case record.
constexpr bool HasOptimisation(std::uint32_t v) {
  return v >= 2;
}  // objective, constraints
constexpr bool HasUseCompositions(std::uint32_t v) {
  return v >= 3;
}
constexpr bool HasLegacyComposition(std::uint32_t v) {
  return v >= 3 && v <= 9;
}
constexpr bool HasNamedCompositions(std::uint32_t v) {
  return v >= 10;
}
constexpr bool HasControls(std::uint32_t v) {
  return v >= 6;
}
constexpr bool HasCasePublishedVariables(std::uint32_t v) {
  return v >= 11 && v <= 30;
}
constexpr bool HasHideInterface(std::uint32_t v) {
  return v >= 14;
}
constexpr bool HasIntegerControls(std::uint32_t v) {
  return v >= 21;
}
// From version 31 the published variables travel in the model data file.
constexpr bool HasModelDataFile(std::int64_t v) {
  return v >= 31;
}

// Stream records: the composition block grew field by field.
constexpr bool HasCompositionBlock(std::uint32_t v) {
  return v >= 3;
}
constexpr bool HasMassRate(std::uint32_t v) {
  return v >= 4;
}
constexpr bool HasEosModel(std::uint32_t v) {
  return v >= 5;
}
// Before named compositions every stream used the one legacy composition.
constexpr bool HasCompositionName(std::uint32_t v) {
  return v >= 10;
}

// Integer controls: the number of state pairs stored.
constexpr int StatePairCount(std::uint32_t v) {
  return v >= 33 ? 20 : 10;
}

// Published variables.
constexpr bool HasCascade(std::uint32_t v) {
  return v >= 13;
}
constexpr bool HasRegion(std::uint32_t v) {
  return v >= 32;
}
constexpr bool HasDelimiters(std::uint32_t v) {
  return v >= 40;
}

}  // namespace archive
