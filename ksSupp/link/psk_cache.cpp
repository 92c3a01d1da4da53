#include "ksSupp/link/psk_cache.h"

#include <cstring>
#include <string>

#include <dcf/dcfBytes.h>
#include <dcf/dcfLock.h>
#include <dcf/dcfWipe.h>

#include "ksSupp/trace.h"

namespace {

constexpr std::uint32_t kHexPassphraseLength = 2 * kPskLength;

bool Same(const dcfByteArray& kept, const std::uint8_t* bytes, std::uint32_t length) {
  return kept.Length() == length && (length == 0 || std::memcmp(kept.Data(), bytes, length) == 0);
}

void Refuse(const char* text) {
  if (TraceEnabled(TraceLevel::Error)) traceError(TraceCategory::Keys, nullptr, 0, "%s", text);
}

}  // namespace

PskCache::~PskCache() { dcfWipe(psk_, sizeof psk_); }

bool PskCache::Get(const std::uint8_t* passphrase, std::uint32_t passphraseLength,
                   const std::uint8_t* ssid, std::uint32_t ssidLength,
                   std::uint8_t psk[kPskLength]) {
  if (passphrase == nullptr || passphraseLength == 0) {
    Refuse("Cannot set WPA key from passphrase: no passphrase supplied\n");
    return false;
  }
  if (ssid == nullptr) ssidLength = 0;
  dcfLock lock(lock_);
  if (!valid_ || !Same(passphrase_, passphrase, passphraseLength) ||
      !Same(ssid_, ssid, ssidLength)) {
    if (!Compute(passphrase, passphraseLength, ssid, ssidLength)) return false;
  }
  std::memcpy(psk, psk_, kPskLength);
  return true;
}

bool PskCache::Compute(const std::uint8_t* passphrase, std::uint32_t passphraseLength,
                       const std::uint8_t* ssid, std::uint32_t ssidLength) {
  valid_ = false;
  passphrase_.Clear();
  ssid_.Clear();
  if (passphraseLength == kHexPassphraseLength) {
    SecureByteArray text;
    text.Assign(passphrase, passphraseLength);
    text.Append(reinterpret_cast<const std::uint8_t*>(""), 1);
    if (HexToBytes(psk_, kPskLength, reinterpret_cast<const char*>(text.Data())) != kPskLength) {
      dcfWipe(psk_, sizeof psk_);
      Refuse("Cannot set WPA key from passphrase: 64-character passphrase is not hexadecimal\n");
      return false;
    }
  } else {
    PassphraseToPsk(reinterpret_cast<const char*>(passphrase), passphraseLength, ssid,
                    ssidLength, psk_);
  }
  passphrase_.Assign(passphrase, passphraseLength);
  if (ssidLength != 0) ssid_.Assign(ssid, ssidLength);
  valid_ = true;
  return true;
}
