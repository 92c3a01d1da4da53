#include "hosts/adapterctl/supplicant/pentrel_module.h"

#include <dlfcn.h>

#include <cstdlib>

namespace zelcon {

std::unique_ptr<PentrelModule> PentrelModule::Load(const std::string& path, std::string& error) {
  std::unique_ptr<PentrelModule> module(new PentrelModule);
  // Never unloaded: the library keeps process-wide state (its TLS set-up) from its first load.
  module->handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (module->handle_ == nullptr) {
    const char* reason = dlerror();
    error = reason != nullptr ? reason : "cannot load " + path;
    return nullptr;
  }
#define PENTREL_HOST_RESOLVE(name)                                                     \
  module->name = reinterpret_cast<decltype(&::name)>(dlsym(module->handle_, #name)); \
  if (module->name == nullptr) {                                                     \
    error = path + " does not export " #name;                                        \
    return nullptr;                                                                  \
  }
  PENTREL_HOST_EXPORTS(PENTREL_HOST_RESOLVE)
#undef PENTREL_HOST_RESOLVE
  return module;
}

PentrelModule::~PentrelModule() {
  if (handle_ != nullptr) dlclose(handle_);
}

std::string PentrelLibraryPath() {
  const char* configured = std::getenv("ZELCON_PENTREL_LIBRARY");
  return configured != nullptr && *configured != '\0' ? configured : "libpentrel.so.1";
}

}  // namespace zelcon
