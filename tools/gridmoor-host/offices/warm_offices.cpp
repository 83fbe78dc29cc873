#include "offices/warm_offices.h"

#include <chrono>
#include <exception>
#include <ostream>

#include "common/exception_text.h"

namespace refhost {

using excel::calc::SharedOffice;

WarmOffices::WarmOffices(std::size_t slots, std::ostream& notices, Starter start)
    : slots_(slots),
      notices_(notices),
      start_(start ? std::move(start) : Starter(SharedOffice::Start)) {
  for (Slot& slot : slots_)
    slot.preparing = std::async(std::launch::async, [this] { return Start(); });
}

WarmOffices::~WarmOffices() {
  for (Slot& slot : slots_) {
    if (slot.preparing.valid()) slot.preparing.get();
  }
}

// A new office, or why none could be started (the office layer says why by
// an exception, taken here): the scenario then starts its own, as with
// --fresh-offices, and the next one tries again.
WarmOffices::Started WarmOffices::Start() const {
  try {
    return {start_(), {}};
  } catch (const std::exception& error) {
    return {nullptr, error.what()};
  } catch (...) {
    return {nullptr, CaughtExceptionText()};
  }
}

std::optional<std::string> WarmOffices::Ready(std::size_t index) {
  Slot& slot = slots_.at(index);
  if (slot.preparing.valid()) {
    if (slot.preparing.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
      return std::nullopt;
    Started started = slot.preparing.get();
    slot.office = std::move(started.office);
    if (!slot.office) {
      // Once: every later scenario would say the same.
      if (!told_) {
        notices_ << "gridmoor-host: no warm office could be started ("
                 << (started.failure.empty() ? "no reason given" : started.failure)
                 << "); scenarios start offices of their own until one can be" << std::endl;
        told_ = true;
      }
      return std::string();
    }
  }
  // Dead since its last scenario (or never started): replaced before any
  // scenario meets it.
  if (!slot.office || !slot.office->Alive()) {
    slot.office.reset();
    slot.preparing = std::async(std::launch::async, [this] { return Start(); });
    return std::nullopt;
  }
  return slot.office->Pipe();
}

void WarmOffices::Release(std::size_t index, bool passed) {
  Slot& slot = slots_.at(index);
  // A scenario that failed may have left the office in any state, or
  // killed it: a fresh one is certain.
  slot.preparing = std::async(std::launch::async,
                              [this, office = std::move(slot.office), passed]() mutable -> Started {
                                if (office && passed && office->Reset())
                                  return {std::move(office), {}};
                                office.reset();
                                return Start();
                              });
}

int WarmOffices::ProcessId(std::size_t index) {
  Slot& slot = slots_.at(index);
  return slot.office && !slot.preparing.valid() ? slot.office->ProcessId() : 0;
}

}  // namespace refhost
