/* Compiles against the installed headers and loads the installed library
   the way a host does: dlopen, then the exports by their plain names. */
#include <dlfcn.h>
#include <gridmoor/host.h>
#include <gridmoor/oleauto.h>
#include <gridmoor/worksheet_functions.h>
#include <stdio.h>

#ifndef GRIDMOOR_LIBRARY
#error "GRIDMOOR_LIBRARY names the library to load"
#endif

int main(int argc, char** argv) {
  const char* path = argc > 1 ? argv[1] : GRIDMOOR_LIBRARY;
  void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (library == NULL) {
    fprintf(stderr, "dlopen %s: %s\n", path, dlerror());
    return 1;
  }
  if (dlsym(library, "ExtIdentify") == NULL || dlsym(library, "FnCreateInstance") == NULL ||
      dlsym(library, "GmVariantClear") == NULL) {
    fprintf(stderr, "%s lacks ExtIdentify, FnCreateInstance or GmVariantClear\n", path);
    return 1;
  }
  printf("loaded %s (status record %d bytes)\n", path, (int)EXT_STATUS_RECORD_SIZE);
  return 0;
}
