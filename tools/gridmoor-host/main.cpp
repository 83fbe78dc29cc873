// Reference host. For now it loads the driver library as the integration host
// does (dlopen, exports looked up by their plain names) and reports what it
// finds; running a production model comes once the driver serves commands.
#include <dlfcn.h>

#include <cstdio>
#include <cstring>

#include "gridmoor/host.h"

namespace {

int Usage() {
  std::fprintf(stderr, "usage: gridmoor-host [--check] [path/to/libGridmoor110.so]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  const char* library = GRIDMOOR_DEFAULT_LIBRARY;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--check") == 0) continue;
    if (argv[i][0] == '-') return Usage();
    library = argv[i];
  }

  void* handle = dlopen(library, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    std::fprintf(stderr, "gridmoor-host: cannot load %s: %s\n", library, dlerror());
    return 1;
  }
  std::printf("gridmoor-host: loaded %s\n", library);

  auto* handler =
      static_cast<ExtShowDataServerStringHandler*>(dlsym(handle, "GlpfnTarnShowDataServerString"));
  if (handler == nullptr) {
    std::fprintf(stderr, "gridmoor-host: export GlpfnTarnShowDataServerString missing\n");
    dlclose(handle);
    return 1;
  }
  if (*handler != nullptr) {
    std::fprintf(stderr, "gridmoor-host: GlpfnTarnShowDataServerString must start as null\n");
    dlclose(handle);
    return 1;
  }
  std::printf("gridmoor-host: export GlpfnTarnShowDataServerString found (null)\n");
  std::printf("gridmoor-host: no production model to run yet; the library loads cleanly\n");
  dlclose(handle);
  return 0;
}
