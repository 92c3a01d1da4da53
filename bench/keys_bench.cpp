// The pass-phrase PSK (PBKDF2-HMAC-SHA1, 4096 iterations, 32 bytes): ours against OpenSSL's
// PKCS5_PBKDF2_HMAC_SHA1 in the same run, printed as a time ratio (below 1: ours is
// faster). Also whole WPA2-PSK 4-way handshakes, our supplicant against the simulated
// access point's authenticator, both in this process (PMK given, so no PBKDF2 inside).
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdio>
#include <map>
#include <optional>
#include <string>

#include "ksSupp/keys/key_derivation.h"
#include "ksSupp/keys/null_key_handler_services.h"
#include "ksSupp/keys/rsn_key_handler.h"
#include "sim/air/authenticator.h"

namespace {

const std::string kPassphrase = "correct horse battery staple", kSsid = "zelnet";

void Pbkdf2Ours(benchmark::State& state) {
  uint8_t psk[kPskLength];
  for (auto _ : state) {
    PassphraseToPsk(kPassphrase.data(), static_cast<uint32_t>(kPassphrase.size()),
                    reinterpret_cast<const uint8_t*>(kSsid.data()), static_cast<uint32_t>(kSsid.size()), psk);
    benchmark::DoNotOptimize(psk);
  }
}

void Pbkdf2OpenSsl(benchmark::State& state) {
  uint8_t psk[kPskLength];
  for (auto _ : state) {
    PKCS5_PBKDF2_HMAC_SHA1(kPassphrase.data(), static_cast<int>(kPassphrase.size()),
                           reinterpret_cast<const uint8_t*>(kSsid.data()), static_cast<int>(kSsid.size()),
                           kPskIterations, kPskLength, psk);
    benchmark::DoNotOptimize(psk);
  }
}

// The station's side: hands every frame it sends straight to the access point.
struct Station : NullKeyHandlerServices {
  air::PskAuthenticator* ap = nullptr;
  KeyHandler* handler = nullptr;
  air::Bytes pmk;
  std::optional<air::Bytes> answer;
  void TransmitEapolKey(const uint8_t* frame, uint32_t length) override { answer = ap->Receive(frame, length); }
  void PairwiseMessage1Received() override { handler->SetPmk(pmk.data(), static_cast<uint32_t>(pmk.size())); }
};

void FourWayHandshake(benchmark::State& state) {
  air::AuthenticatorConfig config;
  config.authenticatorAddress = {0x02, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F};
  config.supplicantAddress = {0x00, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E};
  config.pmk = air::PskFromPassphrase(kPassphrase, kSsid);
  const air::Bytes element = air::BuildElement(air::KeyProtocol::Rsn, air::Cipher::Ccmp, air::Cipher::Ccmp);
  Station station;
  RsnKeyHandler handler(station);
  station.handler = &handler;
  station.pmk = config.pmk;
  for (auto _ : state) {
    air::PskAuthenticator ap(config);
    station.ap = &ap;
    handler.Reset();
    handler.SetAddresses(config.authenticatorAddress.data(), config.supplicantAddress.data());
    handler.SetAuthenticatorIes(element.data(), static_cast<uint32_t>(element.size()));
    handler.SetSupplicantIes(element.data(), static_cast<uint32_t>(element.size()));
    std::optional<air::Bytes> frame = ap.StartHandshake();
    while (frame) {
      station.answer.reset();
      handler.rsn_receive_key(frame->data(), static_cast<uint32_t>(frame->size()));
      frame = station.answer;
    }
    if (!ap.PairwiseComplete() || !handler.HandshakeComplete()) state.SkipWithError("handshake failed");
  }
  state.counters["handshakes/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// The table as usual, and the fastest time per iteration of each benchmark.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs)
      if (run.run_type == Run::RT_Iteration && !run.error_occurred) {
        auto [it, added] = best_.emplace(run.benchmark_name(), run.GetAdjustedRealTime());
        if (!added && run.GetAdjustedRealTime() < it->second) it->second = run.GetAdjustedRealTime();
      }
  }
  void PrintRatio() const {
    const auto ours = best_.find("Pbkdf2Ours"), theirs = best_.find("Pbkdf2OpenSsl");
    if (ours != best_.end() && theirs != best_.end())
      std::printf("\nPBKDF2-SHA1 (4096 iterations) ours/OpenSSL time ratio: %.2f\n", ours->second / theirs->second);
  }

 private:
  std::map<std::string, double> best_;
};

}  // namespace

BENCHMARK(Pbkdf2Ours)->Unit(benchmark::kMillisecond);
BENCHMARK(Pbkdf2OpenSsl)->Unit(benchmark::kMillisecond);
BENCHMARK(FourWayHandshake)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatio();
  benchmark::Shutdown();
  return 0;
}
