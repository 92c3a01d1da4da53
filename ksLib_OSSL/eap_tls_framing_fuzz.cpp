// The EAP-TLS framing against arbitrary server packets: a peer of a real client context
// takes a run of requests (each prefixed by a 2-byte length), and after each accepted one
// its response must fit the buffer and be a well-formed EAP Response of our types.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "ksLib_OSSL/openssl_eap_tls_peer.h"
#include "ksLib_OSSL/tls_prf.h"

namespace {

TlsContext* Context() {
  static TlsContext* const context = [] {
    TlsConfig* config = nullptr;
    if (TlsConfig::Create(&config) != 0) std::abort();
    TlsContext* made = nullptr;
    if (TlsContext::Create(config, &made) != 0 || made->ApplyConfiguration() != 0) std::abort();
    config->Release();
    made->SetVerifyPeer(true);
    return made;
  }();
  return context;
}

ChainVerdict Refuse(void*, const DerCertificate*, std::uint32_t) { return 6; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  OpenSslEapTlsPeer* peer = nullptr;
  if (Context()->CreatePeer(&peer) != 0) std::abort();
  peer->EnableEapType((data[0] & 1) != 0 ? "PEAP" : "TLS");
  if ((data[0] & 2) != 0) peer->EnableEapType("TTLS");
  peer->SetMaxMessageSize((data[0] & 4) != 0 ? 65536 : 300);
  peer->CreateConnection();
  peer->SetChainVerifyHook(Refuse, nullptr);
  const std::uint32_t bufferSize = 6u + data[1] * 4u;
  std::vector<std::uint8_t> response(bufferSize);

  std::size_t at = 2;
  while (at + 2 <= size) {
    const std::size_t length = std::size_t{data[at]} << 8 | data[at + 1];
    at += 2;
    const std::size_t take = length < size - at ? length : size - at;
    std::vector<std::uint8_t> packet(data + at, data + at + take);  // exact size for ASan
    at += take;
    if (peer->ProcessRequest(packet.data(), static_cast<std::uint32_t>(packet.size())) != 0) continue;
    std::uint32_t produced = 0;
    if (peer->GetResponse(response.data(), bufferSize, &produced) != 0) continue;
    if (produced > bufferSize || produced < 6) std::abort();
    if (response[0] != 2 || (std::uint32_t{response[2]} << 8 | response[3]) != produced) std::abort();
    if (response[4] != 3 && response[4] != 13 && response[4] != 21 && response[4] != 25) std::abort();
  }
  std::uint8_t key[64];
  TlsPrf(*peer, "client EAP encryption", key, sizeof key);
  peer->Release();
  return 0;
}
