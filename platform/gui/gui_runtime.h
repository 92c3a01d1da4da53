#pragma once
// What a zfw program's main() sets up first: the Qt application (offscreen when
// QT_QPA_PLATFORM says so), the desktop services, and the session end on SIGTERM, SIGHUP
// and SIGINT.
//
//   int main(int argc, char** argv) {
//     zfw::GuiRuntime runtime(argc, argv);
//     zfw::StringTable::install(zelconStrings());
//     CZelconApp app;
//     return app.run();
//   }
#include <memory>

namespace zfw {

class DesktopPlatform;

class GuiRuntime {
 public:
  GuiRuntime(int& argc, char** argv);
  ~GuiRuntime();
  GuiRuntime(const GuiRuntime&) = delete;
  GuiRuntime& operator=(const GuiRuntime&) = delete;

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

// Routes SIGTERM, SIGHUP and SIGINT into the event loop as the session end
// (zfw::app().onSessionEnd()). Needs the Qt application; calling it again does nothing.
void installSessionEndSignals();

}  // namespace zfw
