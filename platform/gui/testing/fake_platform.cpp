#include "platform/gui/testing/fake_platform.h"

#include "platform/gui/testing/gui_kit.h"

namespace zfw::testing {

FakePlatform::FakePlatform() {
  ensureGuiApp();
  platform.timers = &timers;
  platform.messageBox = &boxes;
  platform.osInfo = &osInfo;
  platform.singleInstance = &singleInstance;
  platform.hotKey = &hotKey;
  platform.trayIcon = &tray;
  platform.deviceWatcher = &devices;
  platform.serviceControl = &services;
  platform.ipHelper = &ipHelper;
  platform.versionInfo = &versionInfo;
  platform.fileDialog = &fileDialog;
  previousPlatform_ = installPlatform(&platform);
  previousClock_ = setClock(&clock);
}

FakePlatform::~FakePlatform() {
  // Windows destroyed late still find their services.
  processEvents();
  setClock(previousClock_);
  installPlatform(previousPlatform_);
}

}  // namespace zfw::testing
