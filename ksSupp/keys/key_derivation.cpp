#include "ksSupp/keys/key_derivation.h"

#include <cstring>

#include <dcf/dcfWipe.h>
#include <dcf/hmac.h>
#include <dcf/sha1.h>

void prf_sha1(const uint8_t* key, uint32_t keyLength, const char* label, int labelLength,
              const uint8_t* data, uint32_t dataLength, uint8_t* out, uint32_t outLength) {
  const uint32_t labelBytes =
      label == nullptr ? 0 : labelLength < 0 ? static_cast<uint32_t>(std::strlen(label))
                                             : static_cast<uint32_t>(labelLength);
  uint8_t block[kSha1DigestSize];
  uint32_t produced = 0;
  for (uint8_t counter = 0; produced < outLength; ++counter) {
    HmacSha1 hmac;
    hmac.SetKey(key, keyLength);
    hmac.Init();
    if (labelBytes != 0) {
      const uint8_t zero = 0;
      hmac.Update(label, labelBytes);
      hmac.Update(&zero, 1);
    }
    hmac.Update(data, dataLength);
    hmac.Update(&counter, 1);
    hmac.Final(block);
    const uint32_t n = outLength - produced < kSha1DigestSize ? outLength - produced
                                                              : static_cast<uint32_t>(kSha1DigestSize);
    std::memcpy(out + produced, block, n);
    produced += n;
  }
  dcfWipe(block, sizeof block);
}

namespace {

// HMAC-SHA1 with the key's pads hashed once: PBKDF2 runs thousands of HMACs under one key,
// and each then costs two compressions instead of four.
class KeyedSha1 {
 public:
  KeyedSha1(const uint8_t* key, uint32_t keyLength) {
    uint8_t block[64] = {};
    if (keyLength > sizeof block)
      Sha1Digest(block, key, keyLength);
    else if (keyLength != 0)
      std::memcpy(block, key, keyLength);
    uint8_t pad[64];
    for (int i = 0; i < 64; ++i) pad[i] = block[i] ^ 0x36;
    Sha1Init(inner_);
    Sha1Update(inner_, pad, sizeof pad);
    for (int i = 0; i < 64; ++i) pad[i] = block[i] ^ 0x5C;
    Sha1Init(outer_);
    Sha1Update(outer_, pad, sizeof pad);
    dcfWipe(block, sizeof block);
    dcfWipe(pad, sizeof pad);
  }

  // out = HMAC(key, first | second); out may alias the input.
  void Mac(const uint8_t* first, uint32_t firstLength, const uint8_t* second,
           uint32_t secondLength, uint8_t out[kSha1DigestSize]) const {
    Sha1Context inner = inner_;
    Sha1Update(inner, first, firstLength);
    Sha1Update(inner, second, secondLength);
    uint8_t digest[kSha1DigestSize];
    Sha1Final(digest, inner);
    Sha1Context outer = outer_;
    Sha1Update(outer, digest, sizeof digest);
    Sha1Final(out, outer);
    dcfWipe(digest, sizeof digest);
  }

 private:
  Sha1Context inner_;
  Sha1Context outer_;
};

}  // namespace

void pbkdf2_sha1_block(const uint8_t* password, uint32_t passwordLength, const uint8_t* salt,
                       uint32_t saltLength, uint32_t iterations, uint32_t blockIndex,
                       uint8_t out[20]) {
  const KeyedSha1 hmac(password, passwordLength);
  const uint8_t index[4] = {static_cast<uint8_t>(blockIndex >> 24),
                            static_cast<uint8_t>(blockIndex >> 16),
                            static_cast<uint8_t>(blockIndex >> 8), static_cast<uint8_t>(blockIndex)};
  uint8_t u[kSha1DigestSize];
  hmac.Mac(salt, saltLength, index, sizeof index, u);
  std::memcpy(out, u, sizeof u);
  for (uint32_t i = 1; i < iterations; ++i) {
    hmac.Mac(u, sizeof u, nullptr, 0, u);
    for (uint32_t k = 0; k < sizeof u; ++k) out[k] ^= u[k];
  }
  dcfWipe(u, sizeof u);
}

void pbkdf2_sha1(const uint8_t* password, uint32_t passwordLength, const uint8_t* salt,
                 uint32_t saltLength, uint32_t iterations, uint8_t* out, uint32_t outLength) {
  uint8_t block[kSha1DigestSize];
  for (uint32_t index = 1, done = 0; done < outLength; ++index) {
    pbkdf2_sha1_block(password, passwordLength, salt, saltLength, iterations, index, block);
    const uint32_t n = outLength - done < sizeof block ? outLength - done
                                                       : static_cast<uint32_t>(sizeof block);
    std::memcpy(out + done, block, n);
    done += n;
  }
  dcfWipe(block, sizeof block);
}

void PassphraseToPsk(const char* passphrase, uint32_t passphraseLength, const uint8_t* ssid,
                     uint32_t ssidLength, uint8_t psk[kPskLength]) {
  pbkdf2_sha1(reinterpret_cast<const uint8_t*>(passphrase), passphraseLength, ssid, ssidLength,
              kPskIterations, psk, kPskLength);
}

void compute_pmkid(const uint8_t* pmk, uint32_t pmkLength, const uint8_t aa[6],
                   const uint8_t spa[6], uint8_t pmkid[kPmkidLength]) {
  HmacSha1 hmac;
  hmac.SetKey(pmk, pmkLength);
  hmac.Init();
  hmac.Update("PMK Name", 8);
  hmac.Update(aa, 6);
  hmac.Update(spa, 6);
  uint8_t digest[kSha1DigestSize];
  hmac.Final(digest);
  std::memcpy(pmkid, digest, kPmkidLength);
  dcfWipe(digest, sizeof digest);
}
