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
  HmacSha1 hmac;
  hmac.SetKey(key, keyLength);
  for (uint8_t counter = 0; produced < outLength; ++counter) {
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

void pbkdf2_sha1_block(const uint8_t* password, uint32_t passwordLength, const uint8_t* salt,
                       uint32_t saltLength, uint32_t iterations, uint32_t blockIndex,
                       uint8_t out[20]) {
  // The key's pads are hashed once; every further U is then two single-block compressions.
  HmacSha1 hmac;
  hmac.SetKey(password, passwordLength);
  const uint8_t index[4] = {static_cast<uint8_t>(blockIndex >> 24),
                            static_cast<uint8_t>(blockIndex >> 16),
                            static_cast<uint8_t>(blockIndex >> 8), static_cast<uint8_t>(blockIndex)};
  uint8_t u[kSha1DigestSize];
  hmac.Init();
  hmac.Update(salt, saltLength);
  hmac.Update(index, sizeof index);
  hmac.Final(u);
  std::memcpy(out, u, sizeof u);
  for (uint32_t i = 1; i < iterations; ++i) {
    hmac.MacOfDigest(u, u);
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
