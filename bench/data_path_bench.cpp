// Frames per second per core through the driver's data path with each cipher, against the
// simulated access point's OpenSSL path on the same frames in the same run (the anchor).
//
// The driver's side is the whole started driver (NDIS runtime, simulated chip), associated
// under each cipher with its keys set through the OIDs. Transmit: the core's encapsulation
// builds the chip-layout frame from the 802.3 packet, the frame is copied into a transmit
// ring buffer and the core's Encrypt runs on it there, as the chip layer does. Receive: the
// ring buffer is copied into a receive buffer (the DMA) and handed to the core's Receive:
// decryption, reassembly (an unfragmented frame passes it), the TKIP Michael check,
// decapsulation to 802.3 and the indication to NDIS. The receive counter of the key the
// cipher decrypts with (TKIP: the adapter table's; CCMP: the current network's per-BSS
// table's) is reset before each frame so the same frame can come again.
//
// The anchor: the access point's seal and open (OpenSSL's RC4 and AES-128-CCM, its own
// Michael and key mixing) on frames of the same size. Both sides use the CPU's AES
// instructions, then the program runs again with them masked on both sides
// (bench/cpu_instructions.h). After each table: frames/s of every run, the ratio
// driver/anchor in CPU time (below 1: the driver is faster), and allocations per frame in
// the driver's path (must be 0).
#include <benchmark/benchmark.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "bench/allocation_counter.h"
#include "bench/best_times_reporter.h"
#include "bench/cpu_instructions.h"
#include "driver/core/aes128.h"
#include "driver/core/key_installs.h"
#include "driver/core/testing/protected_link.h"
#include "driver/hal/hal_adapter.h"
#include "sim/air/ccmp_protection.h"
#include "sim/air/michael_mic.h"
#include "sim/air/tkip_protection.h"
#include "sim/air/wep_protection.h"

namespace {

using zelnic::core::testing::Cipher;
using zelnic::core::testing::kApAddress;

constexpr Cipher kCiphers[] = {Cipher::kNone, Cipher::kWep, Cipher::kTkip, Cipher::kCcmp};
constexpr std::size_t kSizes[] = {64, 576, 1500};
const std::uint8_t kServer[6] = {0x02, 0x00, 0x00, 0x00, 0x09, 0x01};

const char* CipherName(Cipher c) {
  switch (c) {
    case Cipher::kNone: return "none";
    case Cipher::kWep: return "wep104";
    case Cipher::kTkip: return "tkip";
    case Cipher::kCcmp: return "ccmp";
  }
  return "?";
}

// The 802.3 frame the host sends: server-bound IPv4 of `payload` bytes.
std::vector<std::uint8_t> Ethernet(std::size_t payload) {
  std::vector<std::uint8_t> f(14 + payload, 0x5a);
  std::memcpy(f.data(), kServer, 6);
  std::copy(zelnic::core::testing::kStation.begin(), zelnic::core::testing::kStation.end(), f.begin() + 6);
  f[12] = 0x08, f[13] = 0x00;
  return f;
}

std::uint64_t g_indicated = 0;

// The driver started and associated under one cipher; its frames go through the core's own
// send and receive paths, on the adapter's executor.
struct DriverPath {
  explicit DriverPath(Cipher c) : cipher(c) {
    if (h.start() != NDIS_STATUS_SUCCESS) std::abort();
    core = h.core();
    auto& hal = *const_cast<HalAdapterOps*>(reinterpret_cast<HalAdapterHead*>(core->Hal)->Ops);
    hal.ReturnReceiveBuffer = [](HalAdapter*, ReceiveRecord*) {};  // the buffer is the bench's
    auto& os = *const_cast<OsServiceTable*>(core->Os->Table);
    os.IndicateReceive = [](OsLayer*, ReceiveIndication*) -> ULONG {
      ++g_indicated;
      return 0;
    };
    if (!zelnic::core::testing::AssociateUnder(h, core, cipher)) std::abort();
  }
  Cipher cipher;
  zelnic::testing::DriverHarness h;
  CoreAdapter* core = nullptr;
  std::vector<std::uint8_t> packet;
  alignas(8) std::array<std::uint8_t, zelnic::hal::kRingBufferBytes> ring{}, received{};
  ULONG ringLength = 0;

  bool Transmit() {
    ringLength = zelnic::core::testing::EncapsulateIntoRing(core, packet.data(), static_cast<ULONG>(packet.size()),
                                                            ring.data());
    return ringLength != 0;
  }
  bool Receive() {
    if (ringLength == 0) return false;
    std::memcpy(received.data(), ring.data(), ringLength);
    ReceiveRecord record{{nullptr}, received.data(), ringLength, static_cast<ULONG>(received.size())};
    record.Packet = reinterpret_cast<PNDIS_PACKET>(&record);  // only looked at
    ReceiveKey().receiveCounter = 0;
    const std::uint64_t before = g_indicated;
    return CoreOps(core).Receive(core, &record) == 0 && g_indicated == before + 1;
  }
  // The key a received frame is decrypted with: TKIP's in the adapter table, CCMP's in the
  // current network's per-BSS table (WEP keeps no counter).
  zelnic::core::KeyEntry& ReceiveKey() {
    if (cipher == Cipher::kCcmp) {
      if (zelnic::core::KeyEntry* entry = zelnic::core::CcmpKeyEntry(core, 0)) return *entry;
    }
    return core->Keys.Entry(0);
  }
  // Runs `body` on the adapter's executor, as the runtime runs sends and receive interrupts.
  template <typename Body>
  void OnExecutor(const Body& body) {
    h.run([&] { body(); });
  }
};

// The access point's OpenSSL path on the same frames: an 802.11 frame sealed, then opened.
struct AnchorPath {
  explicit AnchorPath(Cipher c) : cipher(c) {}
  Cipher cipher;
  std::vector<std::uint8_t> packet;
  std::uint64_t counter = 0;
  simair::dot11::Bytes header, body;
  // Any key serves the timing: the first 16 bytes temporal key, then the Michael key.
  static constexpr std::uint8_t kTk[24] = {0x0b, 0x1c, 0x2d, 0x3e, 0x4f, 0x50, 0x61, 0x72, 0x83, 0x94, 0xa5, 0xb6,
                                           0xc7, 0xd8, 0xe9, 0xfa, 0x01, 0x12, 0x23, 0x34, 0x45, 0x56, 0x67, 0x78};

  bool Transmit() {
    header.assign(24, 0);
    header[0] = 0x08, header[1] = 0x41;
    std::copy(kApAddress.begin(), kApAddress.end(), header.begin() + 4);
    std::memcpy(header.data() + 10, packet.data() + 6, 6);
    std::memcpy(header.data() + 16, packet.data(), 6);
    simair::dot11::Bytes plain{0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00, 0x08, 0x00};
    plain.insert(plain.end(), packet.begin() + 14, packet.end());
    ++counter;
    switch (cipher) {
      case Cipher::kNone: body = std::move(plain); break;
      case Cipher::kWep: body = simair::WepSeal({kTk, 13}, static_cast<std::uint32_t>(counter), 0, plain); break;
      case Cipher::kTkip: {
        const auto mic = simair::MsduMichael(simair::MichaelKey(kTk + 16, 8), Address(16), Address(10), 0, plain);
        plain.insert(plain.end(), mic.begin(), mic.end());
        body = simair::TkipSeal(simair::TemporalKey(kTk, 16), Address(10), counter, 0, plain);
        break;
      }
      case Cipher::kCcmp: body = simair::CcmpSeal(simair::CcmpKey(kTk, 16), header, counter, 0, plain); break;
    }
    return !body.empty();
  }
  bool Receive() {
    simair::Refusal why = simair::Refusal::None;
    switch (cipher) {
      case Cipher::kNone: return !body.empty();
      case Cipher::kWep: return simair::WepOpen({kTk, 13}, body).has_value();
      case Cipher::kTkip: {
        auto opened = simair::TkipOpen(simair::TemporalKey(kTk, 16), Address(10), counter - 1, body, why);
        if (!opened) return false;
        const std::size_t length = opened->plain.size() - 8;
        const auto mic = simair::MsduMichael(simair::MichaelKey(kTk + 16, 8), Address(16), Address(10), 0,
                                             std::span(opened->plain).first(length));
        return std::equal(mic.begin(), mic.end(), opened->plain.begin() + static_cast<std::ptrdiff_t>(length));
      }
      case Cipher::kCcmp:
        return simair::CcmpOpen(simair::CcmpKey(kTk, 16), header, counter - 1, body, why).has_value();
    }
    return false;
  }
  simair::MacAddress Address(std::size_t at) const {
    simair::MacAddress a;
    std::copy_n(header.begin() + static_cast<std::ptrdiff_t>(at), 6, a.begin());
    return a;
  }
  template <typename Body>
  void OnExecutor(const Body& body) {
    body();
  }
};

std::map<std::string, double> g_allocationsPerFrame;

std::string Name(const char* side, Cipher cipher, const char* direction, std::size_t size) {
  return std::string(side) + "/" + CipherName(cipher) + "/" + direction + "/" + std::to_string(size);
}

template <typename Path>
void Run(benchmark::State& state, Cipher cipher, bool transmit, std::size_t size, const std::string& name) {
  auto path = std::make_unique<Path>(cipher);
  path->packet = Ethernet(size);
  std::uint64_t frames = 0;
  path->OnExecutor([&] {
    if (!path->Transmit() || !path->Receive()) {
      state.SkipWithError("the frame did not come back");
      return;
    }
    g_allocations = 0;
    for (auto _ : state) {
      g_counting = true;
      if (!(transmit ? path->Transmit() : path->Receive())) {
        g_counting = false;
        state.SkipWithError("refused");
        break;
      }
      g_counting = false;
      ++frames;
      benchmark::ClobberMemory();
    }
  });
  state.counters["frames_per_s"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
  const double n = frames == 0 ? 1 : static_cast<double>(frames);
  g_allocationsPerFrame[name] = static_cast<double>(g_allocations) / n;
}

void PrintSummary(const BestTimesReporter& reporter, InstructionRun run) {
  std::printf("\nframes/s per core (driver | access point's OpenSSL anchor), %s; driver on AES-NI: %s;\n"
              "CPU-time ratio driver/anchor, allocations per frame (the driver's and the NDIS stand-in's)\n",
              Describe(run), zelnic::core::CpuAesInstructionsInUse() ? "yes" : "no");
  for (Cipher cipher : kCiphers)
    for (const char* direction : {"transmit", "receive"})
      for (std::size_t size : kSizes) {
        const std::string ours = Name("driver", cipher, direction, size), anchor = Name("anchor", cipher, direction, size);
        const auto a = reporter.best(ours), b = reporter.best(anchor);
        if (!a || !b) continue;
        std::printf("%-7s %-8s %5zu B: %10.0f | %10.0f frames/s  ratio %.2f  allocs/frame %.2f\n", CipherName(cipher),
                    direction, size, 1e9 / *a, 1e9 / *b, *a / *b, g_allocationsPerFrame[ours]);
      }
}

int RunBenchmarks(InstructionRun run, int argc, char** argv) {
  for (Cipher cipher : kCiphers)
    for (bool transmit : {true, false})
      for (std::size_t size : kSizes) {
        const char* direction = transmit ? "transmit" : "receive";
        const std::string ours = Name("driver", cipher, direction, size), anchor = Name("anchor", cipher, direction, size);
        benchmark::RegisterBenchmark(ours.c_str(), [=](benchmark::State& s) { Run<DriverPath>(s, cipher, transmit, size, ours); })
            ->Unit(benchmark::kNanosecond);
        benchmark::RegisterBenchmark(anchor.c_str(), [=](benchmark::State& s) { Run<AnchorPath>(s, cipher, transmit, size, anchor); })
            ->Unit(benchmark::kNanosecond);
      }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  PrintRunHeader(run);
  BestTimesReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintSummary(reporter, run);
  return FinishBenchmarks(reporter);
}

}  // namespace

int main(int argc, char** argv) {
  return RunWithAndWithoutCpuInstructions(argc, argv, [] { zelnic::core::AllowCpuAesInstructions(false); },
                                          RunBenchmarks);
}
