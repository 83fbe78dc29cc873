// The versions of the case record. Readers accept every version from 1 to
// the current one; writers write the current one. Which version first (or
// last) holds each field is said beside the field in record_fields.h.
#pragma once

#include <cstdint>

namespace archive {

inline constexpr std::uint32_t kOldestVersion = 1;
inline constexpr std::uint32_t kCurrentVersion = 40;

// The case versions whose binary records hold a field: from `first` on,
// up to `last`.
struct Versions {
  constexpr Versions(std::uint32_t firstVersion = kOldestVersion,
                     std::uint32_t lastVersion = kCurrentVersion)
      : first(firstVersion), last(lastVersion) {}
  constexpr bool Hold(std::uint32_t version) const { return version >= first && version <= last; }

  std::uint32_t first;
  std::uint32_t last;
};

// From version 31 the published variables travel in the model data file.
constexpr bool HasModelDataFile(std::int64_t v) {
  return v >= 31;
}

}  // namespace archive
