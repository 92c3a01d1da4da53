#pragma once
// The SwiftBond side of a cooperating access point: answers each request of the one-touch
// exchange (types 1, 3, 4, 2) with its reply (0x8001, 0x8003, 0x8004, 0x8002). It reads the
// station's pass phrase with the same key derivation and mask as the station, returns its
// SSID and a 16-byte value, and encrypts its 128-byte block with the WEP key the station
// chose. An access point that sets a test for the pass phrase answers one that fails it with
// status 1 in the 0x8001 reply. Knobs make it misbehave for the station's failure paths. Its
// crypto is OpenSSL's (MD5 from the default provider, RC4 from the legacy one).
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "sim/air/secret.h"

namespace simair {

// The mask the SwiftBond key derivation mixes in; the station uses the same bytes.
constexpr std::uint8_t kSwiftBondMask[16] = {0x5A, 0x9C, 0x02, 0x53, 0x77, 0x69, 0x66, 0x74,
                                             0x42, 0x6F, 0x6E, 0x64, 0xC3, 0x1E, 0xA7, 0x40};

struct SwiftBondKnobs {
  std::uint16_t silentOnType = 0;    // a request of this type gets no reply
  std::uint16_t wrongTypeOnType = 0; // ... gets the reply of another request
  std::uint16_t shortOnType = 0;     // ... gets its reply cut to 12 bytes
  std::uint16_t statusOnType = 0;    // ... gets `status` (whatever the pass phrase)
  std::uint16_t status = 0;
};

class SwiftBondResponder {
 public:
  SwiftBondResponder(std::string ssid, std::array<std::uint8_t, 16> value, std::array<std::uint8_t, 128> block);
  SwiftBondKnobs& knobs() { return knobs_; }
  // The pass phrases the access point takes (every one until set).
  void setPassphraseTest(std::function<bool(const std::string&)> test) { passphraseTest_ = std::move(test); }

  // The reply body to a request body from `station` to `bssid`; empty for no reply.
  std::vector<std::uint8_t> answer(const std::uint8_t* bssid, const std::uint8_t* station,
                                   const std::uint8_t* body, std::size_t length);

  // What the station sent, for the tests' checks.
  const std::string& passphrase() const { return passphrase_.reveal(); }
  std::uint16_t keyType() const { return keyType_; }
  std::uint16_t keyIndex() const { return keyIndex_; }
  const std::vector<std::uint8_t>& securityBlock() const { return securityBlock_; }
  const std::vector<std::uint16_t>& requestTypes() const { return requestTypes_; }

  // The WEP keys the block is encrypted with (public for the tests' expectations).
  static std::array<std::uint8_t, 20> Wep40Keys(const std::string& passphrase);
  static std::array<std::uint8_t, 16> Wep104Key(const std::string& passphrase);
  static std::array<std::uint8_t, 16> Rc4Key(const std::uint8_t* bssid, const std::uint8_t* station);
  static std::vector<std::uint8_t> Rc4(const std::uint8_t* key, std::size_t keyLength, std::vector<std::uint8_t> data);

 private:
  std::string ssid_;
  std::array<std::uint8_t, 16> value_;
  std::array<std::uint8_t, 128> block_;
  SwiftBondKnobs knobs_;
  std::function<bool(const std::string&)> passphraseTest_;
  Secret passphrase_;
  std::uint16_t keyType_ = 0;
  std::uint16_t keyIndex_ = 0;
  std::vector<std::uint8_t> securityBlock_;
  std::vector<std::uint16_t> requestTypes_;
};

}  // namespace simair
