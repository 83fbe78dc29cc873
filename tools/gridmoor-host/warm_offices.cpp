#include "warm_offices.h"

#include <chrono>

namespace refhost {
namespace {

using excel::calc::SharedOffice;

// A new office, or none when it cannot be started: the scenario then starts
// its own, as with --fresh-offices, and the next one tries again.
std::unique_ptr<SharedOffice> StartOffice() {
  try {
    return SharedOffice::Start();
  } catch (...) {
    return nullptr;
  }
}

}  // namespace

WarmOffices::WarmOffices(std::size_t slots) : slots_(slots) {
  for (Slot& slot : slots_)
    slot.preparing = std::async(std::launch::async, StartOffice);
}

WarmOffices::~WarmOffices() {
  for (Slot& slot : slots_) {
    if (slot.preparing.valid()) slot.preparing.get();
  }
}

std::optional<std::string> WarmOffices::Ready(std::size_t index) {
  Slot& slot = slots_.at(index);
  if (slot.preparing.valid()) {
    if (slot.preparing.wait_for(std::chrono::seconds(0)) != std::future_status::ready)
      return std::nullopt;
    slot.office = slot.preparing.get();
    if (!slot.office) return std::string();
  }
  // Dead since its last scenario (or never started): replaced before any
  // scenario meets it.
  if (!slot.office || !slot.office->Alive()) {
    slot.office.reset();
    slot.preparing = std::async(std::launch::async, StartOffice);
    return std::nullopt;
  }
  return slot.office->Pipe();
}

void WarmOffices::Release(std::size_t index, bool passed) {
  Slot& slot = slots_.at(index);
  // A scenario that failed may have left the office in any state, or
  // killed it: a fresh one is certain.
  slot.preparing = std::async(
      std::launch::async,
      [office = std::move(slot.office), passed]() mutable -> std::unique_ptr<SharedOffice> {
        if (office && passed && office->Reset()) return std::move(office);
        office.reset();
        return StartOffice();
      });
}

int WarmOffices::ProcessId(std::size_t index) {
  Slot& slot = slots_.at(index);
  return slot.office && !slot.preparing.valid() ? slot.office->ProcessId() : 0;
}

}  // namespace refhost
