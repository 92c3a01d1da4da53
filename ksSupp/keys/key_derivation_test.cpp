#include "ksSupp/keys/key_derivation.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <string>
#include <vector>

#include "ksSupp/keys/key_test_support.h"

namespace {

// IEEE 802.11i PRF test vectors, and a key longer than the HMAC block (hashed first).
TEST(Prf, MatchesTheStandardsVectors) {
  struct Case {
    Bytes key;
    std::string label;
    Bytes data;
    std::string expected;
  };
  const Case cases[] = {
      {Bytes(20, 0x0b), "prefix", Text("Hi There"),
       "bcd4c650b30b9684951829e0d75f9d54b862175ed9f00606e17d8da35402ffee"
       "75df78c3d31e0f889f012120c0862beb67753e7439ae242edb8373698356cf5a"},
      {Text("Jefe"), "prefix", Text("what do ya want for nothing?"),
       "51f4de5b33f249adf81aeb713a3c20f4fe631446fabdfa58244759ae58ef9009"
       "a99abf4eac2ca5fa87e692c440eb40023e7babb206d61de7b92f41529092b8fc"},
      {Bytes(20, 0xaa), "prefix", Bytes(50, 0xdd),
       "e1ac546ec4cb636f9976487be5c86be17a0252ca5d8d8df12cfb0473525249ce"
       "9dd8d177ead710bc9b590547239107aef7b4abd43d87f0a68f1cbd9e2b6f7607"},
      {Bytes(80, 0xaa), "prefix", Text("Test Using Larger Than Block-Size Key - Hash Key First"),
       "bdd515bab842744a6bc66e77aaa380a53ee0a0f2b0fcc1336feab333c92570d9"
       "24203b1e30c6e500625ef5aa2a5d04e5227ac657b5f9ed881e319369521f9814"},
  };
  for (const Case& c : cases) {
    Bytes out(64);
    prf_sha1(c.key.data(), static_cast<uint32_t>(c.key.size()), c.label.c_str(), -1, c.data.data(),
             static_cast<uint32_t>(c.data.size()), out.data(), 64);
    EXPECT_EQ(out, Hex(c.expected)) << c.label;
    // PRF-384: two whole blocks and 8 bytes of the third, the same bytes as the longer output.
    Bytes short_(48);
    prf_sha1(c.key.data(), static_cast<uint32_t>(c.key.size()), c.label.c_str(), 6, c.data.data(),
             static_cast<uint32_t>(c.data.size()), short_.data(), 48);
    EXPECT_EQ(short_, Bytes(out.begin(), out.begin() + 48));
  }
}

TEST(Prf, WithoutALabelHashesDataAndCounterOnly) {
  Bytes key(32, 0x11), data = Text("RN|AA");
  Bytes out(40);
  prf_sha1(key.data(), 32, nullptr, 0, data.data(), 5, out.data(), 40);
  Bytes expected;
  for (uint8_t counter = 0; counter < 2; ++counter) {
    Bytes input = data;
    input.push_back(counter);
    Bytes block = OpenSslHmac(EVP_sha1(), key, input);
    expected.insert(expected.end(), block.begin(), block.end());
  }
  EXPECT_EQ(out, expected);
}

TEST(Pbkdf2, MatchesRfc6070) {
  struct Case {
    std::string password, salt;
    uint32_t iterations;
    std::string expected;
  };
  const Case cases[] = {
      {"password", "salt", 1, "0c60c80f961f0e71f3a9b524af6012062fe037a6"},
      {"password", "salt", 2, "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957"},
      {"password", "salt", 4096, "4b007901b765489abead49d926f721d065a429c1"},
      {"passwordPASSWORDpassword", "saltSALTsaltSALTsaltSALTsaltSALTsalt", 4096,
       "3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038"},
      {std::string("pass\0word", 9), std::string("sa\0lt", 5), 4096,
       "56fa6aa75548099dcc37d7f03425e0c3"},
  };
  for (const Case& c : cases) {
    Bytes expected = Hex(c.expected);
    Bytes out(expected.size());
    pbkdf2_sha1(reinterpret_cast<const uint8_t*>(c.password.data()),
                static_cast<uint32_t>(c.password.size()),
                reinterpret_cast<const uint8_t*>(c.salt.data()), static_cast<uint32_t>(c.salt.size()),
                c.iterations, out.data(), static_cast<uint32_t>(out.size()));
    EXPECT_EQ(out, expected) << c.password << " " << c.iterations;
  }
}

TEST(Pbkdf2, PassphraseToPskMatchesTheStandardsVectors) {
  struct Case {
    std::string passphrase, ssid, psk;
  };
  const Case cases[] = {
      {"password", "IEEE", "f42c6fc52df0ebef9ebb4b90b38a5f902e83fe1b135a70e23aed762e9710a12e"},
      {"ThisIsAPassword", "ThisIsASSID",
       "0dc0d6eb90555ed6419756b9a15ec3e3209b63df707dd508d14581f8982721af"},
      {std::string(32, 'a'), std::string(32, 'Z'),
       "becb93866bb8c3832cb777c2f559807c8c59afcb6eae734885001300a981cc62"},
  };
  for (const Case& c : cases) {
    Bytes psk(kPskLength);
    PassphraseToPsk(c.passphrase.data(), static_cast<uint32_t>(c.passphrase.size()),
                    reinterpret_cast<const uint8_t*>(c.ssid.data()),
                    static_cast<uint32_t>(c.ssid.size()), psk.data());
    EXPECT_EQ(psk, Hex(c.psk)) << c.passphrase;
  }
}

TEST(Pmkid, IsTruncatedHmacOfPmkNameAndBothAddresses) {
  const Bytes pmk = Hex("0dc0d6eb90555ed6419756b9a15ec3e3209b63df707dd508d14581f8982721af");
  const uint8_t aa[6] = {0x00, 0x1B, 0x2C, 0x3D, 0x4E, 0x5F};
  const uint8_t spa[6] = {0x00, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E};
  uint8_t pmkid[kPmkidLength];
  compute_pmkid(pmk.data(), 32, aa, spa, pmkid);
  Bytes input = Text("PMK Name");
  input.insert(input.end(), aa, aa + 6);
  input.insert(input.end(), spa, spa + 6);
  Bytes expected = OpenSslHmac(EVP_sha1(), pmk, input);
  expected.resize(16);
  EXPECT_EQ(Bytes(pmkid, pmkid + 16), expected);
}

}  // namespace
