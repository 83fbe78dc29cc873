#include "support/application_registration.h"

#include <mutex>
#include <utility>

#include "com/class_registry.h"
#include "com/error.h"
#include "support/memory_application.h"

namespace test_support {

ScopedApplicationFactory::ScopedApplicationFactory(std::string name, Factory factory,
                                                   bool asDefault)
    : name_(std::move(name)) {
  com::ClassRegistry::Instance().RegisterFactory(
      name_, [factory = std::move(factory)]() -> com::Ptr<com::Unknown> { return factory(); });
  if (asDefault) override_.emplace("GRIDMOOR_SPREADSHEET", name_);
}

ScopedApplicationFactory::~ScopedApplicationFactory() {
  com::ClassRegistry::Instance().UnregisterFactory(name_);
}

struct MemoryApplicationRegistration::Shared {
  std::mutex mutex;
  std::function<void(MemoryApplication&)> setup;
  std::shared_ptr<Recorder> recorder;
  std::vector<std::weak_ptr<memory::AppState>> made;

  com::Ptr<excel::Application> Make() {
    std::unique_lock lock(mutex);
    const auto [setupNow, recorderNow] = std::pair(setup, recorder);
    const auto state = MemoryApplication::Create()->State();
    made.push_back(state);
    lock.unlock();
    if (setupNow) setupNow(*com::MakeObject<MemoryApplication>(state));
    return com::MakeObject<MemoryApplication>(state, recorderNow);
  }
};

MemoryApplicationRegistration::MemoryApplicationRegistration(std::string name, bool asDefault)
    : shared_(std::make_shared<Shared>()) {
  factory_ = std::make_unique<ScopedApplicationFactory>(
      std::move(name), [shared = shared_] { return shared->Make(); }, asDefault);
}

void MemoryApplicationRegistration::OnCreate(std::function<void(MemoryApplication&)> setup) {
  std::lock_guard lock(shared_->mutex);
  shared_->setup = std::move(setup);
}

void MemoryApplicationRegistration::RecordWith(std::shared_ptr<Recorder> recorder) {
  std::lock_guard lock(shared_->mutex);
  shared_->recorder = std::move(recorder);
}

std::vector<com::Ptr<MemoryApplication>> MemoryApplicationRegistration::LiveApplications() const {
  std::lock_guard lock(shared_->mutex);
  std::vector<com::Ptr<MemoryApplication>> live;
  for (const auto& weak : shared_->made) {
    if (auto state = weak.lock()) live.push_back(com::MakeObject<MemoryApplication>(state));
  }
  return live;
}

}  // namespace test_support
