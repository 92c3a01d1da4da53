// Whole WPA2-PSK authentications through Pentrel's C interface: link created, initialized,
// network set, port up, the 4-way handshake against the simulated access point's
// authenticator, keys handed to the host, link released. Anchor in the same run: the same
// handshake on the RSN key handler alone (no link, no host messages); the time ratio of the
// two (in CPU time) is the cost of the link around the handshake. With a pass phrase every new link runs
// PBKDF2 (4096 iterations) once; with 64 hexadecimal digits it does not.
#include <benchmark/benchmark.h>
#include <ksstk.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <optional>
#include <string>

#include <dcf/dcfMD5Stream.h>

#include "bench/best_times_reporter.h"
#include "ksSupp/api_context.h"
#include "ksSupp/fake_cert_library.h"
#include "ksSupp/keys/null_key_handler_services.h"
#include "ksSupp/keys/rsn_key_handler.h"
#include "sim/air/authenticator.h"

namespace {

const std::string kPassphrase = "correct horse battery staple", kSsid = "zelnet";
const air::MacAddress kBssid = {0x02, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F};
const air::MacAddress kStation = {0x00, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E};

air::AuthenticatorConfig AccessPoint() {
  air::AuthenticatorConfig config;
  config.authenticatorAddress = kBssid;
  config.supplicantAddress = kStation;
  config.pmk = air::PskFromPassphrase(kPassphrase, kSsid);
  config.supplicantElement = air::BuildElement(air::KeyProtocol::Rsn, air::Cipher::Ccmp, air::Cipher::Ccmp);
  return config;
}

// The host: every frame the link sends goes straight to the access point.
struct Host {
  air::PskAuthenticator* ap = nullptr;
  std::optional<air::Bytes> answer;
  int keys = 0;
};

uint32_t KSSTK_CALL Callback(uintptr_t user, KSSTK_CALLBACK_MESSAGE* message) {
  Host& host = *reinterpret_cast<Host*>(user);
  if (message->Code == KSSTK_MSG_SEND_EAPOL) {
    const auto& send = *reinterpret_cast<KSSTK_SEND_EAPOL_MESSAGE*>(message);
    host.answer = host.ap->Receive(send.Frame, send.FrameLength);
  } else if (message->Code == KSSTK_MSG_ADD_KEY) {
    ++host.keys;
  }
  return 0;
}

void LinkAuthentication(benchmark::State& state, const std::string& passphrase) {
  fake_cert::Utility utility;
  utility.AddRef();
  ApiContext* context = ApiContext::Create(&utility);
  const air::AuthenticatorConfig config = AccessPoint();
  KSSTK_NETWORK_INFO info{};
  info.Length = sizeof info;
  info.NetworkType = KSSTK_NETWORK_INFRASTRUCTURE;
  info.AssociationMode = KSSTK_ASSOCIATION_RSN;
  info.KeySource = KSSTK_KEY_SOURCE_PASSPHRASE;
  info.Cipher = KSSTK_CIPHER_CCMP;
  std::memcpy(info.StationAddress, kStation.data(), 6);
  std::memcpy(info.Bssid, kBssid.data(), 6);
  info.Passphrase.A = passphrase.c_str();
  info.Ssid = reinterpret_cast<const uint8_t*>(kSsid.data());
  info.SsidLength = static_cast<uint32_t>(kSsid.size());
  info.SupplicantIe = config.supplicantElement.data();
  info.SupplicantIeLength = static_cast<uint32_t>(config.supplicantElement.size());
  for (auto _ : state) {
    air::PskAuthenticator ap(config);
    Host host{&ap, {}, 0};
    KSSTK_LINK link = nullptr;
    KSSTK_CONTEXT_CreateLinkSynchronousA(context, &link);
    KSSTK_LINK_SetCallbackA(link, Callback, reinterpret_cast<uintptr_t>(&host));
    KSSTK_LINK_Initialize(link);
    KSSTK_LINK_SetNetworkInfoA(link, &info);
    KSSTK_LINK_PortUp(link);
    std::optional<air::Bytes> frame = ap.StartHandshake();
    while (frame) {
      host.answer.reset();
      KSSTK_LINK_ReceiveEapol(link, frame->data(), static_cast<uint32_t>(frame->size()));
      frame = host.answer;
    }
    if (!ap.PairwiseComplete() || host.keys != 2) state.SkipWithError("authentication failed");
    KSSTK_Release(link);
  }
  context->Release();
  state.counters["authentications/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void LinkWithPassphrase(benchmark::State& state) { LinkAuthentication(state, kPassphrase); }

void LinkWithHexPsk(benchmark::State& state) {
  const air::Bytes psk = air::PskFromPassphrase(kPassphrase, kSsid);
  std::string hex;
  for (uint8_t b : psk) hex += "0123456789abcdef"[b >> 4], hex += "0123456789abcdef"[b & 15];
  LinkAuthentication(state, hex);
}

// The anchor: the key handler alone, its PMK given.
struct Station : NullKeyHandlerServices {
  air::PskAuthenticator* ap = nullptr;
  KeyHandler* handler = nullptr;
  air::Bytes pmk;
  std::optional<air::Bytes> answer;
  void TransmitEapolKey(const uint8_t* frame, uint32_t length) override { answer = ap->Receive(frame, length); }
  void PairwiseMessage1Received() override { handler->SetPmk(pmk.data(), static_cast<uint32_t>(pmk.size())); }
};

void HandlerOnly(benchmark::State& state) {
  const air::AuthenticatorConfig config = AccessPoint();
  Station station;
  RsnKeyHandler handler(station);
  station.handler = &handler;
  station.pmk = config.pmk;
  const air::Bytes& element = config.supplicantElement;
  for (auto _ : state) {
    air::PskAuthenticator ap(config);
    station.ap = &ap;
    handler.Reset();
    handler.SetAddresses(kBssid.data(), kStation.data());
    handler.SetAuthenticatorIes(element.data(), static_cast<uint32_t>(element.size()));
    handler.SetSupplicantIes(element.data(), static_cast<uint32_t>(element.size()));
    std::optional<air::Bytes> frame = ap.StartHandshake();
    while (frame) {
      station.answer.reset();
      handler.rsn_receive_key(frame->data(), static_cast<uint32_t>(frame->size()));
      frame = station.answer;
    }
    if (!ap.PairwiseComplete()) state.SkipWithError("handshake failed");
  }
}

void PrintRatios(const BestTimesReporter& reporter) {
  for (const char* name : {"LinkWithHexPsk", "LinkWithPassphrase"}) {
    if (const auto ratio = reporter.ratio(name, "HandlerOnly"))
      std::printf("%s / HandlerOnly CPU-time ratio: %.2f\n", name, *ratio);
  }
}

}  // namespace

BENCHMARK(HandlerOnly)->Unit(benchmark::kMicrosecond);
BENCHMARK(LinkWithHexPsk)->Unit(benchmark::kMicrosecond);
BENCHMARK(LinkWithPassphrase)->Unit(benchmark::kMicrosecond);  // one unit: the ratios compare times

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  // The random source seeds itself on first use (waiting for the clock's next second): not
  // inside a measurement.
  std::uint8_t seed[1];
  GetRandomBytes(seed, sizeof seed);
  BestTimesReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n");
  PrintRatios(reporter);
  return FinishBenchmarks(reporter);
}
