// The EAP-TLS framing against server packets, in two modes chosen by the top bit of the
// first byte:
// - clear: arbitrary packets; a peer of a real client context takes a run of requests (each
//   prefixed by a 2-byte length);
// - set: a scripted server (OpenSSL's server role with an authenticator's framing) answers
//   each response, so the handshake goes on past the first message; the input picks the
//   server's fragment size and then flips bytes of chosen requests (4-byte edits: round,
//   offset high, offset low, xor value) before the peer takes them.
// After each accepted request the peer's response must fit the buffer and be a well-formed
// EAP Response of our types.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

#include "ksLib_OSSL/eap_tls_test_server.h"
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
ChainVerdict Trust(void*, const DerCertificate*, std::uint32_t) { return 0; }

// Takes a response the peer produced; aborts when it is no well-formed EAP Response of ours.
bool TakeResponse(OpenSslEapTlsPeer& peer, std::vector<std::uint8_t>& response) {
  const auto bufferSize = static_cast<std::uint32_t>(response.size());
  std::uint32_t produced = 0;
  if (peer.GetResponse(response.data(), bufferSize, &produced) != 0) return false;
  if (produced > bufferSize || produced < 6) std::abort();
  if (response[0] != 2 || (std::uint32_t{response[2]} << 8 | response[3]) != produced) std::abort();
  if (response[4] != 3 && response[4] != 13 && response[4] != 21 && response[4] != 25) std::abort();
  response.resize(produced);
  return true;
}

// The conversation with the scripted server, with the input's edits applied to its requests.
void Converse(OpenSslEapTlsPeer& peer, const std::uint8_t* data, std::size_t size) {
  tls_testing::ServerOptions options;
  options.fragmentSize = 64u + data[0] * 8u;
  tls_testing::EapTlsTestServer scripted(tls_testing::Pki().server, options);
  tls_testing::Bytes request = scripted.Start();
  for (std::uint32_t round = 0; round < 64 && !request.empty() && request[0] == 1; ++round) {
    for (std::size_t at = 1; at + 4 <= size; at += 4) {
      if (data[at] != round) continue;
      request[(std::size_t{data[at + 1]} << 8 | data[at + 2]) % request.size()] ^= data[at + 3];
    }
    if (peer.ProcessRequest(request.data(), static_cast<std::uint32_t>(request.size())) != 0) return;
    std::vector<std::uint8_t> response(1400);
    if (!TakeResponse(peer, response)) return;
    std::optional<tls_testing::Bytes> next = scripted.OnResponse(response);
    if (!next) return;
    request = *next;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  OpenSslEapTlsPeer* peer = nullptr;
  if (Context()->CreatePeer(&peer) != 0) std::abort();
  const bool scripted = (data[0] & 0x80) != 0;
  peer->EnableEapType(!scripted && (data[0] & 1) != 0 ? "PEAP" : "TLS");
  if ((data[0] & 2) != 0) peer->EnableEapType("TTLS");
  peer->SetMaxMessageSize((data[0] & 4) != 0 ? 65536 : 300);
  peer->CreateConnection();
  if (scripted) {
    peer->SetChainVerifyHook((data[0] & 8) != 0 ? Refuse : Trust, nullptr);
    Converse(*peer, data + 1, size - 1);
    std::uint8_t key[64];
    TlsPrf(*peer, "client EAP encryption", key, sizeof key);
    peer->Release();
    return 0;
  }
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
    response.resize(bufferSize);
    TakeResponse(*peer, response);
  }
  std::uint8_t key[64];
  TlsPrf(*peer, "client EAP encryption", key, sizeof key);
  peer->Release();
  return 0;
}
