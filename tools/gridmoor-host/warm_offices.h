// run-many's warm offices: one office per job slot, started once and
// handed from scenario to scenario through its pipe, put back as it started
// after each one, and replaced whenever that is in doubt.
#pragma once

#include <cstddef>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "excel/calc/calc_application.h"
#include "run_many.h"

namespace refhost {

class WarmOffices final : public OfficePool {
 public:
  explicit WarmOffices(std::size_t slots);
  ~WarmOffices() override;  // ends every office

  std::optional<std::string> Ready(std::size_t slot) override;
  void Release(std::size_t slot, bool passed) override;

  // The slot's office process; 0 while it has none ready.
  int ProcessId(std::size_t slot);

 private:
  struct Slot {
    std::unique_ptr<excel::calc::SharedOffice> office;
    // An office being reset or started, in the background.
    std::future<std::unique_ptr<excel::calc::SharedOffice>> preparing;
  };
  std::vector<Slot> slots_;
};

}  // namespace refhost
