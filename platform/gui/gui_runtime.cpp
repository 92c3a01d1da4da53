#include "platform/gui/gui_runtime.h"

#include <QApplication>
#include <QSocketNotifier>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include "platform/gui/app.h"
#include "platform/gui/desktop/desktop_platform.h"
#include "platform/gui/platform.h"

namespace zfw {
namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int) {
  const char byte = 1;
  // Nothing else is safe in a signal handler; the event loop does the rest.
  [[maybe_unused]] const ssize_t n = write(signalPipe[1], &byte, 1);
}

}  // namespace

void installSessionEndSignals() {
  if (signalPipe[0] >= 0 || !QCoreApplication::instance()) return;
  if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(notifier, &QSocketNotifier::activated, notifier, [] {
    char buffer[16];
    while (read(signalPipe[0], buffer, sizeof buffer) > 0) {
    }
    if (App* a = appIfAny()) a->onSessionEnd();
  });
  struct sigaction action = {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int sig : {SIGTERM, SIGHUP, SIGINT}) sigaction(sig, &action, nullptr);
}

struct GuiRuntime::Impl {
  std::unique_ptr<QApplication> qt;
  std::unique_ptr<DesktopPlatform> desktop;
  Platform* previous = nullptr;
};

GuiRuntime::GuiRuntime(int& argc, char** argv) : d_(std::make_unique<Impl>()) {
  d_->qt = std::make_unique<QApplication>(argc, argv);
  // The main window hides to the tray: closing the last window must not end the program.
  QApplication::setQuitOnLastWindowClosed(false);
  d_->desktop = std::make_unique<DesktopPlatform>();
  d_->previous = installPlatform(&d_->desktop->services());
  installSessionEndSignals();
}

GuiRuntime::~GuiRuntime() {
  installPlatform(d_->previous);
  d_->desktop.reset();
}

}  // namespace zfw
