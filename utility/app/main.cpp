// zelcon: the wireless LAN adapter's configuration utility. ZELCON_ADAPTER=sim runs it on the
// simulated adapter; ZELCON_HOME puts its Data.cfg and Zelcon.ini elsewhere than beside it;
// ZELCON_MESSAGE_BOX_LOG=<file> answers every message box at once and logs its text there
// (for running it without a display, where nobody could click).
#include <cstdlib>
#include <memory>

#include "hosts/adapterctl/zelcon.h"
#include "platform/gui/base/string_table.h"
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
  CZelconApp app(ZelconLibrary());
  return app.run();
}
