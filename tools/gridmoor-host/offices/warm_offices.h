// run-many's warm offices: one office per job slot, started once and
// handed from scenario to scenario through its pipe, put back as it started
// after each one, and replaced whenever that is in doubt.
#pragma once

#include <cstddef>
#include <functional>
#include <future>
#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "excel/calc/calc_application.h"
#include "running/run_many.h"

namespace refhost {

class WarmOffices final : public OfficePool {
 public:
  // How an office is started: throws, saying why, when none can be.
  using Starter = std::function<std::unique_ptr<excel::calc::SharedOffice>()>;

  // The first office that cannot be started is told on `notices`, with
  // its reason; `start` is SharedOffice::Start unless given.
  WarmOffices(std::size_t slots, std::ostream& notices, Starter start = {});
  ~WarmOffices() override;  // ends every office

  std::optional<std::string> Ready(std::size_t slot) override;
  void Release(std::size_t slot, bool passed) override;

  // The slot's office process; 0 while it has none ready.
  int ProcessId(std::size_t slot);

 private:
  // An office, or why there is none.
  struct Started {
    std::unique_ptr<excel::calc::SharedOffice> office;
    std::string failure;
  };
  struct Slot {
    std::unique_ptr<excel::calc::SharedOffice> office;
    // An office being reset or started, in the background.
    std::future<Started> preparing;
  };
  Started Start() const;
  std::vector<Slot> slots_;
  std::ostream& notices_;
  Starter start_;
  bool told_ = false;  // a failed start was reported
};

}  // namespace refhost
