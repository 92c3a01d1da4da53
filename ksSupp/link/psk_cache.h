#pragma once
// PskCache: the PSK of a pass phrase and SSID, computed once (PBKDF2 with 4096 iterations
// is slow) and kept for the next key setting. Its own lock: the host may precompute from
// another thread while the link runs.
#include <cstdint>

#include <collections/dcfByteArray.h>
#include <dcf/dcfCriticalSection.h>

#include "ksSupp/keys/key_derivation.h"

class PskCache {
 public:
  PskCache() = default;
  ~PskCache();
  PskCache(const PskCache&) = delete;
  PskCache& operator=(const PskCache&) = delete;

  // The PSK into psk: 64 characters are read as 64 hexadecimal digits, any other length
  // goes through PBKDF2 with the SSID as salt. False (traced, psk untouched) when there is
  // no pass phrase, or 64 characters that are not all hexadecimal digits: no key is better
  // than a known one.
  bool Get(const std::uint8_t* passphrase, std::uint32_t passphraseLength,
           const std::uint8_t* ssid, std::uint32_t ssidLength, std::uint8_t psk[kPskLength]);

 private:
  bool Compute(const std::uint8_t* passphrase, std::uint32_t passphraseLength,
               const std::uint8_t* ssid, std::uint32_t ssidLength);

  dcfCriticalSection lock_;
  SecureByteArray passphrase_;
  SecureByteArray ssid_;
  std::uint8_t psk_[kPskLength] = {};
  bool valid_ = false;
};
