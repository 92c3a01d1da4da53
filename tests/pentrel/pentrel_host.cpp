#include "tests/pentrel/pentrel_host.h"

#include <dlfcn.h>

#include <cstdlib>
#include <cstdio>

namespace {

PentrelLibrary Load() {
  PentrelLibrary library;
  library.module = dlopen(PENTREL_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  if (library.module == nullptr) {
    std::fprintf(stderr, "dlopen %s: %s\n", PENTREL_LIBRARY, dlerror());
    std::abort();
  }
#define PENTREL_RESOLVE(name)                                                          \
  library.name = reinterpret_cast<decltype(&::name)>(dlsym(library.module, #name)); \
  if (library.name == nullptr) {                                                     \
    std::fprintf(stderr, "libpentrel.so does not export %s\n", #name);               \
    std::abort();                                                                    \
  }
  PENTREL_EXPORTS(PENTREL_RESOLVE)
#undef PENTREL_RESOLVE
  return library;
}

}  // namespace

const PentrelLibrary& Pentrel() {
  static const PentrelLibrary library = Load();
  return library;
}
