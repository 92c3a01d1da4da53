#pragma once
// Every desktop service as a test double, installed for the lifetime of this object, with a
// manual clock as the process clock and manual timers. The Qt application is made on first
// use (offscreen unless QT_QPA_PLATFORM says otherwise).
#include "platform/gui/base/manual_clock.h"
#include "platform/gui/desktop/os_info.h"
#include "platform/gui/desktop/service_control.h"
#include "platform/gui/platform.h"
#include "platform/gui/testing/fakes.h"
#include "platform/gui/testing/manual_timers.h"
#include "platform/gui/testing/message_box_recorder.h"

namespace zfw::testing {

class FakePlatform {
 public:
  FakePlatform();
  ~FakePlatform();
  FakePlatform(const FakePlatform&) = delete;
  FakePlatform& operator=(const FakePlatform&) = delete;

  ManualClock clock;
  ManualTimers timers{clock};
  MessageBoxRecorder boxes;
  OsInfo osInfo{OsInfo::emulated("")};  // Windows 2000 unless a test sets another
  FakeSingleInstance singleInstance;
  FakeHotKey hotKey;
  FakeTrayIcon tray;
  FakeDeviceWatcher devices;
  SimulatedServiceControl services;
  FakeIpHelper ipHelper;
  FakeVersionInfo versionInfo;
  FakeFileDialog fileDialog;
  Platform platform;

 private:
  Platform* previousPlatform_;
  IClock* previousClock_;
};

}  // namespace zfw::testing
