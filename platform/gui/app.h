#pragma once
// The application object: start-up in InitInstance(), the event loop, clean-up in
// ExitInstance(). One per process, reached through zfw::app().
#include <string>

namespace zfw {

class Wnd;

class App {
 public:
  App();
  virtual ~App();
  App(const App&) = delete;
  App& operator=(const App&) = delete;

  // Start-up; false ends the process (after ExitInstance) without running the loop.
  virtual bool InitInstance() { return true; }
  // Clean-up; its result is the process's exit status.
  virtual int ExitInstance() { return exitCode_; }

  // InitInstance, then the event loop until quit() or the main window is destroyed, then
  // ExitInstance. Needs the Qt application (zfw::GuiRuntime).
  int run();
  void quit(int exitCode = 0);

  void setMainWindow(Wnd* w) { mainWindow_ = w; }
  Wnd* mainWindow() const { return mainWindow_; }
  // The name message boxes show when they have no caption of their own.
  void setAppName(std::string name) { appName_ = std::move(name); }
  const std::string& appName() const { return appName_; }

  // The user session ends (SIGTERM, SIGHUP, SIGINT): the main window's onEndSession(),
  // then the loop ends with status 0.
  virtual void onSessionEnd();
  // The main window was destroyed: the loop ends.
  void onMainWindowDestroyed();

 private:
  Wnd* mainWindow_ = nullptr;
  std::string appName_;
  int exitCode_ = 0;
  bool quitRequested_ = false;
};

App& app();
App* appIfAny();

// Full path of the running program (/proc/self/exe), empty when it cannot be read.
std::string executablePath();

}  // namespace zfw
