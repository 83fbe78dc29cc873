// What the stream operations exchange with the host, as plain values: one
// stream of the case's list, a stream's values (flows, properties and
// composition, in internal units) and a composition's component names. The
// driver maps them onto the host's records; nothing here knows a byte.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "casedata/component_columns.h"
#include "casedata/composition.h"

namespace casedata {

// One stream as the case's list gives it. Input stream i has handle i,
// output stream j handle inputCount + j; the host passes the handle back to
// ask for the stream after it.
struct StreamListing {
  std::uint32_t handle = 0;
  bool isOutput = false;
  std::string name;
  std::string description;

  friend bool operator==(const StreamListing&, const StreamListing&) = default;
};

// The equation of state a stream's composition names.
inline constexpr std::uint32_t kEosOther = 0;
inline constexpr std::uint32_t kEosPengRobinson = 1;
inline constexpr std::uint32_t kEosSoaveRedlichKwong = 2;

// One value per component place; a composition uses the first
// ComponentCount() of them.
using ComponentValues = std::array<double, kMaxComponents>;

// A stream's values. The host passes them in for both directions: SetIPR
// writes them into an input stream's cells, GetIPR overwrites those its
// output stream's cells give and leaves the rest as the host had them.
// Doubles are in internal units; one above automation::kUndefinedThreshold
// was not given.
struct IprValues {
  std::uint32_t handle = 0;  // the stream, as StreamListing numbers it
  double oilRate = 0.0;
  double waterRate = 0.0;
  double gasRate = 0.0;
  double pressure = 0.0;
  double temperature = 0.0;
  double oilGravity = 0.0;
  double waterGravity = 0.0;
  double gasGravity = 0.0;

  // The composition: whether one was read (1) and how many components it
  // has, which properties it carries (kHas* bits) and the equation of state
  // (kEos*; the host may pass any number).
  std::uint32_t compositionPresent = 0;
  std::uint32_t componentCount = 0;
  std::uint32_t componentFlags = 0;
  std::uint32_t eosModel = kEosOther;
  double massRate = 0.0;
  // Column k (1 ... 14) of the component table is components[k - 1].
  std::vector<ComponentValues> components =
      std::vector<ComponentValues>(kComponentColumnCount, ComponentValues{});
  // Coefficient [i][j] of the binary interaction matrix; the diagonal has
  // none.
  std::vector<ComponentValues> interaction =
      std::vector<ComponentValues>(kMaxComponents, ComponentValues{});

  friend bool operator==(const IprValues&, const IprValues&) = default;
};

// The component names of a stream's composition, in table order (at most
// kMaxComponents).
struct ComponentList {
  std::vector<std::string> names;

  friend bool operator==(const ComponentList&, const ComponentList&) = default;
};

}  // namespace casedata
