#include "driver/instances.h"

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "driver/application/app.h"
#include "driver/dispatch.h"
#include "host/host_record.h"
#include "host/message.h"
#include "model/dialogs.h"
#include "model/model.h"

namespace driver {
namespace {

// A direct-mode instance: the model, used on the calling thread.
struct DirectInstance {
  std::mutex requestLock;
  std::unique_ptr<model::CExcModel> model;
};

struct Instance {
  std::shared_ptr<DirectInstance> direct;
  std::shared_ptr<DriverProxy> proxy;
  explicit operator bool() const { return direct || proxy; }
};

class InstanceTable {
 public:
  void Add(const void* handle, Instance instance) {
    const std::lock_guard<std::mutex> guard(mutex_);
    instances_[handle] = std::move(instance);
  }
  // A share of the instance, which stays allocated while it is held.
  Instance Find(const void* handle) const {
    const std::lock_guard<std::mutex> guard(mutex_);
    const auto found = instances_.find(handle);
    return found != instances_.end() ? found->second : Instance{};
  }
  Instance Remove(const void* handle) {
    const std::lock_guard<std::mutex> guard(mutex_);
    const auto found = instances_.find(handle);
    if (found == instances_.end()) return {};
    Instance instance = std::move(found->second);
    instances_.erase(found);
    return instance;
  }
  std::size_t Count() const {
    const std::lock_guard<std::mutex> guard(mutex_);
    return instances_.size();
  }

 private:
  mutable std::mutex mutex_;
  std::unordered_map<const void*, Instance> instances_;
};

// Never freed: worker threads may outlive static destruction at exit.
InstanceTable& Instances() {
  static InstanceTable* const table = new InstanceTable;
  return *table;
}

void Write(ExtStatusRecord* status, const char* fmt, const char* text) {
  host::StatusRecord record(status);
  host::WriteStatus(record, fmt, text);
}

std::int32_t CreationResult(bool failed, const std::string& message, ExtStatusRecord* status) {
  if (!failed) return 0;
  Write(status, kCreateFailedFormat, message.c_str());
  return 1;
}

// A routed command's answer when there is no instance behind the handle.
std::int32_t AnswerWithoutInstance(const HostCommand& command, ExtStatusRecord* status) {
  Write(status, "%s", kUnknownInstanceMessage);
  return command.result;
}

}  // namespace

Mode ProcessMode() {
  return CGridmoorApp::Instance().ThreadedMode() ? Mode::kThreaded : Mode::kDirect;
}

ModelFactory DefaultModelFactory() {
  return [] {
    return std::make_unique<model::CExcModel>([] { return CGridmoorApp::Instance().PlugIns(); });
  };
}

std::int32_t Identify(void* identifyRecord, ExtStatusRecord* status) {
  if (status == nullptr) return 1;
  host::StatusRecord record(status);
  if (!record.HasExpectedSize()) {
    // The host's size word says how much of the record there is.
    std::uint32_t size = 0;
    (void)record.record().ReadU32(EXT_STATUS_SIZE_OFFSET, size);
    const std::size_t usable = std::min<std::size_t>(size, EXT_STATUS_RECORD_SIZE);
    if (usable > EXT_STATUS_TEXT_OFFSET) {
      host::HostRecord part(status, usable);
      host::PrintMessage(part, EXT_STATUS_TEXT_OFFSET, usable - EXT_STATUS_TEXT_OFFSET, "%s",
                         kNotCompatibleMessage);
    }
    return 1;
  }
  record.Clear();
  host::HostRecord id(identifyRecord, EXT_IDENTIFY_RECORD_MIN_SIZE);
  std::uint32_t version = 0;
  if (!id.ReadU32(EXT_IDENTIFY_VERSION_OFFSET, version) || version != EXT_INTERFACE_VERSION) {
    host::WriteStatus(record, "%s", kNotCompatibleMessage);
    return 1;
  }
  const bool written = id.WriteU32(EXT_IDENTIFY_WORD4_OFFSET, EXT_IDENTIFY_WORD4_VALUE) &&
                       id.WriteText(EXT_IDENTIFY_NAME_OFFSET, EXT_IDENTIFY_NAME_SIZE, "Excel") &&
                       id.WriteU64(EXT_IDENTIFY_WORD264_OFFSET, EXT_IDENTIFY_WORD264_VALUE) &&
                       id.WriteU32(EXT_IDENTIFY_WORD272_OFFSET, EXT_IDENTIFY_WORD272_VALUE) &&
                       id.WriteU32(EXT_IDENTIFY_WORD276_OFFSET, EXT_IDENTIFY_WORD276_VALUE) &&
                       id.WriteText(EXT_IDENTIFY_DESCRIPTION_OFFSET, EXT_IDENTIFY_DESCRIPTION_SIZE,
                                    "Generic MS Excel driver") &&
                       id.WriteU32(EXT_IDENTIFY_WORD1540_OFFSET, EXT_IDENTIFY_WORD1540_VALUE) &&
                       id.WriteU32(EXT_IDENTIFY_WORD1548_OFFSET, EXT_IDENTIFY_WORD1548_VALUE) &&
                       id.WriteU32(EXT_IDENTIFY_WORD1552_OFFSET, EXT_IDENTIFY_WORD1552_VALUE) &&
                       id.WriteU32(EXT_IDENTIFY_WORD1556_OFFSET, EXT_IDENTIFY_WORD1556_VALUE) &&
                       id.WriteU32(EXT_IDENTIFY_WORD1688_OFFSET, EXT_IDENTIFY_WORD1688_VALUE) &&
                       id.WriteU32(EXT_IDENTIFY_WORD1696_OFFSET, EXT_IDENTIFY_WORD1696_VALUE);
  return written ? 0 : 1;
}

std::int32_t CreateInstance(Mode mode, ExtInstance* instance, ExtStatusRecord* status,
                            const ModelFactory& factory) {
  host::StatusRecord record(status);
  record.Clear();
  if (instance == nullptr) {
    // Nowhere to store the handle: an instance would be lost.
    Write(status, kCreateFailedFormat, "no place for the instance handle was given");
    return 1;
  }
  *instance = nullptr;
  try {
    if (mode == Mode::kDirect) {
      auto direct = std::make_shared<DirectInstance>();
      direct->model = factory();
      model::CExcModel* model = direct->model.get();
      if (model == nullptr) {
        Write(status, kCreateFailedFormat, kNoModelMessage);
        return 1;
      }
      Instances().Add(model, Instance{direct, nullptr});
      *instance = reinterpret_cast<ExtInstance>(model);
      return CreationResult(model->CreateFailed(), model->CreateError(), status);
    }
    auto proxy = std::make_shared<DriverProxy>(factory);
    Instances().Add(proxy.get(), Instance{nullptr, proxy});
    *instance = reinterpret_cast<ExtInstance>(proxy.get());
    return CreationResult(proxy->CreateFailed(), proxy->CreateMessage(), status);
  } catch (...) {
    // Nothing was made (no memory, no thread): there is no handle to give.
    record.Clear();
    Write(status, kCreateFailedFormat, CurrentExceptionText().c_str());
    return 1;
  }
}

std::int32_t DestroyInstance(ExtInstance handle, ExtStatusRecord* status) {
  host::StatusRecord record(status);
  record.Clear();
  if (handle == nullptr) return 0;
  Instance instance = Instances().Remove(handle);
  std::int32_t result = 0;
  if (instance.direct) {
    // Waits for a request running on another thread.
    const std::lock_guard<std::mutex> lock(instance.direct->requestLock);
    // Direct mode has no stop of its own: the workbook closes here (as the
    // model's destruction would close it), and an office found gone on
    // closing it is reported as a threaded stop reports it.
    if (instance.direct->model && instance.direct->model->server.Close() != 0) {
      Write(status, "%s", kNotClosedMessage);
      result = 1;
    }
    instance.direct->model.reset();
  } else if (instance.proxy) {
    instance.proxy->Shutdown();
  }
  return result;
}

std::int32_t StartApp(ExtInstance handle, ExtStatusRecord* status) {
  const Instance instance = Instances().Find(handle);
  if (instance.direct) {
    Write(status, "%s", kCouldNotStartMessage);
    return 1;
  }
  if (!instance.proxy) {
    Write(status, "%s", kUnknownInstanceMessage);
    return 1;
  }
  DriverProxy& proxy = *instance.proxy;
  const std::lock_guard<std::mutex> lock(proxy.RequestLock());
  if (proxy.IsShutDown()) {
    Write(status, "%s", kUnknownInstanceMessage);
    return 1;
  }
  return proxy.Query(op::StartApplication, CommandArgs{nullptr, nullptr, 0, status}, 1);
}

std::int32_t StopApp(ExtInstance handle) {
  const Instance instance = Instances().Find(handle);
  if (instance.direct) return 0;
  if (!instance.proxy) return 1;
  DriverProxy& proxy = *instance.proxy;
  const std::lock_guard<std::mutex> lock(proxy.RequestLock());
  if (proxy.IsShutDown()) return 1;
  // No status record: the export has none.
  return proxy.Query(op::StopApplication, CommandArgs{}, 1);
}

std::int32_t Command(ExtInstance handle, ExtWindow window, std::int32_t code, void* arg,
                     std::int32_t iarg, ExtStatusRecord* status) {
  host::StatusRecord record(status);
  record.Clear();
  // The one lookup of the command's row.
  const HostCommand* routed = FindHostCommand(code);
  if (routed == nullptr) return 0;
  if (routed->route == Route::kConstant) return routed->result;
  const CommandArgs args{window, arg, iarg, status, code};
  const Instance instance = Instances().Find(handle);
  if (instance.direct) {
    const std::lock_guard<std::mutex> lock(instance.direct->requestLock);
    if (!instance.direct->model) return AnswerWithoutInstance(*routed, status);
    DirectTarget target(*instance.direct->model);
    return DispatchHostCommand(HostRequest{*routed, target, args});
  }
  if (instance.proxy) {
    DriverProxy& proxy = *instance.proxy;
    const std::lock_guard<std::mutex> lock(proxy.RequestLock());
    if (proxy.IsShutDown()) return AnswerWithoutInstance(*routed, status);
    ThreadedTarget target(proxy);
    return DispatchHostCommand(HostRequest{*routed, target, args});
  }
  return AnswerWithoutInstance(*routed, status);
}

std::int32_t Configure(ExtWindow parent) {
  CGridmoorApp& app = CGridmoorApp::Instance();
  std::string working = app.PlugIns();
  const std::shared_ptr<model::Dialogs> dialogs = model::CurrentDialogs();
  if (const std::string why = dialogs->WhyNotShown(); !why.empty()) {
    // The export has no status record to carry the reason.
    std::fprintf(stderr, "%s\n", why.c_str());
    return 1;
  }
  if (dialogs->EditDriverSettings(working, parent) != model::DialogResult::kOk) {
    return 1;
  }
  app.SetPlugIns(std::move(working));
  return 0;
}

void Help() {
  CGridmoorApp::Instance().WinHelp(kDriverHelpContext, kHelpContextCommand);
}

std::int32_t DescribeInstanceFiles(ExtInstance handle, xml::EquipmentDescription& description,
                                   std::uint8_t flag, const std::vector<std::string>& texts) {
  const Instance instance = Instances().Find(handle);
  if (instance.direct) {
    const std::lock_guard<std::mutex> lock(instance.direct->requestLock);
    return instance.direct->model ? instance.direct->model->DescribeFiles(&description, flag, texts)
                                  : 1;
  }
  if (instance.proxy) {
    const std::lock_guard<std::mutex> lock(instance.proxy->RequestLock());
    model::CExcModel* model = instance.proxy->Model();
    return model != nullptr ? model->DescribeFiles(&description, flag, texts) : 1;
  }
  return 1;
}

std::size_t LiveInstanceCount() {
  return Instances().Count();
}

}  // namespace driver
