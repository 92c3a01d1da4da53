#include "ksSupp/keys/key_data_cipher.h"

#include <gtest/gtest.h>

#include <collections/dcfByteArray.h>

#include "ksSupp/keys/eapol_key_frame.h"
#include "ksSupp/keys/ie_set.h"
#include "ksSupp/keys/key_test_support.h"
#include "sim/air/authenticator_crypto.h"

namespace {

const Bytes kKek = Hex("000102030405060708090A0B0C0D0E0F");

TEST(AesKeyUnwrap, MatchesRfc3394AndOpenSslAndRejectsCorruption) {
  const Bytes wrapped = Hex("1FA68B0A8112B447AEF34BD8FB5A7B829D3E862371D2CFE5");
  Bytes out(16);
  ASSERT_TRUE(AesKeyUnwrap(kKek.data(), wrapped.data(), 24, out.data()));
  EXPECT_EQ(out, Hex("00112233445566778899AABBCCDDEEFF"));

  for (uint32_t length : {16u, 24u, 40u, 64u}) {  // against OpenSSL's wrap
    const Bytes plain = air::RandomBytes(length);
    const Bytes w = air::AesKeyWrap(kKek.data(), plain);
    Bytes unwrapped(length);
    ASSERT_TRUE(AesKeyUnwrap(kKek.data(), w.data(), static_cast<uint32_t>(w.size()), unwrapped.data()));
    EXPECT_EQ(unwrapped, plain) << length;
  }

  for (size_t at : {0u, 9u, 23u}) {  // any corrupted byte breaks the A6A6... check
    Bytes corrupted = wrapped;
    corrupted[at] ^= 0x40;
    Bytes untouched(16, 0x77);
    EXPECT_FALSE(AesKeyUnwrap(kKek.data(), corrupted.data(), 24, untouched.data())) << at;
    EXPECT_EQ(untouched, Bytes(16, 0x77)) << "nothing written on failure";
  }
  EXPECT_FALSE(AesKeyUnwrap(kKek.data(), wrapped.data(), 20, out.data()));
  EXPECT_FALSE(AesKeyUnwrap(kKek.data(), wrapped.data(), 8, out.data()));
}

TEST(Rc4KeyData, DiscardsTheFirst256KeystreamBytes) {
  const Bytes iv(16, 0x3C), plain = Text("dd16000fac01 GTK bytes");
  Bytes out(plain.size());
  Rc4KeyData(iv.data(), kKek.data(), plain.data(), static_cast<uint32_t>(plain.size()), out.data());
  EXPECT_EQ(out, air::Rc4Skip256(iv.data(), kKek.data(), plain));  // OpenSSL's RC4
}

// An EAPOL-Key frame carrying keyData with the given Key Information.
Bytes Frame(uint16_t info, const Bytes& keyData, const Bytes& iv = Bytes(16, 0)) {
  Bytes f(99 + keyData.size(), 0);
  f[1] = 3;
  f[5] = static_cast<uint8_t>(info >> 8);
  f[6] = static_cast<uint8_t>(info);
  std::copy(iv.begin(), iv.end(), f.begin() + 49);
  f[97] = static_cast<uint8_t>(keyData.size() >> 8);
  f[98] = static_cast<uint8_t>(keyData.size());
  std::copy(keyData.begin(), keyData.end(), f.begin() + 99);
  return f;
}

TEST(DecryptKeyData, OpensBothDescriptorVersionsIntoTheElementSet) {
  SecureByteArray ptk;
  ptk.Resize(64);
  for (uint32_t i = 0; i < 64; ++i) ptk[i] = static_cast<uint8_t>(i * 7);
  const uint8_t* kek = ptk.Data() + 16;
  const Bytes gtkKde = Hex("dd16000fac010100" "0102030405060708090a0b0c0d0e0f10");  // 24 bytes

  const Bytes iv(16, 0x5A);
  const Bytes rc4 = Frame(0x1001, air::Rc4Skip256(iv.data(), kek, gtkKde), iv);
  const Bytes aes = Frame(0x1002, air::AesKeyWrap(kek, gtkKde));
  const Bytes plain = Frame(0x0002, gtkKde);
  for (const Bytes* frame : {&rc4, &aes, &plain}) {
    IeSet keyData;
    ASSERT_TRUE(DecryptKeyData(EapolKeyFrame(frame->data(), static_cast<uint32_t>(frame->size())), ptk, keyData));
    ASSERT_TRUE(keyData.GtkKde().Valid());
    EXPECT_EQ(Bytes(keyData.GtkKde().Key(), keyData.GtkKde().Key() + 16), Bytes(gtkKde.begin() + 8, gtkKde.end()));
  }

  struct Refused {
    const char* what;
    Bytes frame;
    uint32_t ptkLength;
  };
  Bytes aesBad = aes;
  aesBad[99] ^= 1;
  const Refused refused[] = {
      {"15 bytes of AES-wrapped data", Frame(0x1002, Bytes(15, 0xAB)), 64},
      {"integrity value differs", aesBad, 64},
      {"descriptor version 3", Frame(0x1003, gtkKde), 64},
      {"PTK shorter than KCK | KEK", aes, 31},
  };
  for (const Refused& r : refused) {
    SecureByteArray shortPtk;
    shortPtk.Assign(ptk.Data(), r.ptkLength);
    IeSet keyData;
    EXPECT_FALSE(DecryptKeyData(EapolKeyFrame(r.frame.data(), static_cast<uint32_t>(r.frame.size())), shortPtk, keyData)) << r.what;
  }
}

}  // namespace
