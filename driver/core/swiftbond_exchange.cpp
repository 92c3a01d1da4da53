#include "driver/core/swiftbond_exchange.h"

#include <openssl/crypto.h>

#include <cstring>

#include "driver/core/little_endian.h"
#include "driver/core/swiftbond_keys.h"

namespace zelnic::core {
namespace {

void PutLittle32(std::uint8_t* p, std::uint32_t v) {
  for (int k = 0; k < 4; ++k) p[k] = static_cast<std::uint8_t>(v >> (8 * k));
}

constexpr std::uint16_t kActionStart = 1;
constexpr std::uint16_t kActionStop = 2;
constexpr std::uint16_t kKeyTypeWep40 = 2;

// The state whose reply each waiting state expects.
std::uint16_t ExpectedReply(std::uint32_t state) {
  switch (state) {
    case kSbWaitStart: return kSwiftBondReplyFlag | kSwiftBondStart;
    case kSbWaitSecurity: return kSwiftBondReplyFlag | kSwiftBondSecurity;
    case kSbWaitConfirm: return kSwiftBondReplyFlag | kSwiftBondConfirm;
    case kSbWaitFinish: return kSwiftBondReplyFlag | kSwiftBondFinish;
    default: return 0;
  }
}

}  // namespace

SwiftBondExchange::~SwiftBondExchange() { Wipe(); }

void SwiftBondExchange::Wipe() {
  OPENSSL_cleanse(passphrase_, sizeof passphrase_);
  OPENSSL_cleanse(securityBlock_, sizeof securityBlock_);
  OPENSSL_cleanse(block_, sizeof block_);
}

bool SwiftBondExchange::SetSecurity(const std::uint8_t* record, std::uint32_t length) {
  if (record == nullptr || length < kSwiftBondSecurityRecordBytes) return false;
  std::memcpy(passphrase_, record + 2, sizeof passphrase_);
  std::memcpy(securityBlock_, record + 34, sizeof securityBlock_);
  securityWord_ = Get16(record + 162);
  securityValue_ = static_cast<std::uint32_t>(record[164] | record[165] << 8 | record[166] << 16) |
                   static_cast<std::uint32_t>(record[167]) << 24;
  return true;
}

void SwiftBondExchange::Setup(const std::uint8_t* record, std::uint32_t length) {
  if (record == nullptr || length < kSwiftBondSetupRecordBytes) return;
  const std::uint16_t action = Get16(record + 2);
  if (action == kActionStop) {
    link_.CancelTimer();
    state_ = kSbIdle;
    return;
  }
  if (action != kActionStart) return;
  if (state_ == kSbFailed) state_ = kSbIdle;
  if (state_ != kSbIdle) return;  // an exchange is running: nothing changes
  keyType_ = Get16(record + 4);
  keyIndex_ = Get16(record + 6);
  sequence_ = 0;
  state_ = kSbSendStart;
  SwiftBondSendStart();
}

bool SwiftBondExchange::BeginSend(std::uint32_t ownState) {
  if (!link_.Associated()) {
    // Nothing goes out; the step timer still ends the exchange, which would otherwise
    // wait in this state for ever.
    link_.ArmTimer(kSwiftBondStepMs);
    return false;
  }
  if (state_ != ownState) {
    state_ = kSbFailed;
    return false;
  }
  return true;
}

void SwiftBondExchange::Send(std::uint8_t* body, std::uint32_t length, std::uint32_t event) {
  if (!link_.SendBody(body, length)) {
    link_.ArmTimer(kSwiftBondStepMs);  // no frame buffer: the step timer ends the exchange
    return;
  }
  link_.ArmTimer(kSwiftBondStepMs);
  ++state_;
  link_.PostEvent(event);
}

void SwiftBondExchange::SwiftBondSendStart() {
  if (!BeginSend(kSbSendStart)) return;
  std::uint8_t body[kSwiftBondMaxBody];
  const std::uint32_t length = SwiftBondMessage{kSwiftBondStart, 82, ++sequence_, 0}.Write(body);
  std::memcpy(body + 16, passphrase_, sizeof passphrase_);
  std::uint8_t key[16];
  SwiftBondDeriveRc4Key(key, link_.Bssid(), link_.StationAddress());
  SbRc4(key, sizeof key, body + 16, sizeof passphrase_);
  OPENSSL_cleanse(key, sizeof key);
  Put16(body + 48, keyType_);
  Put16(body + 50, keyIndex_);
  Put16(body + 52, securityWord_);
  PutLittle32(body + 54, securityValue_);
  Put16(body + 58, link_.StationWord());
  Send(body, length, kSwiftBondEventStep + 0);
  OPENSSL_cleanse(body, sizeof body);
}

void SwiftBondExchange::SwiftBondSendSecurity() {
  if (!BeginSend(kSbSendSecurity)) return;
  std::uint8_t body[kSwiftBondMaxBody];
  const std::uint32_t length = SwiftBondMessage{kSwiftBondSecurity, 136, ++sequence_, 0}.Write(body);
  std::memcpy(body + 16, securityBlock_, sizeof securityBlock_);
  Send(body, length, kSwiftBondEventStep + 2);
  OPENSSL_cleanse(body, sizeof body);
}

void SwiftBondExchange::SwiftBondSendConfirm() {
  if (!BeginSend(kSbSendConfirm)) return;
  std::uint8_t body[kSwiftBondMaxBody];
  Send(body, SwiftBondMessage{kSwiftBondConfirm, 10, ++sequence_, 0}.Write(body), kSwiftBondEventStep + 4);
}

void SwiftBondExchange::SwiftBondSendFinish() {
  if (!BeginSend(kSbSendFinish)) return;
  std::uint8_t body[kSwiftBondMaxBody];
  Send(body, SwiftBondMessage{kSwiftBondFinish, 8, ++sequence_, 0}.Write(body), kSwiftBondEventStep + 6);
}

bool SwiftBondExchange::Receive(const std::uint8_t* body, std::uint32_t length) {
  SwiftBondReply reply;
  // A short reply is ignored like one of the wrong type: the step timer still runs.
  if (ParseSwiftBondReply(body, length, reply) != SwiftBondRefusal::None) return false;
  const std::uint16_t expected = ExpectedReply(state_);
  if (expected == 0 || reply.type != expected) return false;
  link_.CancelTimer();
  if (reply.status != 0) {
    Fail();
    return true;
  }
  switch (state_) {
    case kSbWaitStart:
      OnStartReply(reply);
      break;
    case kSbWaitSecurity:
      OnSecurityReply(reply);
      break;
    case kSbWaitConfirm:
      link_.PostEvent(kSwiftBondEventStep + 5);
      state_ = kSbSendFinish;
      SwiftBondSendFinish();
      break;
    case kSbWaitFinish:
      link_.PostEvent(kSwiftBondEventStep + 7);
      link_.RestoreTxPower();
      state_ = kSbIdle;
      break;
    default:
      break;
  }
  return true;
}

void SwiftBondExchange::OnStartReply(const SwiftBondReply& reply) {
  // The SSID is the leading non-zero bytes of its 32-byte field.
  const void* zero = std::memchr(reply.data, 0, 32);
  apSsidLength_ = zero == nullptr ? 32u : static_cast<std::uint32_t>(static_cast<const std::uint8_t*>(zero) - reply.data);
  std::memset(apSsid_, 0, sizeof apSsid_);
  std::memcpy(apSsid_, reply.data, apSsidLength_);
  std::memcpy(apValue_, reply.data + (54 - 16), sizeof apValue_);
  link_.PostEvent(kSwiftBondEventStep + 1);
  state_ = kSbSendSecurity;
  SwiftBondSendSecurity();
}

void SwiftBondExchange::OnSecurityReply(const SwiftBondReply& reply) {
  std::memcpy(block_, reply.data, sizeof block_);
  if (keyType_ == kKeyTypeWep40) {
    std::uint8_t keys[20];
    PassphraseToWep40Keys(passphrase_, sizeof passphrase_, keys);
    SbRc4(keys + 5 * (keyIndex_ % 4), 5, block_, sizeof block_);
    OPENSSL_cleanse(keys, sizeof keys);
  } else {
    std::uint8_t key[16];
    if (!PassphraseToWep104Key(passphrase_, sizeof passphrase_, key)) {
      OPENSSL_cleanse(key, sizeof key);
      Fail();
      return;
    }
    SbRc4(key, sizeof key, block_, sizeof block_);
    OPENSSL_cleanse(key, sizeof key);
  }
  link_.PostEvent(kSwiftBondEventStep + 3);
  state_ = kSbSendConfirm;
  SwiftBondSendConfirm();
}

void SwiftBondExchange::Timeout() {
  if (state_ == kSbIdle || state_ == kSbFailed) return;
  Fail();
}

void SwiftBondExchange::Fail() {
  state_ = kSbFailed;
  link_.PostEvent(kSwiftBondEventFailed);
  link_.RestoreTxPower();
}

void SwiftBondExchange::ApInfo(std::uint8_t (&out)[kSwiftBondApInfoBytes]) const {
  std::memset(out, 0, sizeof out);
  PutLittle32(out, apSsidLength_);
  std::memcpy(out + 4, apSsid_, sizeof apSsid_);
  std::memcpy(out + 36, apValue_, sizeof apValue_);
}

}  // namespace zelnic::core
