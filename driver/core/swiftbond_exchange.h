#pragma once
// The SwiftBond one-touch exchange on the station's side: four request-reply pairs with a
// cooperating access point, each step reported to the utility, the access point's answer
// kept for the utility to read. The core supplies the frames, the timer and the events
// through `SwiftBondLink`; the exchange keeps no lock of its own (it runs in the core's OID,
// receive and timer contexts).
#include <cstdint>

#include "driver/core/swiftbond_messages.h"
#include "driver/ndis/utility_events.h"

namespace zelnic::core {

enum SwiftBondState : std::uint32_t {
  kSbIdle = 0,
  kSbSendStart = 1,
  kSbWaitStart = 2,
  kSbSendSecurity = 3,
  kSbWaitSecurity = 4,
  kSbSendConfirm = 5,
  kSbWaitConfirm = 6,
  kSbSendFinish = 7,
  kSbWaitFinish = 8,
  kSbFailed = 0xFFFF,
};

constexpr std::uint32_t kSwiftBondStepMs = 200;
constexpr std::uint32_t kSwiftBondEventStep = HLVN_EVENT_SWIFTBOND_STEP;  // + 0..7, in the order of the exchange
constexpr std::uint32_t kSwiftBondEventFailed = HLVN_EVENT_SWIFTBOND_FAILED;
constexpr std::uint32_t kSwiftBondSecurityRecordBytes = 168;
constexpr std::uint32_t kSwiftBondSetupRecordBytes = 8;
constexpr std::uint32_t kSwiftBondApInfoBytes = 52;

class SwiftBondLink {
 public:
  virtual ~SwiftBondLink() = default;
  virtual bool Associated() = 0;
  // Queues a data frame to the BSSID with this body; false without a free frame buffer.
  virtual bool SendBody(const std::uint8_t* body, std::uint32_t length) = 0;
  virtual void ArmTimer(std::uint32_t ms) = 0;
  virtual void CancelTimer() = 0;
  virtual void PostEvent(std::uint32_t event) = 0;
  virtual void RestoreTxPower() = 0;
  virtual const std::uint8_t* Bssid() = 0;
  virtual const std::uint8_t* StationAddress() = 0;
  virtual std::uint16_t StationWord() = 0;
};

class SwiftBondExchange {
 public:
  explicit SwiftBondExchange(SwiftBondLink& link) : link_(link) {}
  ~SwiftBondExchange();
  SwiftBondExchange(const SwiftBondExchange&) = delete;
  SwiftBondExchange& operator=(const SwiftBondExchange&) = delete;

  // The utility's security record; false (too short) when below 168 bytes.
  bool SetSecurity(const std::uint8_t* record, std::uint32_t length);
  // The utility's setup record: action 1 starts from idle (or after a failure), 2 stops.
  void Setup(const std::uint8_t* record, std::uint32_t length);
  // A received frame body: true when it was the reply the exchange waits for.
  bool Receive(const std::uint8_t* body, std::uint32_t length);
  // The step timer fired.
  void Timeout();
  // The 52-byte access-point record: SSID length, SSID, the 16-byte value.
  void ApInfo(std::uint8_t (&out)[kSwiftBondApInfoBytes]) const;

  std::uint32_t State() const { return state_; }
  // The block of the 0x8003 reply, decrypted (the station reads nothing from it).
  const std::uint8_t* ReceivedBlock() const { return block_; }

 private:
  bool BeginSend(std::uint32_t ownState);
  void Send(std::uint8_t* body, std::uint32_t length, std::uint32_t event);
  // The four messages of the station: types 1, 3, 4 and 2.
  void SwiftBondSendStart();
  void SwiftBondSendSecurity();
  void SwiftBondSendConfirm();
  void SwiftBondSendFinish();
  void OnStartReply(const SwiftBondReply& reply);
  void OnSecurityReply(const SwiftBondReply& reply);
  void Fail();
  void Wipe();

  SwiftBondLink& link_;
  std::uint32_t state_ = kSbIdle;
  std::uint8_t passphrase_[32] = {};
  std::uint8_t securityBlock_[128] = {};
  std::uint16_t securityWord_ = 0;
  std::uint32_t securityValue_ = 0;
  std::uint16_t keyType_ = 0;
  std::uint16_t keyIndex_ = 0;
  std::uint32_t apSsidLength_ = 0;
  std::uint8_t apSsid_[32] = {};
  std::uint8_t apValue_[16] = {};
  std::uint8_t block_[128] = {};
  std::uint16_t sequence_ = 0;
};

}  // namespace zelnic::core
