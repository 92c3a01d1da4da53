#include "platform/gui/platform.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace zfw {
namespace {
std::atomic<Platform*> installed{nullptr};
}

Platform& platform() {
  Platform* p = installed.load(std::memory_order_acquire);
  if (!p) {
    std::fprintf(stderr, "zfw: no platform services are installed (DesktopPlatform or a test's FakePlatform)\n");
    std::abort();
  }
  return *p;
}

bool hasPlatform() { return installed.load(std::memory_order_acquire) != nullptr; }

Platform* installPlatform(Platform* p) { return installed.exchange(p, std::memory_order_acq_rel); }

}  // namespace zfw
