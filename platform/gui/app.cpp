#include "platform/gui/app.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "platform/gui/wnd.h"

namespace zfw {
namespace {
App* current = nullptr;
}

App::App() {
  if (current) {
    std::fprintf(stderr, "zfw: a second application object was made\n");
    std::abort();
  }
  current = this;
}

App::~App() { current = nullptr; }

App& app() {
  if (!current) {
    std::fprintf(stderr, "zfw: no application object exists\n");
    std::abort();
  }
  return *current;
}

App* appIfAny() { return current; }

int App::run() {
  exitCode_ = 0;
  quitRequested_ = false;
  if (!InitInstance()) return ExitInstance();
  // A quit during start-up (before the loop could hear it) ends the run at once.
  if (!quitRequested_) exitCode_ = QCoreApplication::exec();
  return ExitInstance();
}

void App::quit(int exitCode) {
  exitCode_ = exitCode;
  quitRequested_ = true;
  QCoreApplication::exit(exitCode);
}

void App::onSessionEnd() {
  if (mainWindow_) mainWindow_->onEndSession();
  quit(0);
}

void App::onMainWindowDestroyed() {
  mainWindow_ = nullptr;
  quit(exitCode_);
}

std::string executablePath() {
  std::string path(4096, '\0');
  const ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
  if (n <= 0 || static_cast<size_t>(n) >= path.size()) return {};
  path.resize(static_cast<size_t>(n));
  return path;
}

}  // namespace zfw
