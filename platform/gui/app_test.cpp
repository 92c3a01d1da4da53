#include "platform/gui/app.h"

#include <gtest/gtest.h>

#include <csignal>
#include <string>
#include <vector>

#include "platform/gui/cross_thread.h"
#include "platform/gui/gui_runtime.h"
#include "platform/gui/property_sheet.h"
#include "platform/gui/testing/fake_platform.h"

namespace zfw {
namespace {

using testing::FakePlatform;

class MainWindow : public PropertySheet {
 public:
  explicit MainWindow(std::vector<std::string>& log) : PropertySheet("main"), log_(log) {}
  intptr_t onAppMessage(uint32_t code, const AppParam&) override {
    if (code == 99) destroyWindow();  // the exit command
    return 0;
  }
  void onEndSession() override { log_.push_back("end session"); }

 private:
  std::vector<std::string>& log_;
};

class TestApp : public App {
 public:
  bool InitInstance() override {
    log.push_back("init");
    if (!start) return false;
    window.create();
    setMainWindow(&window);
    start(*this);
    return true;
  }
  int ExitInstance() override {
    log.push_back("exit");
    return App::ExitInstance() + exitOffset;
  }
  std::vector<std::string> log;
  MainWindow window{log};
  std::function<void(TestApp&)> start;
  int exitOffset = 0;
};

TEST(App, AFailedStartEndsWithTheExitCodeAndNoLoop) {
  FakePlatform fake;
  TestApp app;
  app.exitOffset = 7;
  EXPECT_EQ(&zfw::app(), &app);
  EXPECT_EQ(app.run(), 7);
  EXPECT_EQ(app.log, (std::vector<std::string>{"init", "exit"}));
}

TEST(App, TheLoopEndsWhenTheMainWindowIsDestroyed) {
  FakePlatform fake;
  TestApp app;
  app.start = [](TestApp& a) { postAppMessage(a.window.ref(), 99); };
  EXPECT_EQ(app.run(), 0);
  EXPECT_EQ(app.log, (std::vector<std::string>{"init", "exit"}));
  EXPECT_EQ(app.mainWindow(), nullptr);
}

TEST(App, TerminationSignalsEndTheSessionAndTheProcessWithStatusZero) {
  FakePlatform fake;
  installSessionEndSignals();
  for (int sig : {SIGTERM, SIGHUP, SIGINT}) {
    TestApp app;
    app.start = [sig](TestApp&) { std::raise(sig); };
    EXPECT_EQ(app.run(), 0) << sig;
    EXPECT_EQ(app.log, (std::vector<std::string>{"init", "end session", "exit"})) << sig;
  }
}

TEST(App, AQuitDuringStartUpIsNotLost) {
  FakePlatform fake;
  TestApp app;
  app.start = [](TestApp& a) { a.quit(3); };
  EXPECT_EQ(app.run(), 3);
}

}  // namespace
}  // namespace zfw
