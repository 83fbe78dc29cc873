// The reference host's inputs table (`inputs` as a CSV file), as `run` reads
// it before any office starts. No input may crash or upset the sanitizers;
// every refusal is one line; an accepted table holds only finite numbers
// within the record's bounds, names no value in two columns, and reads the
// same behind the byte-order mark spreadsheets write.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "common/csv.h"
#include "gridmoor/host.h"
#include "scenario/scenario.h"

namespace {

using Inputs = std::map<std::string, refhost::InputSeries>;

bool Finite(const std::vector<double>& values) {
  for (double value : values)
    if (!std::isfinite(value)) return false;
  return values.size() <= EXT_IPR_MAX_COMPONENTS;
}

void CheckAccepted(const std::string& text, const Inputs& inputs) {
  for (const auto& [name, series] : inputs) {
    if (name.empty() || series.empty()) std::abort();
    for (const auto& [t, state] : series) {
      if (t < 0 || t > 100000) std::abort();
      for (double value : state.scalars)
        if (!std::isfinite(value)) std::abort();  // given, or the missing-value marker
      if (!Finite(state.moleFractions) || state.interaction.size() > EXT_IPR_MAX_COMPONENTS)
        std::abort();
      for (const auto& values : state.properties)
        if (!Finite(values)) std::abort();
      for (const auto& row : state.interaction)
        if (!Finite(row)) std::abort();
      if (state.eosModel != EXT_EOS_PR && state.eosModel != EXT_EOS_SRK &&
          state.eosModel != EXT_EOS_OTHER)
        std::abort();
    }
  }
  // No header names a column twice.
  const bool mark = text.rfind("\xEF\xBB\xBF", 0) == 0;
  const auto rows = refhost::ParseCsv(mark ? text.substr(3) : text);
  if (!rows || rows->empty()) std::abort();
  const refhost::CsvRow& header = rows->front();
  if (std::set<std::string>(header.begin(), header.end()).size() != header.size()) std::abort();
}

bool Same(const refhost::StreamState& a, const refhost::StreamState& b) {
  for (std::size_t i = 0; i < a.scalars.size(); ++i)
    if (std::memcmp(&a.scalars[i], &b.scalars[i], sizeof(double)) != 0) return false;
  return a.eosModel == b.eosModel && a.compositionPresent == b.compositionPresent &&
         a.moleFractions == b.moleFractions && a.properties == b.properties &&
         a.interaction == b.interaction;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const auto parsed = refhost::ParseInputCsv(text);
  const bool read = static_cast<bool>(parsed);
  const std::string error = parsed.GetError().Message();
  const Inputs inputs = read ? *parsed : Inputs{};
  if (!read) {
    if (error.empty() || error.find('\n') != std::string::npos) std::abort();
  } else {
    CheckAccepted(text, inputs);
  }
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) return 0;
  const auto markedParse = refhost::ParseInputCsv("\xEF\xBB\xBF" + text);
  if (static_cast<bool>(markedParse) != read) std::abort();
  if (!read) {
    if (markedParse.GetError().Message() != error) std::abort();
    return 0;
  }
  const Inputs& marked = *markedParse;
  if (marked.size() != inputs.size()) std::abort();
  for (auto a = inputs.begin(), b = marked.begin(); a != inputs.end(); ++a, ++b) {
    if (a->first != b->first || a->second.size() != b->second.size()) std::abort();
    for (auto x = a->second.begin(), y = b->second.begin(); x != a->second.end(); ++x, ++y)
      if (x->first != y->first || !Same(x->second, y->second)) std::abort();
  }
  return 0;
}
