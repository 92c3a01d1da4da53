// Frames per second per core through the driver's data path with each cipher, against the
// simulated access point's OpenSSL path on the same frames in the same run (the anchor).
//
// Transmit: an 802.3 frame becomes a chip-layout data frame (header, SNAP, payload), the
// driver's cipher encrypts it in place (TKIP: Michael first), and the frame is copied into a
// ring slot. Receive: the slot is copied into a receive buffer, the driver's cipher decrypts
// it in place (TKIP: Michael checked, the TSC committed), and the driver's decapsulation
// turns it into 802.3. Unfragmented frames skip reassembly in the driver, as here. The
// 802.3-to-chip-layout step is written out here: the driver's encapsulation takes its frame
// buffer from the adapter's pool, which needs a whole adapter around it.
//
// The anchor: the access point's seal and open (OpenSSL's RC4 and AES-128-CCM, its own
// Michael and key mixing) on frames of the same size. After the table: frames/s of every
// run, the ratio driver/anchor in time (below 1: the driver is faster), and allocations
// per frame in the driver's path (must be 0).
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
#include "driver/core/ccmp_cipher.h"
#include "driver/core/michael.h"
#include "driver/core/station_seams.h"
#include "driver/core/tkip_cipher.h"
#include "driver/core/wep_cipher.h"
#include "sim/air/ccmp_protection.h"
#include "sim/air/michael_mic.h"
#include "sim/air/tkip_protection.h"
#include "sim/air/wep_protection.h"

namespace {

using namespace zelnic::core;

enum class Cipher { None, Wep104, Tkip, Ccmp };
constexpr Cipher kCiphers[] = {Cipher::None, Cipher::Wep104, Cipher::Tkip, Cipher::Ccmp};
constexpr const char* kCipherNames[] = {"none", "wep104", "tkip", "ccmp"};
constexpr std::size_t kSizes[] = {64, 576, 1500};
constexpr std::size_t kSlot = 2400;  // a ring slot, and every frame buffer here

const std::uint8_t kTk[32] = {0x0b, 0x1c, 0x2d, 0x3e, 0x4f, 0x50, 0x61, 0x72, 0x83, 0x94, 0xa5,
                              0xb6, 0xc7, 0xd8, 0xe9, 0xfa, 0x01, 0x12, 0x23, 0x34, 0x45, 0x56,
                              0x67, 0x78, 0x89, 0x9a, 0xab, 0xbc, 0xcd, 0xde, 0xef, 0xf0};
const std::uint8_t kBssid[6] = {0x02, 0x5a, 0x4c, 0x00, 0x00, 0x01};
const std::uint8_t kStation[6] = {0x00, 0x1e, 0x4d, 0x2d, 0x17, 0x01};
const std::uint8_t kServer[6] = {0x02, 0x00, 0x00, 0x00, 0x09, 0x01};
constexpr std::uint32_t kChipHeader = 32, kSnap = 8, kCipherRoom = 8, kTrailerRoom = 12;

// The 802.3 frame the host sends: server-bound IPv4 of `payload` bytes.
std::vector<std::uint8_t> Ethernet(std::size_t payload) {
  std::vector<std::uint8_t> f(14 + payload, 0x5a);
  std::memcpy(f.data(), kServer, 6);
  std::memcpy(f.data() + 6, kStation, 6);
  f[12] = 0x08, f[13] = 0x00;
  return f;
}

// The driver's side of one cipher: its keys and counters, and the buffers of one frame.
struct DriverPath {
  explicit DriverPath(Cipher c) : cipher(c), mixer(kTk, kStation) {}
  Cipher cipher;
  TkipKeyMixer mixer;
  std::uint64_t counter = 0;
  std::uint32_t wepIv = 0;
  alignas(8) std::array<std::uint8_t, kSlot> frame{}, slot{}, received{};
  std::uint32_t slotLength = 0;

  // 802.3 → chip layout, encrypted, into the ring slot.
  void Transmit(const std::vector<std::uint8_t>& ethernet) {
    const std::uint32_t payload = static_cast<std::uint32_t>(ethernet.size() - 14);
    std::uint8_t* f = frame.data();
    std::memset(f, 0, kChipHeader);
    f[2] = 0x08, f[3] = 0x01 | (cipher == Cipher::None ? 0 : 0x40);  // data, To DS
    std::memcpy(f + 6, kBssid, 6);
    std::memcpy(f + 12, ethernet.data() + 6, 6);
    std::memcpy(f + 18, ethernet.data(), 6);
    ++counter;
    f[24] = static_cast<std::uint8_t>(counter << 4), f[25] = static_cast<std::uint8_t>(counter >> 4);
    const std::uint32_t room = cipher == Cipher::None ? 0 : cipher == Cipher::Wep104 ? kWepHeaderBytes : kCipherRoom;
    std::uint8_t* body = f + kChipHeader;
    std::uint8_t* data = body + room;
    static const std::uint8_t kSnapIp[kSnap] = {0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00, 0x08, 0x00};
    std::memcpy(data, kSnapIp, kSnap);
    std::memcpy(data + kSnap, ethernet.data() + 14, payload);
    std::uint32_t length = kSnap + payload;
    switch (cipher) {
      case Cipher::None: break;
      case Cipher::Wep104:
        WepEncrypt(body, length, ++wepIv & 0xFFFFFF, 0, kTk, 13);
        length += kWepHeaderBytes + kWepIcvBytes;
        break;
      case Cipher::Tkip:
        MichaelMic(kTk + 24, f + 18, f + 12, 0, data, length, data + length);
        TkipEncrypt(mixer, counter, 0, body, length + kMichaelBytes);
        length += kTkipHeaderBytes + kMichaelBytes + kTkipIcvBytes;
        break;
      case Cipher::Ccmp:
        CcmpEncrypt(kTk, f + 2, 24, counter, 0, body, length);
        length += kCcmpHeaderBytes + kCcmpMicBytes;
        break;
    }
    f[0] = static_cast<std::uint8_t>(length), f[1] = static_cast<std::uint8_t>(length >> 8);
    slotLength = kChipHeader + length;
    std::memcpy(slot.data(), f, slotLength);
  }

  // The ring slot decrypted and decapsulated; false when anything refused it.
  bool Receive() {
    std::memcpy(received.data(), slot.data(), slotLength);
    std::uint8_t* f = received.data();
    std::uint8_t* body = f + kChipHeader;
    std::uint32_t bodyLength = slotLength - kChipHeader, dataLength = bodyLength, offset = 0;
    switch (cipher) {
      case Cipher::None: break;
      case Cipher::Wep104:
        if (WepDecrypt(body, bodyLength, kTk, 13, dataLength) != WepRefusal::kNone) return false;
        offset = kWepHeaderBytes;
        break;
      case Cipher::Tkip: {
        const std::uint64_t tsc = TkipReceivedTsc(body);
        if (TkipDecrypt(mixer, tsc - 1, body, bodyLength, dataLength) != TkipRefusal::kNone) return false;
        std::uint8_t mic[kMichaelBytes];
        dataLength -= kMichaelBytes;
        MichaelMic(kTk + 24, f + 18, f + 12, 0, body + kTkipHeaderBytes, dataLength, mic);
        if (std::memcmp(mic, body + kTkipHeaderBytes + dataLength, kMichaelBytes) != 0) return false;
        offset = kTkipHeaderBytes;
        break;
      }
      case Cipher::Ccmp:
        if (CcmpDecrypt(kTk, f + 2, 24, CcmpReceivedPn(body) - 1, true, body, bodyLength, dataLength) !=
            CcmpRefusal::kNone)
          return false;
        offset = kCcmpHeaderBytes;
        break;
    }
    if (offset != 0) std::memmove(body, body + offset, dataLength);
    ReceiveRecord record{{nullptr}, f, kChipHeader + dataLength, static_cast<ULONG>(kSlot)};
    bool eapol = false;
    return DataFrameDecapsulate(nullptr, &record, eapol);
  }
};

// The access point's OpenSSL path on the same frames: an 802.11 frame sealed, then opened.
struct AnchorPath {
  explicit AnchorPath(Cipher c) : cipher(c) {}
  Cipher cipher;
  std::uint64_t counter = 0;
  simair::dot11::Bytes header, body;

  void Transmit(const std::vector<std::uint8_t>& ethernet) {
    header.assign(24, 0);
    header[0] = 0x08, header[1] = 0x41;
    std::memcpy(header.data() + 4, kBssid, 6);
    std::memcpy(header.data() + 10, ethernet.data() + 6, 6);
    std::memcpy(header.data() + 16, ethernet.data(), 6);
    simair::dot11::Bytes plain{0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00, 0x08, 0x00};
    plain.insert(plain.end(), ethernet.begin() + 14, ethernet.end());
    ++counter;
    switch (cipher) {
      case Cipher::None: body = std::move(plain); break;
      case Cipher::Wep104: body = simair::WepSeal({kTk, 13}, static_cast<std::uint32_t>(counter), 0, plain); break;
      case Cipher::Tkip: {
        const auto mic = simair::MsduMichael(simair::MichaelKey(kTk + 24, 8), Address(16), Address(10), 0, plain);
        plain.insert(plain.end(), mic.begin(), mic.end());
        body = simair::TkipSeal(simair::TemporalKey(kTk, 16), Address(10), counter, 0, plain);
        break;
      }
      case Cipher::Ccmp: body = simair::CcmpSeal(simair::CcmpKey(kTk, 16), header, counter, 0, plain); break;
    }
  }
  bool Receive() {
    simair::Refusal why = simair::Refusal::None;
    switch (cipher) {
      case Cipher::None: return !body.empty();
      case Cipher::Wep104: return simair::WepOpen({kTk, 13}, body).has_value();
      case Cipher::Tkip: {
        auto opened = simair::TkipOpen(simair::TemporalKey(kTk, 16), Address(10), counter - 1, body, why);
        if (!opened) return false;
        const std::size_t length = opened->plain.size() - 8;
        const auto mic = simair::MsduMichael(simair::MichaelKey(kTk + 24, 8), Address(16), Address(10), 0,
                                             std::span(opened->plain).first(length));
        return std::equal(mic.begin(), mic.end(), opened->plain.begin() + static_cast<std::ptrdiff_t>(length));
      }
      case Cipher::Ccmp:
        return simair::CcmpOpen(simair::CcmpKey(kTk, 16), header, counter - 1, body, why).has_value();
    }
    return false;
  }
  simair::MacAddress Address(std::size_t at) const {
    simair::MacAddress a;
    std::copy_n(header.begin() + static_cast<std::ptrdiff_t>(at), 6, a.begin());
    return a;
  }
};

std::map<std::string, double> g_allocationsPerFrame;

std::string Name(const char* side, Cipher cipher, const char* direction, std::size_t size) {
  return std::string(side) + "/" + kCipherNames[static_cast<int>(cipher)] + "/" + direction + "/" +
         std::to_string(size);
}

template <typename Path>
void Run(benchmark::State& state, Cipher cipher, bool transmit, std::size_t size, const std::string& name) {
  const auto ethernet = Ethernet(size);
  auto path = std::make_unique<Path>(cipher);
  path->Transmit(ethernet);
  if (!path->Receive()) state.SkipWithError("the frame did not come back");
  std::uint64_t frames = 0;
  g_allocations = 0;
  for (auto _ : state) {
    g_counting = true;
    if (transmit) {
      path->Transmit(ethernet);
    } else if (!path->Receive()) {
      g_counting = false;
      state.SkipWithError("refused");
      break;
    }
    g_counting = false;
    ++frames;
    benchmark::ClobberMemory();
  }
  state.counters["frames_per_s"] = benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
  g_allocationsPerFrame[name] = frames == 0 ? 0 : static_cast<double>(g_allocations) / static_cast<double>(frames);
}

void PrintSummary(const BestTimesReporter& reporter) {
  std::printf("\nframes/s per core (driver | access point's OpenSSL anchor), time ratio driver/anchor, "
              "driver allocations per frame\n");
  for (Cipher cipher : kCiphers)
    for (const char* direction : {"transmit", "receive"})
      for (std::size_t size : kSizes) {
        const std::string ours = Name("driver", cipher, direction, size), anchor = Name("anchor", cipher, direction, size);
        const auto a = reporter.best(ours), b = reporter.best(anchor);
        if (!a || !b) continue;
        std::printf("%-7s %-8s %5zu B: %10.0f | %10.0f frames/s  ratio %.2f  allocs/frame %.2f\n",
                    kCipherNames[static_cast<int>(cipher)], direction, size, 1e9 / *a, 1e9 / *b, *a / *b,
                    g_allocationsPerFrame[ours]);
      }
}

}  // namespace

int main(int argc, char** argv) {
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
  BestTimesReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintSummary(reporter);
  benchmark::Shutdown();
  return 0;
}
