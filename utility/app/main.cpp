// zelcon: the wireless LAN adapter's configuration utility. ZELCON_ADAPTER=sim runs it on the
// simulated adapter; ZELCON_HOME puts its Data.cfg and Zelcon.ini elsewhere than beside it.
#include "hosts/adapterctl/zelcon.h"
#include "platform/gui/base/string_table.h"
#include "platform/gui/gui_runtime.h"
#include "utility/ui/adapter_notification.h"
#include "utility/ui/zelcon_app.h"
#include "zelconStrings.h"

int main(int argc, char** argv) {
  zfw::GuiRuntime runtime(argc, argv);
  zfw::StringTable::install(zelconStrings());
  ZelconSetNotificationPoster(&PostAdapterNotification);
  CZelconApp app(ZelconLibrary());
  return app.run();
}
