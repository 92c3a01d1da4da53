#include "tests/linux_traffic/daemon_tap_path.h"

#include <pthread.h>

#include <atomic>
#include <mutex>
#include <ostream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "hosts/zelnicd/daemon.h"
#include "hosts/zelnicd/driver_entry.h"

namespace linux_traffic {
namespace {

constexpr char kStationTap[] = "zt0";
constexpr char kWiredTap[] = "zt1";

// The daemon writes its log from its own thread while the caller reads it.
class LockedLog : public std::stringbuf {
 public:
  std::string Text() {
    std::lock_guard lock(mutex_);
    return str();
  }

 protected:
  std::streamsize xsputn(const char* text, std::streamsize count) override {
    std::lock_guard lock(mutex_);
    return std::stringbuf::xsputn(text, count);
  }
  int_type overflow(int_type c) override {
    std::lock_guard lock(mutex_);
    return std::stringbuf::overflow(c);
  }

 private:
  std::recursive_mutex mutex_;  // xsputn may call overflow
};

}  // namespace

struct DaemonTapPath::Daemon {
  peers::ScratchDir dir;
  zelnicd::Options options;
  ndis::Scheduler scheduler{ndis::Scheduler::Mode::RealTime};
  LockedLog log;
  std::ostream out{&log};
  std::atomic<bool> stop{false};
  std::atomic<bool> ended{false};
  std::thread thread;

  ~Daemon() {
    stop = true;
    scheduler.post(ndis::EventKind::Host, "stop", [] {});
    if (thread.joinable()) thread.join();
  }
};

DaemonTapPath::DaemonTapPath(const std::string& world, const std::string& ssid, const std::string& accessPoint,
                             const std::function<void()>& onDaemonThread)
    : daemon_(std::make_unique<Daemon>()) {
  Daemon& d = *daemon_;
  d.options.runDir = d.dir.File("run");
  d.options.registryRoot = d.dir.File("registry");
  d.options.worldPath = world;
  d.options.connectSsid = ssid;
  d.options.tap = kStationTap;
  d.options.accessPointTap = zelnicd::AccessPointTap{accessPoint, kWiredTap, WiredNamespacePath()};
  // The daemon's thread lives in the station namespace, where its adapter's TAP is made.
  d.thread = std::thread([this, &d, onDaemonThread] {
    pthread_setname_np(pthread_self(), "daemon");
    if (onDaemonThread) onDaemonThread();
    station().RunInside([&] { zelnicd::RunDaemon(d.options, &DriverEntry, d.out, d.stop, d.scheduler); });
    d.ended = true;
  });
  // Start-up, not a protocol timer: poll the log.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (Log().find("wired to tap") == std::string::npos) {
    if (d.ended || std::chrono::steady_clock::now() > deadline) {
      const std::string log = Log();
      daemon_.reset();  // stops the thread
      throw std::runtime_error("the daemon did not bind its TAPs:\n" + log);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  Configure(kStationTap, kWiredTap);
}

DaemonTapPath::~DaemonTapPath() = default;

std::string DaemonTapPath::Log() const { return daemon_->log.Text(); }
std::string DaemonTapPath::DevicePath() const { return daemon_->options.runDir + "/HlvnDev0"; }
std::string DaemonTapPath::RegistryRoot() const { return daemon_->options.registryRoot; }
const ndis::Scheduler& DaemonTapPath::Executor() const { return daemon_->scheduler; }

}  // namespace linux_traffic
