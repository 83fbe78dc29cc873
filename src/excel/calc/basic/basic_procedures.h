// The Sub and Function procedures of a Basic module's source, and the
// source cut down to one of them. Kept free of UNO so that they are unit
// tested alone.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace excel::calc {

// A Sub or Function of a Basic module.
struct BasicProcedure {
  std::string name;
  bool isFunction = false;
};
// The procedures a module's source declares, in order.
std::vector<BasicProcedure> FindBasicProcedures(std::string_view source);
// The module's source with the lines of every procedure but the `keep`-th
// (as FindBasicProcedures counts them) left blank: the module's
// declarations and that one procedure, on their own lines. With
// kDeclarationsOnly every procedure is left blank.
inline constexpr std::size_t kDeclarationsOnly = static_cast<std::size_t>(-1);
std::string SourceWithOnlyProcedure(std::string_view source, std::size_t keep);

// A Basic name: a letter (of any script), then letters, digits and
// underscores.
bool IsBasicIdentifier(std::string_view text);

}  // namespace excel::calc
