// zelcon: the wireless LAN adapter's configuration utility. ZELCON_ADAPTER=sim runs it on the
// simulated adapter; ZELCON_HOME puts its Data.cfg and Zelcon.ini elsewhere than beside it;
// ZELCON_MESSAGE_BOX_LOG=<file> answers every message box at once and logs its text there
// (for running it without a display, where nobody could click). Without ZELCON_ADAPTER it
// runs on the adapter zelnicd serves, found when zelnicd starts before or after it.
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "hosts/adapterctl/zelcon.h"
#include "platform/gui/base/string_table.h"
#include "platform/gui/desktop/device_node_watcher.h"
#include "platform/gui/gui_runtime.h"
#include "platform/gui/platform.h"
#include "utility/app/answering_message_box.h"
#include "utility/ui/adapter_notification.h"
#include "utility/ui/zelcon_app.h"
#include "zelconStrings.h"

int main(int argc, char** argv) {
  // Declared before the runtime, so they outlive it: it reinstalls what was there before.
  zfw::Platform services;
  std::unique_ptr<AnsweringMessageBox> answering;
  zfw::GuiRuntime runtime(argc, argv);
  if (const char* log = std::getenv("ZELCON_MESSAGE_BOX_LOG"); log && *log) {
    services = zfw::platform();
    answering = std::make_unique<AnsweringMessageBox>(log);
    services.messageBox = answering.get();
    zfw::installPlatform(&services);
  }
  zfw::StringTable::install(zelconStrings());
  ZelconSetNotificationPoster(&PostAdapterNotification);
  // zelnicd's control device appearing and going is the adapter's arrival and removal, told
  // as the system tells them (once the sheet has registered for them): zelnicd may start
  // after the utility, or again under it.
  std::unique_ptr<zfw::DeviceNodeWatcher> controlDevice;
  if (const std::string device = ZelconControlDevicePath(); !device.empty()) {
    controlDevice = std::make_unique<zfw::DeviceNodeWatcher>(*zfw::platform().deviceWatcher, device,
                                                             kZelconAdapterHardwareId);
    if (!controlDevice->start()) std::fprintf(stderr, "zelcon: %s cannot be watched\n", device.c_str());
  }
  CZelconApp app(ZelconLibrary());
  return app.run();
}
