// Wall time of one PEAP/MS-CHAP-V2 and one EAP-TLS authentication against hostapd: ours (the
// EAP runner from EAPOL-Start to EAP-Success) beside wpa_supplicant on the same wired port
// and the same hostapd in the same run, timed from its EAP start to its EAP success by its
// own timestamps. The ratio ours/wpa_supplicant is printed; the goal is 1.0 or less. Each
// side runs several times; the medians count. The time is the wall clock's: most of it is
// hostapd's, in another process.
//
// eapol_test is not compared: it paces its rounds itself (about 100 ms a round), so its time
// per authentication measures its pacing, not the exchange.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "ksSupp/eap/fake_eap_method_host.h"
#include "ksSupp/eap/ms_chap.h"
#include "ksSupp/eap_type_list.h"
#include "tests/peers/eap_session_responder.h"
#include "tests/peers/hostapd_fixture.h"
#include "tests/peers/tls_peer_pki.h"

namespace peers {
namespace {

using capi::testing::MakeCertificate;
using capi::testing::TestCertificate;

constexpr int kRounds = 5;
constexpr char kPassword[] = "bench secret";

struct BenchPki {
  TestCertificate ca = MakeCertificate("Bench CA", {.isCa = true, .rsa = true, .rsaBits = 2048});
  TestCertificate server =
      MakeCertificate("hostapd.example", {.issuer = &ca, .serial = 2, .rsa = true, .rsaBits = 2048});
  TestCertificate client = MakeCertificate(
      "alice", {.issuer = &ca, .serial = 3, .rsa = true, .rsaBits = 2048, .extendedKeyUsage = "clientAuth"});
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

class TunnelBenchmark : public HostapdTest {
 protected:
  void Start(const BenchPki& pki) {
    const std::vector<std::string> config = ServerCertificateConfig(dir(), pki.ca, pki.server);
    StartHostapd({.eapUsers = {"\"anonymous\" PEAP", "\"alice\" TLS",
                               "\"ms\" MSCHAPV2 \"bench secret\" [2]"},
                  .extraConfig = config});
  }

  // One wpa_supplicant authentication on the station end: seconds from its EAP start to its
  // EAP success by its own clock; negative when it did not succeed.
  double Supplicant(const std::string& network, int round) {
    const std::string name = "wpa" + std::to_string(round);
    const std::string config = dir().Write(name + ".conf", "ap_scan=0\nnetwork={\n" + network + "}\n");
    const std::string log = dir().File(name + ".log");
    ChildProcess process = space().Start(
        {"wpa_supplicant", "-D", "wired", "-i", stationInterface(), "-c", config, "-t",
         "-f", log});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    const std::regex started(R"((\d+\.\d+): .*CTRL-EVENT-EAP-STARTED)");
    const std::regex succeeded(R"((\d+\.\d+): .*CTRL-EVENT-EAP-SUCCESS)");
    std::smatch begin;
    std::smatch end;
    std::string text;
    // Waiting for the other process, not for a protocol timer.
    while (std::chrono::steady_clock::now() < deadline) {
      text = ReadTextFile(log);
      if (std::regex_search(text, end, succeeded) && std::regex_search(text, begin, started)) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    process.Stop();
    if (end.empty() || begin.empty()) return -1;
    return std::stod(end[1]) - std::stod(begin[1]);
  }

  // One authentication of ours: seconds from EAPOL-Start to EAP-Success.
  double Ours(FakeEapMethodHost& host, std::uint32_t type, const std::string& identity) {
    EapTypeList allowed;
    allowed.types.Append(&type, 1);
    EapSession session(&allowed, &host);
    EapSessionResponder responder(session);
    EapolPort port(space(), stationInterface(), NewStation());
    const auto begin = std::chrono::steady_clock::now();
    const EapTranscript transcript = RunEapConversation(port, identity, responder);
    const auto end = std::chrono::steady_clock::now();
    hostapd().Deauthenticate(port.station());
    if (transcript.outcome != EapOutcome::kSuccess) return -1;
    return std::chrono::duration<double>(end - begin).count();
  }

  void Report(const char* what, const std::vector<double>& ours, const std::vector<double>& supplicant) {
    for (const double value : ours) ASSERT_GT(value, 0) << what << ": ours failed";
    for (const double value : supplicant) ASSERT_GT(value, 0) << what << ": wpa_supplicant failed";
    const double ratio = Median(ours) / Median(supplicant);
    std::printf("[ bench ] %s: ours %.1f ms, wpa_supplicant %.1f ms, ratio %.2f (goal <= 1.0)\n", what,
                Median(ours) * 1000, Median(supplicant) * 1000, ratio);
    RecordProperty(std::string(what) + "_wpa_supplicant_ratio", std::to_string(ratio));
  }
};

TEST_F(TunnelBenchmark, PeapMsChapV2AndEapTls) {
  static const BenchPki* const pki = new BenchPki;
  Start(*pki);
  const std::string caFile = dir().File("ca.pem");
  const std::string clientCert = dir().Write("client.pem", Pem(pki->client, false));
  const std::string clientKey = dir().Write("client.key", Pem(pki->client, true));

  TlsContext* plain = MakePlainClientContext();
  TlsContext* withCertificate = MakePlainClientContext();
  ASSERT_NE(plain, nullptr);
  ASSERT_NE(withCertificate, nullptr);
  ASSERT_EQ(withCertificate->UseCertificateDer(TlsContext::kDer, pki->client.der.data(),
                                               static_cast<std::uint32_t>(pki->client.der.size())),
            0);
  const Bytes key = pki->client.Pkcs8();
  ASSERT_EQ(withCertificate->UsePrivateKeyDer(key.data(), static_cast<std::uint32_t>(key.size())), 0);

  const std::string peapNetwork =
      "key_mgmt=IEEE8021X\neap=PEAP\neapol_flags=0\nidentity=\"ms\"\n"
      "phase1=\"peapver=0\"\nphase2=\"auth=MSCHAPV2\"\nanonymous_identity=\"anonymous\"\n"
      "ca_cert=\"" + caFile + "\"\npassword=\"bench secret\"\n";
  const std::string tlsNetwork = "key_mgmt=IEEE8021X\neap=TLS\neapol_flags=0\nidentity=\"alice\"\n"
                                 "ca_cert=\"" + caFile + "\"\nclient_cert=\"" + clientCert +
                                 "\"\nprivate_key=\"" + clientKey + "\"\n";
  std::vector<double> oursPeap, theirsPeap, oursTls, theirsTls;
  for (int round = 0; round < kRounds; ++round) {
    FakeEapMethodHost peap;
    peap.userName = peap.windowsUserName = "ms";
    peap.ntHash.emplace();
    ASSERT_TRUE(NtPasswordHashOfUtf8(kPassword, peap.ntHash->data()));
    peap.tlsContext = plain;
    peap.peapHighestVersion = 0;
    const std::uint32_t msChapV2 = 26;
    peap.peapTypes.types.Append(&msChapV2, 1);
    oursPeap.push_back(Ours(peap, 25, "anonymous"));
    theirsPeap.push_back(Supplicant(peapNetwork, 2 * round));

    FakeEapMethodHost tls;
    tls.userName = "alice";
    tls.tlsContext = withCertificate;
    oursTls.push_back(Ours(tls, 13, "alice"));
    theirsTls.push_back(Supplicant(tlsNetwork, 2 * round + 1));
  }
  Report("PEAPv0/MS-CHAP-V2", oursPeap, theirsPeap);
  Report("EAP-TLS", oursTls, theirsTls);
  plain->Release();
  withCertificate->Release();
}

}  // namespace
}  // namespace peers
