#pragma once
// The CCKM fast-roaming hook: before a reassociation to a CCKM access point the station asks
// the supplicant's host for a CCKM element and waits at most 500 ms for it; the element (or
// none, after the wait or a refusal) goes into the reassociation request.
#include <cstdint>

namespace zelnic::core {

constexpr std::uint32_t kCckmRequestStatus = 0xFFCCA005;  // NDIS_STATUS_HLVN_CCKM_REQUEST
constexpr std::uint32_t kCckmRequestEvent = 136;         // HLVN_EVENT_CCKM_REQUEST
constexpr std::uint32_t kCckmWaitMs = 500;
constexpr std::uint32_t kCckmMaxElement = 128;
constexpr std::uint32_t kCckmRequestBytes = 14;  // the target's 8-byte timestamp, its BSSID

enum CckmState : std::uint32_t { kCckmNone = 0, kCckmWaiting = 1, kCckmGiven = 2 };

class CckmLink {
 public:
  virtual ~CckmLink() = default;
  virtual void IndicateStatus(std::uint32_t status, const std::uint8_t* payload, std::uint32_t length) = 0;
  virtual void PostEvent(std::uint32_t event, const std::uint8_t* payload, std::uint32_t length) = 0;
  virtual void ArmWait(std::uint32_t ms) = 0;
  virtual void CancelWait() = 0;
  // The reassociation request to the target, with the element or without (null).
  virtual void SendReassociation(const std::uint8_t* element, std::uint32_t length) = 0;
  virtual void Disconnect() = 0;
};

enum class CckmRefusal { None, RecordTooShort, ElementTooLong, NotWaiting };

class CckmHook {
 public:
  explicit CckmHook(CckmLink& link) : link_(link) {}

  void Request(const std::uint8_t (&timestamp)[8], const std::uint8_t (&bssid)[6]);
  // OID_HLVN_CCX_CCKM_ELEMENT: {u32 valid, u32 length, element}; the element is read only
  // as far as the record holds it.
  CckmRefusal SetElement(const std::uint8_t* record, std::uint32_t length);
  // OID_HLVN_CCX_CCKM_CANCEL: {u32 flag} ends the wait; flag 1 leaves the network, any other
  // flag sends the reassociation without an element.
  CckmRefusal Cancel(const std::uint8_t* record, std::uint32_t length);
  void WaitTimeout();
  void Reset() { state_ = kCckmNone; armed_ = false; elementLength_ = 0; }

  std::uint32_t State() const { return state_; }
  const std::uint8_t* Target() const { return target_; }
  const std::uint8_t* Element() const { return element_; }
  std::uint32_t ElementLength() const { return elementLength_; }

 private:
  void GiveElement(const std::uint8_t* element, std::uint32_t length);
  void Disarm();

  CckmLink& link_;
  std::uint32_t state_ = kCckmNone;
  bool armed_ = false;
  std::uint8_t target_[6] = {};
  std::uint8_t element_[kCckmMaxElement] = {};
  std::uint32_t elementLength_ = 0;
};

}  // namespace zelnic::core
