// zelnicd: runs the Zelnic driver over one simulated chip in real time.
//   zelnicd            start the adapter, keep it running until SIGTERM or SIGINT, halt
//   zelnicd --once     start the adapter, halt it at once; exit 0 when both went well
//   --world FILE       the simulated air's access points (sim/air/README.md)
//   --pcap FILE        record every frame of the simulated air (radiotap)
// ZELNIC_RUN_DIR (default /run/zelnic) is where the control device will live.
#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <cstring>
#include <iostream>
#include <thread>

#include "hosts/zelnicd/daemon.h"
#include "hosts/zelnicd/driver_entry.h"
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
    } else {
      std::cerr << "usage: zelnicd [--once] [--world FILE] [--pcap FILE]\n";
      return 2;
    }
  }
  options.runDir = zelnicd::RunDirFromEnvironment();
  options.registryRoot = plat::RegistryStore::DefaultRoot();

  // Signals are taken by one thread with sigwait; SIGUSR1 only wakes it at the end.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  ndis::Scheduler scheduler(ndis::Scheduler::Mode::RealTime);
  std::atomic<bool> stop{false};
  std::thread waiter([&] {
    int signal = 0;
    sigwait(&signals, &signal);
    if (signal == SIGUSR1) return;
    std::cout << "zelnicd: " << (signal == SIGTERM ? "SIGTERM" : "SIGINT") << ", stopping" << std::endl;
    stop = true;
    scheduler.post(ndis::EventKind::Host, "stop", [] {});
  });

  const int status = zelnicd::RunDaemon(options, &DriverEntry, std::cout, stop, scheduler);
  pthread_kill(waiter.native_handle(), SIGUSR1);
  waiter.join();
  return status;
}
