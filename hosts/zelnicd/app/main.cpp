// zelnicd: runs the Zelnic driver over one simulated chip in real time.
//   zelnicd            start the adapter, keep it running until SIGTERM, SIGINT or SIGHUP, halt
//   zelnicd --once     start the adapter, halt it at once; exit 0 when both went well
//   --world FILE       the simulated air's access points (sim/air/README.md)
//   --pcap FILE        record every frame of the simulated air (radiotap)
//   --connect SSID     join that network once started (with --once: then halt)
//   --tap NAME         bind the adapter to the TAP interface NAME (Linux traffic; root)
//   --ap-tap AP:NAME[:NETNS]  wire access point AP's distribution port to TAP NAME, made in
//                      the network namespace at the path NETNS when given (root)
// ZELNIC_RUN_DIR (default /run/zelnic; $XDG_RUNTIME_DIR/zelnic for a user other than root) is
// where the control device's sockets live; ZELNIC_GROUP names their group.
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <thread>

#include "hosts/zelnicd/daemon.h"
#include "hosts/zelnicd/driver_entry.h"
#include "platform/ndis/control_run_dir.h"
#include "platform/win32/registry_store.h"

int main(int argc, char** argv) {
  zelnicd::Options options;
  for (int i = 1; i < argc; ++i) {
    const bool hasValue = i + 1 < argc;
    if (std::strcmp(argv[i], "--once") == 0) {
      options.once = true;
    } else if (std::strcmp(argv[i], "--world") == 0 && hasValue) {
      options.worldPath = argv[++i];
    } else if (std::strcmp(argv[i], "--pcap") == 0 && hasValue) {
      options.pcapPath = argv[++i];
    } else if (std::strcmp(argv[i], "--connect") == 0 && hasValue) {
      options.connectSsid = argv[++i];
    } else if (std::strcmp(argv[i], "--tap") == 0 && hasValue) {
      options.tap = argv[++i];
    } else if (std::strcmp(argv[i], "--ap-tap") == 0 && hasValue &&
               (options.accessPointTap = zelnicd::ParseAccessPointTap(argv[i + 1]))) {
      ++i;
    } else {
      std::cerr << "usage: zelnicd [--once] [--world FILE] [--pcap FILE] [--connect SSID] [--tap NAME]"
                   " [--ap-tap AP:NAME[:NETNS]]\n";
      return 2;
    }
  }
  const ndis::ControlRunDir runDir = ndis::ChooseControlRunDir();
  if (!runDir.why.empty()) std::cout << "zelnicd: " << runDir.why << std::endl;
  options.runDir = runDir.path;
  if (const char* group = std::getenv("ZELNIC_GROUP")) options.socketGroup = group;
  options.registryRoot = plat::RegistryStore::DefaultRoot();

  // Signals are taken by one thread with sigwait; SIGUSR1 only wakes it at the end.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGHUP);  // a service manager's hang-up halts the adapter like SIGTERM
  sigaddset(&signals, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  ndis::Scheduler scheduler(ndis::Scheduler::Mode::RealTime);
  std::atomic<bool> stop{false};
  std::thread waiter([&] {
    int signal = 0;
    sigwait(&signals, &signal);
    if (signal == SIGUSR1) return;
    const char* name = signal == SIGTERM ? "SIGTERM" : signal == SIGHUP ? "SIGHUP" : "SIGINT";
    std::cout << "zelnicd: " << name << ", stopping" << std::endl;
    stop = true;
    scheduler.post(ndis::EventKind::Host, "stop", [] {});
  });

  const int status = zelnicd::RunDaemon(options, &DriverEntry, std::cout, stop, scheduler);
  pthread_kill(waiter.native_handle(), SIGUSR1);
  waiter.join();
  return status;
}
