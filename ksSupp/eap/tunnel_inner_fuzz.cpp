// What the server says inside a PEAP or TTLS tunnel, arbitrary: the first byte chooses the
// reader. 0: an AVP list walked, then given to every TTLS inner protocol after its first
// round; 1: the EAP-TLV request reader; 2: the PEAPv0 header rebuilding and compression;
// 3: an inner EAP packet to the PEAP inner runner. Every read must stay inside the input
// and every written AVP list must read back.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "ksLib_OSSL/peap_v0_framing.h"
#include "ksSupp/eap/fake_eap_method_host.h"
#include "ksSupp/eap/peap_inner_method.h"
#include "ksSupp/eap/peap_tlv.h"
#include "ksSupp/eap/ttls_avp.h"
#include "ksSupp/eap/ttls_inner_protocol.h"

namespace {

FakeEapMethodHost& Host() {
  static FakeEapMethodHost* const host = [] {
    auto* made = new FakeEapMethodHost;
    made->userName = "fuzz";
    made->windowsUserName = "fuzz";
    made->password = "secret";
    made->ntHash.emplace();
    made->lmHash.emplace();
    const std::uint32_t types[] = {4, 6, 26};
    made->ttlsTypes.types.Append(types, 3);
    made->peapTypes.types.Append(types, 3);
    return made;
  }();
  return *host;
}

void CheckReadsBack(const AvpWriter& writer) {
  std::uint32_t count = 0;
  if (!CountAvps(writer.Data(), writer.Length(), count)) std::abort();
}

void FuzzAvps(const std::uint8_t* data, std::uint32_t size) {
  std::uint32_t count = 0;
  if (!CountAvps(data, size, count)) return;
  FakeEapMethodHost& host = Host();
  host.challengeAnswers.assign({std::string("answer")});
  host.credentials.assign({std::make_pair(std::string("secret"), std::string("new"))});
  for (std::uint32_t selector : {1u, 2u, 3u, 4u, 6u, 7u}) {
    host.tokens.assign({std::string("123456")});
    std::unique_ptr<TtlsInnerProtocol> protocol = CreateTtlsInnerProtocol(selector, &host);
    const std::uint8_t challenge[17] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17};
    protocol->SetChallenge(challenge, sizeof challenge);
    std::vector<std::uint8_t> handled(count, 0);
    AvpWriter first;
    protocol->Process(nullptr, 0, nullptr, 0, first);
    CheckReadsBack(first);
    for (int round = 0; round < 2; ++round) {
      AvpWriter writer;
      protocol->Process(data, size, handled.data(), count, writer);
      CheckReadsBack(writer);
    }
    protocol->GetStatus();
    protocol->VerifyCompletion();
    protocol->GetName();
  }
}

void FuzzPeapV0(const std::uint8_t* data, std::uint32_t size) {
  if (size == 0) return;
  for (bool seen : {false, true}) {
    PeapV0State state;
    state.innerSeen = seen;
    SecureByteArray out;
    ExpandPeapV0Packet(data, size, 7, state, out);
    if (out.Length() < 4) std::abort();
  }
  PeapV0State state;
  SecureByteArray out;
  CompressPeapV0Packet(data, size, state, out);
}

void FuzzPeapInner(const std::uint8_t* data, std::uint32_t size) {
  PeapInnerSession session(&Host());
  session.Process(data, size);
  session.Process(data, size);
  session.GetStatus();
  session.GetName();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > 65536) return 0;
  const auto length = static_cast<std::uint32_t>(size - 1);
  const std::uint8_t* body = data + 1;
  switch (data[0] % 4) {
    case 0:
      FuzzAvps(body, length);
      break;
    case 1:
      ReadPeapTlvRequest(body, length);
      break;
    case 2:
      FuzzPeapV0(body, length);
      break;
    case 3:
      FuzzPeapInner(body, length);
      break;
  }
  return 0;
}
