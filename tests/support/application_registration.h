// Putting test applications into the class registry, so that code creating
// its application by ProgID gets them.
//
// Unit tests run with GRIDMOOR_SPREADSHEET=none, which makes every ProgID
// unknown: register with `asDefault` (GRIDMOOR_SPREADSHEET then names the
// registration while it lives, so Excel.Application.16 creates it), or use a
// TempRegistry whose settings map a ProgID to the name with the override
// unset.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "support/memory_application.h"
#include "support/temp_registry.h"

namespace test_support {

// Registers `factory` under `name` for the object's lifetime.
class ScopedApplicationFactory {
 public:
  using Factory = std::function<com::Ptr<excel::Application>()>;
  ScopedApplicationFactory(std::string name, Factory factory, bool asDefault = false);
  ~ScopedApplicationFactory();

 private:
  std::string name_;
  std::optional<ScopedEnv> override_;
};

// Registers a factory that makes a new MemoryApplication at each creation,
// and keeps track of what it made.
class MemoryApplicationRegistration {
 public:
  explicit MemoryApplicationRegistration(std::string name = "memory", bool asDefault = false);

  // Runs on each new application before it is handed out (macros, files).
  void OnCreate(std::function<void(MemoryApplication&)> setup);
  // Hands out each new application recording its calls into `recorder`.
  void RecordWith(std::shared_ptr<Recorder> recorder);
  // The applications made so far that still have live objects, oldest first.
  std::vector<com::Ptr<MemoryApplication>> LiveApplications() const;

 private:
  struct Shared;
  std::shared_ptr<Shared> shared_;
  std::unique_ptr<ScopedApplicationFactory> factory_;
};

}  // namespace test_support
