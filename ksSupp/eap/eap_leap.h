// LEAP (EAP type 17): the server challenges us with 8 bytes and we answer with the MS-CHAP
// response under the NT hash; after EAP-Success we challenge the server and check its answer
// under the hash of the hash. Because that second half runs after EAP-Success, the method
// asks for every EAP packet. Its session key is 16 bytes.
#pragma once

#include <collections/dcfByteArray.h>

#include "ksSupp/eap/eap_method.h"
#include "ksSupp/eap/ms_chap.h"

class EapLeap : public EapMethod {
 public:
  enum State : std::uint32_t {
    kWaitingForChallenge = 1,
    kResponseSent = 2,
    kChallengeSent = 3,  // our challenge to the server went out after its EAP-Success
    kDone = 4,           // finished, or failed
  };

  explicit EapLeap(EapMethodHostServices* host);
  ~EapLeap() override;

  std::uint32_t Initialize() override;
  const char* GetName() override { return "EAP-LEAP"; }
  // The 16-byte session key into keys[0..15] once finished; the rest is left alone.
  bool GetKeys(std::uint8_t keys[kEapKeyBlockSize]) override;
  void SetAuthenticationResult(bool success) override;
  // Any earlier pending packet is dropped first.
  std::uint32_t ReceiveEapRequest(const std::uint8_t* packet, std::uint32_t length) override;
  std::uint32_t GetEapResponse(std::uint8_t* buffer, std::uint32_t size,
                               std::uint32_t* length) override;
  bool WantsAllEapPackets() override { return true; }

  State state() const { return state_; }

 private:
  struct Packet {
    std::uint8_t code;
    std::uint8_t identifier;
    std::uint8_t type;         // 0 for Success and Failure
    const std::uint8_t* data;  // after the type byte, within the EAP length
    std::uint32_t dataLength;
  };

  std::uint32_t HandlePacket(const std::uint8_t* bytes, std::uint32_t length);
  std::uint32_t OnServerChallenge(const Packet& packet);
  std::uint32_t OnServerVerdict(const Packet& packet);
  std::uint32_t OnServerResponse(const Packet& packet);
  // The pending packet: {code, identifier, length, type}, {version 1, 0, count}, `value`,
  // the user name. 0, or a status when it would not fit an EAP packet.
  std::uint32_t SetPending(std::uint8_t code, std::uint8_t identifier, const std::uint8_t* value,
                           std::uint8_t count);

  // The session key is MD5 over this block, in this order.
  struct KeyBlock {
    std::uint8_t hashHash[kNtHashSize];
    std::uint8_t ourChallenge[kMsChapChallengeSize];
    std::uint8_t serverResponse[kMsChapResponseSize];  // what the server must answer
    std::uint8_t serverChallenge[kMsChapChallengeSize];
    std::uint8_t ourResponse[kMsChapResponseSize];
  };
  static_assert(sizeof(KeyBlock) == 80);

  State state_ = static_cast<State>(0);  // Initialize starts the exchange
  std::uint8_t successIdentifier_ = 0;
  std::uint8_t eapType_ = 0;
  SecureByteArray response_;
  KeyBlock keys_ = {};
};
