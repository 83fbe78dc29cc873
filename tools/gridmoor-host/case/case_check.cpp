#include "case/case_check.h"

#include <cmath>

#include "casedata/component_columns.h"
#include "casedata/stream_data.h"
#include "casedata/unit_table.h"
#include "common/csv.h"
#include "gridmoor/host.h"

namespace refhost {
namespace {

using nlohmann::json;

std::string Index(const std::string& path, std::size_t i) {
  return path + "[" + std::to_string(i) + "]";
}

bool Blank(const json& object, const char* key) {
  if (!object.contains(key) || !object[key].is_string()) return true;
  return object[key].get<std::string>().find_first_not_of(' ') == std::string::npos;
}

// The dump writes non-finite numbers as the texts "NaN", "Infinity" and
// "-Infinity".
bool Finite(const json& value, double& number) {
  if (!value.is_number()) return false;
  number = value.get<double>();
  return std::isfinite(number);
}

void CellReference(const json& item, const std::string& path, std::vector<std::string>& out) {
  for (const char* key : {"worksheet", "cell"})
    if (Blank(item, key)) out.push_back(path + "." + key + ": empty; the item is bound to no cell");
}

void Bounds(const json& control, const std::string& path, std::vector<std::string>& out) {
  double lower = 0, upper = 0;
  bool finite = true;
  for (const char* key : {"lowerBound", "upperBound"}) {
    double number = 0;
    if (control.contains(key) && !Finite(control[key], number)) {
      out.push_back(path + "." + key + ": " + control[key].dump() + " is not a finite number");
      finite = false;
    }
  }
  if (!finite) return;
  lower = control.value("lowerBound", EXT_UNDEFINED_VALUE);
  upper = control.value("upperBound", EXT_UNDEFINED_VALUE);
  if (lower < EXT_UNDEFINED_THRESHOLD && upper < EXT_UNDEFINED_THRESHOLD && lower > upper)
    out.push_back(path + ".lowerBound: " + FormatNumber(lower) + " is above upperBound " +
                  FormatNumber(upper));
}

// `value` at `path` must index a unit of `kind`.
void Unit(const json& value, int kind, const std::string& path, std::vector<std::string>& out) {
  if (kind == casedata::kNoKind || !value.is_number_integer()) return;
  const long unit = value.get<long>();
  const int count = casedata::UnitCount(kind);
  if (unit >= 0 && unit < count) return;
  out.push_back(path + ": " + std::to_string(unit) + " is not a unit of " +
                casedata::UnitKindName(kind) + " (0 to " + std::to_string(count - 1) + ")");
}

template <typename Rows>
void PropertyCells(const json& stream, const char* key, const Rows& rows, const std::string& path,
                   std::vector<std::string>& out) {
  if (!stream.contains(key) || !stream[key].is_array()) return;
  const json& cells = stream[key];
  for (std::size_t r = 0; r < cells.size() && r < rows.size(); ++r)
    if (!Blank(cells[r], "cell"))
      Unit(cells[r].value("unit", json()), rows[r].kind, Index(path + "." + key, r) + ".unit", out);
}

void Composition(const json& stream, const std::string& path, std::vector<std::string>& out) {
  if (!stream.contains("composition") || !stream["composition"].is_object()) return;
  const json& block = stream["composition"];
  const std::string where = path + ".composition";
  if (!Blank(block, "massRateCell"))
    Unit(block.value("massRateUnit", json()), casedata::kMassRate, where + ".massRateUnit", out);
  if (Blank(block, "componentTableCell") || !block.contains("columnUnits")) return;
  const json& units = block["columnUnits"];
  for (std::size_t k = 0;
       units.is_array() && k < units.size() && k < casedata::kComponentColumns.size(); ++k)
    Unit(units[k], casedata::kComponentColumns[k].kind, Index(where + ".columnUnits", k), out);
}

template <typename Visit>
void Each(const json& decoded, const char* key, Visit visit) {
  if (!decoded.contains(key) || !decoded[key].is_array()) return;
  for (std::size_t i = 0; i < decoded[key].size(); ++i)
    visit(decoded[key][i], Index(key, i));
}

}  // namespace

std::vector<std::string> CaseItemProblems(const json& decoded) {
  std::vector<std::string> out;
  if (!decoded.is_object()) return out;
  if (decoded.contains("objective") && decoded["objective"].value("defined", false))
    CellReference(decoded["objective"], "objective", out);
  Each(decoded, "constraints", [&](const json& c, const std::string& path) {
    CellReference(c, path, out);
    const json type = c.value("constraintType", json(0));
    if (!type.is_number_integer() || type.get<long>() < 0 || type.get<long>() > 2)
      out.push_back(path + ".constraintType: " + type.dump() +
                    " is not 0 (less than), 1 (equal to) or 2 (greater than)");
    double limit = 0;
    if (c.contains("limit") && !Finite(c["limit"], limit))
      out.push_back(path + ".limit: " + c["limit"].dump() + " is not a finite number");
  });
  Each(decoded, "controls", [&](const json& c, const std::string& path) {
    CellReference(c, path, out);
    Bounds(c, path, out);
  });
  Each(decoded, "integerControls",
       [&](const json& c, const std::string& path) { CellReference(c, path, out); });
  Each(decoded, "inputStreams", [&](const json& s, const std::string& path) {
    PropertyCells(s, "solverCells", casedata::kInputRows, path, out);
    PropertyCells(s, "forecastCells", casedata::kInputRows, path, out);
    Composition(s, path, out);
  });
  Each(decoded, "outputStreams", [&](const json& s, const std::string& path) {
    PropertyCells(s, "propertyCells", casedata::kOutputRows, path, out);
    Composition(s, path, out);
  });
  return out;
}

}  // namespace refhost
