// The EAP runner over arbitrary packets, with scripted methods and with the real
// MD5-Challenge, Token Card, EAP-MS-CHAP-V2 and LEAP; every packet is also read as an MS-CHAP
// failure text. Input: a flags byte, a count and that many allowed types, then packets, each
// as a length byte (0: the completion check) and that many bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "ksSupp/eap/eap_md5_challenge.h"
#include "ksSupp/eap/eap_ms_chap_v2.h"
#include "ksSupp/eap/eap_session.h"
#include "ksSupp/eap/eap_token_card.h"
#include "ksSupp/eap/fake_eap_method_host.h"
#include "ksSupp/eap/ms_chap_failure.h"
#include "ksSupp/eap/scripted_eap_method.h"
#include <dcf/dcfEapHeader.h>
#include "ksSupp/eap_type_list.h"

namespace {

#define CHECK(condition) \
  if (!(condition)) __builtin_trap()

class FuzzedSession : public EapSession {
 public:
  FuzzedSession(const EapTypeList* list, FakeEapMethodHost* host, std::uint8_t flags)
      : EapSession(list, host), host_(host), flags_(flags) {}

  EapMethod* CreateMethod(std::uint32_t type) override {
    switch (type) {
      case kEapTypeMd5Challenge:
      case kEapTypeLeap:
        return EapSession::CreateMethod(type);
      case kEapTypeMsChapV2:  // an inner method, made here as the tunnels make it
        return new EapMsChapV2(host_);
      case kEapTypeTokenCard:
        return new EapTokenCard(host_, (flags_ & 0x08) != 0);
      case kEapTypeTls:  // needs every packet, answers every one
        return new ScriptedEapMethod({.response = {2, 0, 0, 5, 13}, .wantsAllEapPackets = true});
      case kEapTypePeap:  // refuses after accepting
        return new ScriptedEapMethod({.receiveResult = 0x0B005000});
      case kEapTypeTtls:  // does not start
        return new ScriptedEapMethod({.initializeResult = 0x6000});
      default:
        return nullptr;
    }
  }

 private:
  FakeEapMethodHost* host_;
  std::uint8_t flags_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint8_t flags = data[0];
  std::size_t at = 1;
  const std::size_t count = data[at++] & 0x07;
  EapTypeList allowed;
  for (std::size_t i = 0; i < count && at < size; ++i) {
    const std::uint32_t type = data[at++];
    allowed.types.Append(&type, 1);
  }

  FakeEapMethodHost host;
  host.userName = "fuzz";
  if (flags & 0x01) host.password = "secret";
  host.hasIdentityPassword = (flags & 0x02) != 0;
  for (int i = 0; i < 4; ++i) host.challengeAnswers.push_back(std::string(i * 40, 'a'));
  host.windowsUserName = (flags & 0x40) ? "" : "fuzz";
  if (flags & 0x20) host.ntHash = std::array<std::uint8_t, 16>{1, 2, 3, 4, 5};
  host.credentials = {std::make_pair("old", "new"), std::make_pair("old", "n\xFF"), std::nullopt};
  FuzzedSession session((flags & 0x04) ? nullptr : &allowed, &host, flags);
  const std::uint32_t bufferSize = (flags & 0x10) ? 6 : 1400;
  std::vector<std::uint8_t> buffer(bufferSize);

  while (at < size) {
    const std::size_t length = data[at++];
    const bool completion = length == 0;
    if (!completion && length > size - at) break;
    // A copy of exactly the packet, so reading past it is caught.
    std::vector<std::uint8_t> packet(data + at, data + at + length);
    at += length;
    MsChapFailure failure;
    if (ParseMsChapFailure(reinterpret_cast<const char*>(packet.data()),
                           static_cast<std::uint32_t>(packet.size()), failure)) {
      CHECK(failure.challengeLength <= kMsChapFailureChallengeMax);
      CHECK(failure.message.Length() <= packet.size());
    }
    const bool wasFailed = session.state() == EapSession::kFailed;
    const std::uint32_t statusBefore = session.status();
    std::uint32_t responseLength = 0xFFFFFFFF;
    const std::uint32_t status = session.ProcessRequest(completion ? nullptr : packet.data(),
                                                        static_cast<std::uint32_t>(packet.size()),
                                                        buffer.data(), bufferSize, &responseLength);
    CHECK(responseLength <= bufferSize);
    CHECK(status == 0 || responseLength == 0);
    if (wasFailed) CHECK(status == statusBefore && session.status() == statusBefore);
    if (session.state() == EapSession::kFailed) CHECK(session.status() != 0 && status != 0);
    if (responseLength > 0) {
      std::uint8_t code, identifier, type;
      std::uint16_t eapLength;
      const std::uint8_t* typeData;
      std::uint32_t typeDataLength;
      CHECK(ParseEapPacket(buffer.data(), responseLength, code, identifier, eapLength, type,
                           typeData, typeDataLength));
      // LEAP challenges the server with a Request of its own after EAP-Success.
      const bool leapChallenge =
          code == kEapCodeRequest && session.currentType() == kEapTypeLeap && type == kEapTypeLeap;
      CHECK((code == kEapCodeResponse || leapChallenge) && eapLength == responseLength);
    }
  }
  session.GetStatus();
  session.VerifyCompletion();
  return 0;
}
