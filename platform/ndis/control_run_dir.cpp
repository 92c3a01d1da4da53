#include "platform/ndis/control_run_dir.h"

#include <unistd.h>

#include <cstdlib>

namespace ndis {

ControlRunDir ChooseControlRunDir() {
  const char* dir = std::getenv("ZELNIC_RUN_DIR");
  if (dir != nullptr && *dir != '\0') return {dir, ""};
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (geteuid() != 0 && runtime != nullptr && *runtime != '\0') {
    return {std::string(runtime) + "/zelnic", "not root and no ZELNIC_RUN_DIR: using XDG_RUNTIME_DIR"};
  }
  return {"/run/zelnic", ""};
}

}  // namespace ndis
