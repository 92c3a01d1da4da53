#pragma once
// The Linux implementations of every desktop service, as the program installs them.
#include <memory>

#include "platform/gui/platform.h"

namespace zfw {

class DesktopPlatform {
 public:
  DesktopPlatform();
  ~DesktopPlatform();
  DesktopPlatform(const DesktopPlatform&) = delete;
  DesktopPlatform& operator=(const DesktopPlatform&) = delete;
  Platform& services() { return services_; }

 private:
  struct Owned;
  std::unique_ptr<Owned> owned_;
  Platform services_;
};

}  // namespace zfw
