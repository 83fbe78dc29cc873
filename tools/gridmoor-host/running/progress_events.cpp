#include "running/progress_events.h"

#include <chrono>
#include <cmath>
#include <fstream>
#include <iterator>

#include "common/csv.h"

namespace refhost {

namespace {

// Made with the program's other static objects, before main.
const std::chrono::steady_clock::time_point programStarted = std::chrono::steady_clock::now();

// A value the record does not have is null, never a sentinel number.
nlohmann::json Value(double value) {
  if (!std::isfinite(value) || value == kUndefined) return nullptr;
  return value;
}

}  // namespace

void ProgressEvents::Emit(const std::string& event, nlohmann::json fields) {
  nlohmann::json line = nlohmann::json::object();
  line["event"] = event;
  line.update(fields);
  // A name that is not UTF-8 (a file name) is replaced, never a throw.
  out_ << line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << std::endl;
}

void EventRelay::Forward(ProgressEvents& events) {
  std::ifstream in(file_, std::ios::binary);
  if (!in || !in.seekg(offset_)) return;
  std::string added((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  offset_ += static_cast<std::streamoff>(added.size());
  pending_ += added;
  for (std::size_t end = pending_.find('\n'); end != std::string::npos; end = pending_.find('\n')) {
    nlohmann::json event = nlohmann::json::parse(pending_.substr(0, end), nullptr, false);
    pending_.erase(0, end + 1);
    if (!event.is_object() || !event.contains("event")) continue;
    const nlohmann::json kind = event["event"];
    if (kind == "started" || kind == "finished") continue;
    event.erase("event");
    event["name"] = name_;
    event["index"] = index_;
    events.Emit(kind.get<std::string>(), std::move(event));
  }
}

nlohmann::json TimestepEventFields(int t, double date, const RunRecord& run) {
  nlohmann::json fields{{"t", t}, {"date", FormatIsoDate(date)}};
  nlohmann::json outputs = nlohmann::json::object();
  for (const StreamSample& sample : run.streamSamples) {
    const StreamInfo& stream = run.streams[sample.stream];
    if (sample.timestep != t || !stream.output) continue;
    nlohmann::json& values = outputs[stream.name];
    for (std::size_t i = 0; i < kScalarFields.size() && i < 5; ++i)
      values[kScalarFields[i].key] = Value(sample.state.scalars[i]);
  }
  fields["outputs"] = std::move(outputs);
  if (!run.results.empty() && run.results.back().timestep == t && run.results.back().optimised) {
    const OptimumResult& o = run.results.back().optimum;
    fields["objective"] = Value(o.value.objective);
    fields["trials"] = o.evaluations;
    fields["feasible"] = o.feasible;
  }
  return fields;
}

double MillisecondsSinceStart() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() -
                                                   programStarted)
      .count();
}

std::string RunStatus(const RunRecord& run) {
  if (run.interruptedBy != 0) return "interrupted";
  return run.failure ? "failed" : "ok";
}

}  // namespace refhost
