// Reference host. It loads the driver library as the integration host does
// (dlopen, exports looked up by their plain names, records laid out by
// gridmoor/host.h) and runs a short session: identify, create an instance,
// name a workbook, start the spreadsheet application (which creates the
// workbook), save it, read its label, stop and destroy. Running a whole
// production model comes with the case data and the stream transfer.
#include <dlfcn.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "gridmoor/host.h"

namespace {

struct Exports {
  decltype(&ExtIdentify) identify = nullptr;
  decltype(&ExtCreateInstance) create = nullptr;
  decltype(&ExtDestroyInstance) destroy = nullptr;
  decltype(&ExtStartApp) start = nullptr;
  decltype(&ExtStopApp) stop = nullptr;
  decltype(&ExtCmd) command = nullptr;
};

template <typename T>
bool Resolve(void* library, const char* name, T& function) {
  function = reinterpret_cast<T>(dlsym(library, name));
  if (function == nullptr) std::fprintf(stderr, "gridmoor-host: export %s missing\n", name);
  return function != nullptr;
}

ExtStatusRecord NewStatus() {
  ExtStatusRecord status{};
  status.size = EXT_STATUS_RECORD_SIZE;
  return status;
}

int Usage() {
  std::fprintf(stderr,
               "usage: gridmoor-host [--check] [--library PATH] [--workbook PATH]\n"
               "  --check     only load the library and look up its exports\n"
               "  --library   the driver library (default: the one built beside this program)\n"
               "  --workbook  the workbook to create (default: a temporary .ods)\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::string library = GRIDMOOR_DEFAULT_LIBRARY;
  std::string workbook;
  bool checkOnly = false;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--check") {
      checkOnly = true;
    } else if ((argument == "--library" || argument == "--workbook") && i + 1 < argc) {
      (argument == "--library" ? library : workbook) = argv[++i];
    } else if (argument[0] != '-') {
      library = argument;
    } else {
      return Usage();
    }
  }

  // The mode and plug-ins are read from the settings when the library loads:
  // give it a private settings file, never the user's own.
  char folder[] = "/tmp/gridmoor-host-XXXXXX";
  if (mkdtemp(folder) == nullptr) {
    std::perror("gridmoor-host: temporary folder");
    return 1;
  }
  const std::filesystem::path scratch = folder;
  setenv("GRIDMOOR_REGISTRY", (scratch / "registry.reg").c_str(), 1);
  if (workbook.empty()) workbook = (scratch / "example.ods").string();

  void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    std::fprintf(stderr, "gridmoor-host: cannot load %s: %s\n", library.c_str(), dlerror());
    return 1;
  }
  std::printf("loaded %s\n", library.c_str());

  Exports ext;
  auto* handler =
      static_cast<ExtShowDataServerStringHandler*>(dlsym(handle, "GlpfnTarnShowDataServerString"));
  if (handler == nullptr || *handler != nullptr || !Resolve(handle, "ExtIdentify", ext.identify) ||
      !Resolve(handle, "ExtCreateInstance", ext.create) ||
      !Resolve(handle, "ExtDestroyInstance", ext.destroy) ||
      !Resolve(handle, "ExtStartApp", ext.start) || !Resolve(handle, "ExtStopApp", ext.stop) ||
      !Resolve(handle, "ExtCmd", ext.command)) {
    std::fprintf(stderr, "gridmoor-host: the library lacks the driver exports\n");
    return 1;
  }
  if (checkOnly) {
    std::printf("exports found\n");
    std::filesystem::remove_all(scratch);
    return 0;
  }

  int failures = 0;
  const auto report = [&failures](const char* step, std::int32_t result,
                                  const ExtStatusRecord& status) {
    std::printf("%-34s -> %d%s%s\n", step, result, status.text[0] ? "  " : "", status.text);
    if (result != 0) ++failures;
  };

  std::vector<unsigned char> identify(EXT_IDENTIFY_RECORD_MIN_SIZE, 0);
  const std::uint32_t version = EXT_INTERFACE_VERSION;
  std::memcpy(identify.data(), &version, sizeof version);
  ExtStatusRecord status = NewStatus();
  report("ExtIdentify", ext.identify(identify.data(), &status), status);
  std::printf("  driver name: %s\n",
              reinterpret_cast<const char*>(identify.data() + EXT_IDENTIFY_NAME_OFFSET));

  ExtInstance instance = nullptr;
  status = NewStatus();
  report("ExtCreateInstance", ext.create(&instance, &status), status);

  std::vector<char> fileName(EXT_FILE_NAME_RECORD_MIN_SIZE, 0);
  std::snprintf(fileName.data() + EXT_FILE_NAME_TEXT_OFFSET, EXT_FILE_NAME_TEXT_SIZE, "%s",
                workbook.c_str());
  status = NewStatus();
  report("ExtCmd 136 (set workbook file)",
         ext.command(instance, nullptr, EXT_CMD_SET_FILE_NAME, fileName.data(), 0, &status),
         status);

  status = NewStatus();
  report("ExtStartApp (open the workbook)", ext.start(instance, 0, &status), status);

  status = NewStatus();
  report("ExtCmd 8 (save the workbook)",
         ext.command(instance, nullptr, EXT_CMD_SAVE_CASE_WORKBOOK, nullptr, 0, &status), status);
  std::printf("  %s %s\n", workbook.c_str(),
              std::filesystem::exists(workbook) ? "written" : "NOT written");
  if (!std::filesystem::exists(workbook)) ++failures;

  char label[256] = {};
  status = NewStatus();
  report("ExtCmd 129 (file label)",
         ext.command(instance, nullptr, EXT_CMD_GET_FILE_LABEL, label, sizeof label - 1, &status),
         status);
  std::printf("  label: %s\n", label);

  report("ExtStopApp", ext.stop(instance), NewStatus());
  status = NewStatus();
  report("ExtDestroyInstance", ext.destroy(instance, &status), status);

  std::filesystem::remove_all(scratch);
  std::printf(failures == 0 ? "session completed\n" : "session FAILED (%d steps)\n", failures);
  return failures == 0 ? 0 : 1;
}
