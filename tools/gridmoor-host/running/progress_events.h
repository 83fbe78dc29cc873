// Progress for programs (--progress json): one JSON object per line,
// flushed as it happens, so that a caller reads events, never human text.
// Every object has "event"; the rest depends on it (docs/progress-json.md).
#pragma once

#include <ostream>
#include <string>

#include <nlohmann/json.hpp>

#include "scenario/run_record.h"

namespace refhost {

class ProgressEvents {
 public:
  explicit ProgressEvents(std::ostream& out) : out_(out) {}
  // {"event": event, ...fields} on one line.
  void Emit(const std::string& event, nlohmann::json fields = nlohmann::json::object());

 private:
  std::ostream& out_;
};

// A finished timestep's event fields: t, date, each output stream's rates
// and pressure, and the optimum's objective, trials and feasibility.
nlohmann::json TimestepEventFields(int t, double date, const RunRecord& run);

// How a run ended, as "finished" says: "ok", "failed" or "interrupted".
std::string RunStatus(const RunRecord& run);

}  // namespace refhost
