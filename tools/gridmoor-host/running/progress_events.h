// Progress for programs (--progress json): one JSON object per line,
// flushed as it happens, so that a caller reads events, never human text.
// Every object has "event"; the rest depends on it (docs/progress-json.md).
#pragma once

#include <cstddef>
#include <filesystem>
#include <ios>
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

// One run's events as run-many's child writes them to a file, passed on as
// they grow with the run's name and index; the run's own "started" and
// "finished" are left out (scenario-started and scenario-finished say so).
class EventRelay {
 public:
  EventRelay(std::filesystem::path file, std::string name, std::size_t index)
      : file_(std::move(file)), name_(std::move(name)), index_(index) {}
  // The complete lines written since the last call.
  void Forward(ProgressEvents& events);

 private:
  std::filesystem::path file_;
  std::string name_;
  std::size_t index_;
  std::streamoff offset_ = 0;
  std::string pending_;
};

// A finished timestep's event fields: t, date, each output stream's rates
// and pressure, and the optimum's objective, trials and feasibility.
nlohmann::json TimestepEventFields(int t, double date, const RunRecord& run);

// Milliseconds since this program started (its static objects were made).
double MillisecondsSinceStart();

// How a run ended, as "finished" says: "ok", "failed" or "interrupted".
std::string RunStatus(const RunRecord& run);

}  // namespace refhost
