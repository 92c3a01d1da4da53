// The dynamic-WEP key descriptor against one built here with OpenSSL's HMAC-MD5 and an RC4
// of the test's own: the key in the clear and encrypted, and each way a descriptor is
// refused (a key longer than the session key it would be read from above all).
#include "ksSupp/link/legacy_key_descriptor.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Rc4(const Bytes& key, const Bytes& data) {
  std::uint8_t s[256];
  for (int i = 0; i < 256; ++i) s[i] = static_cast<std::uint8_t>(i);
  for (int i = 0, j = 0; i < 256; ++i) {
    j = (j + s[i] + key[i % key.size()]) & 0xFF;
    std::swap(s[i], s[j]);
  }
  Bytes out(data.size());
  for (std::size_t n = 0, i = 0, j = 0; n < data.size(); ++n) {
    i = (i + 1) & 0xFF;
    j = (j + s[i]) & 0xFF;
    std::swap(s[i], s[j]);
    out[n] = data[n] ^ s[(s[i] + s[j]) & 0xFF];
  }
  return out;
}

struct Keys {
  dcfByteArray encryption, signature;
  Keys() {
    Bytes e(32), s(32);
    for (int i = 0; i < 32; ++i) e[i] = static_cast<std::uint8_t>(0xA0 + i), s[i] = static_cast<std::uint8_t>(0x10 + i);
    encryption.Assign(e.data(), 32);
    signature.Assign(s.data(), 32);
  }
};

// A signed descriptor with key length `keyLength`, carrying `wepKey` encrypted (empty: the
// frame carries no key).
Bytes Descriptor(const Keys& keys, std::uint16_t keyLength, const Bytes& wepKey, std::uint8_t index,
                 std::uint64_t counter = 7) {
  Bytes f(48);
  const std::size_t body = 44 + wepKey.size();
  f[0] = 1, f[1] = 3, f[2] = static_cast<std::uint8_t>(body >> 8), f[3] = static_cast<std::uint8_t>(body);
  f[4] = 1;
  f[5] = static_cast<std::uint8_t>(keyLength >> 8), f[6] = static_cast<std::uint8_t>(keyLength);
  for (int i = 0; i < 8; ++i) f[7 + i] = static_cast<std::uint8_t>(counter >> (56 - 8 * i));
  for (int i = 0; i < 16; ++i) f[15 + i] = static_cast<std::uint8_t>(0x55 + i);
  f[31] = index;
  if (!wepKey.empty()) {
    Bytes rc4Key(f.begin() + 15, f.begin() + 31);
    rc4Key.insert(rc4Key.end(), keys.encryption.begin(), keys.encryption.end());
    const Bytes encrypted = Rc4(rc4Key, wepKey);
    f.insert(f.end(), encrypted.begin(), encrypted.end());
  }
  std::size_t length = 0;
  EVP_Q_mac(nullptr, "HMAC", nullptr, "MD5", nullptr, keys.signature.Data(), keys.signature.Length(),
            f.data(), f.size(), f.data() + 32, 16, &length);
  return f;
}

TEST(LegacyKeyDescriptor, KeyInTheClearOrEncrypted) {
  const Keys keys;
  LegacyKey out;
  const Bytes broadcast = Descriptor(keys, 13, {}, 0x01);
  ASSERT_TRUE(ReadLegacyKeyDescriptor(broadcast.data(), static_cast<std::uint32_t>(broadcast.size()),
                                      keys.encryption, keys.signature, out));
  EXPECT_EQ(Bytes(out.key.begin(), out.key.end()), Bytes(keys.encryption.begin(), keys.encryption.begin() + 13));
  EXPECT_EQ(out.index, 1u);
  EXPECT_EQ(out.replayCounter, 7u);

  const Bytes wep = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
  const Bytes unicast = Descriptor(keys, 13, wep, 0x80, 8);
  ASSERT_TRUE(ReadLegacyKeyDescriptor(unicast.data(), static_cast<std::uint32_t>(unicast.size()),
                                      keys.encryption, keys.signature, out));
  EXPECT_EQ(Bytes(out.key.begin(), out.key.end()), wep);
  EXPECT_EQ(out.index, 0x80000000u);
}

TEST(LegacyKeyDescriptor, RefusesWhatItCannotTrustOrRead) {
  const Keys keys;
  const Bytes wep(13, 0x77);
  struct Case {
    const char* what;
    Bytes frame;
  };
  Bytes badSignature = Descriptor(keys, 13, wep, 0x80);
  badSignature[40] ^= 1;
  Bytes otherType = Descriptor(keys, 13, wep, 0x80);
  otherType[4] = 2;
  Bytes shortBody = Descriptor(keys, 13, {}, 0x80);
  shortBody[3] = 43;
  Bytes longBody = Descriptor(keys, 13, {}, 0x80);
  longBody[3] = 45;
  const Case cases[] = {
      {"key longer than the session key", Descriptor(keys, 33, {}, 0x01)},
      {"key longer than the bytes present", Descriptor(keys, 14, wep, 0x80)},
      {"bad signature", badSignature},
      {"descriptor type 2", otherType},
      {"body shorter than 44", shortBody},
      {"body longer than the frame", longBody},
      {"header only", Bytes{1, 3, 0, 0}},
  };
  for (const Case& c : cases) {
    LegacyKey out;
    EXPECT_FALSE(ReadLegacyKeyDescriptor(c.frame.data(), static_cast<std::uint32_t>(c.frame.size()),
                                         keys.encryption, keys.signature, out))
        << c.what;
  }
}

}  // namespace
