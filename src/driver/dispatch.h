// Serving host command codes: the one dispatcher over the host command
// table, for both modes. Nothing thrown by a model operation leaves it: an
// automation error becomes its message and the code's default result, any
// other exception "Internal error: <what>" and the default.
#pragma once

#include <cstdint>
#include <string>

#include "driver/commands/command_table.h"

namespace model {
class CExcModel;
}

namespace driver {

// Where the commands of one instance are performed.
class CommandTarget {
 public:
  virtual ~CommandTarget() = default;
  virtual bool Threaded() const = 0;
  // The model for host-thread operations; null when there is none.
  virtual model::CExcModel* Model() = 0;
  // Performs a model operation with `args`: its result, or `fallback` when it
  // gave none.
  virtual std::int32_t Post(ModelOperation operation, const CommandArgs& args,
                            std::int32_t fallback) = 0;
};

// Direct mode: everything on the calling thread.
class DirectTarget final : public CommandTarget {
 public:
  explicit DirectTarget(model::CExcModel& model) : model_(model) {}
  bool Threaded() const override { return false; }
  model::CExcModel* Model() override { return &model_; }
  std::int32_t Post(ModelOperation operation, const CommandArgs& args,
                    std::int32_t fallback) override;

 private:
  model::CExcModel& model_;
};

// One host command as ExtCmd received it: its row of the command table
// (looked up once, by ExtCmd), the instance that performs it and its
// arguments. Nothing changes it on the way to the model.
struct HostRequest {
  const HostCommand& command;
  CommandTarget& target;
  CommandArgs args;
};

// Serves `request` by its row's route.
std::int32_t DispatchHostCommand(const HostRequest& request) noexcept;

// Performs `operation` on `model`; what it throws is reported into
// args.status and gives kNoResult, as does a null operation.
std::int32_t RunModelOperation(model::CExcModel& model, ModelOperation operation,
                               const CommandArgs& args) noexcept;

// Writes the message of the exception being handled into `status`.
void ReportCurrentException(ExtStatusRecord* status) noexcept;
// The message of the exception being handled: a com::Error's text, else
// "Internal error: <what>".
std::string CurrentExceptionText();

// What the host is told when the factory gave no model.
inline constexpr char kNoModelMessage[] = "Internal error: no model was made";

}  // namespace driver
