#include "ksSupp/eap/ms_chap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <random>
#include <string>

#include "dcf1/src/crypto/crypto_test_support.h"
#include "ksSupp/eap/ms_chap_password_change.h"
#include "ksSupp/eap/ms_chap_reference.h"

namespace {

namespace ref = ms_chap_reference;
using crypto_test::FromHex;
using crypto_test::Hex;
using Bytes = std::vector<std::uint8_t>;

std::string Text(const char* chars, std::size_t n) { return std::string(chars, n); }

// RFC 2759 section 9.2: user "User", password "clientPass".
TEST(MsChapTest, Rfc2759WorkedExample) {
  std::uint8_t hash[kNtHashSize];
  NtPasswordHash(u"clientPass", hash);
  EXPECT_EQ(Hex(hash, 16), "44ebba8d5312b8d611474411f56989ae");
  std::uint8_t hashHash[kNtHashSize];
  PasswordHashHash(hash, hashHash);
  EXPECT_EQ(Hex(hashHash, 16), "41c00c584bd2d91c4017a2a12fa59f3f");

  const Bytes authenticator = FromHex("5B5D7C7D7B3F2F3E3C2C602132262628");
  const Bytes peer = FromHex("21402324255E262A28295F2B3A337C7E");
  std::uint8_t challenge[kMsChapChallengeSize];
  ChallengeHash(peer.data(), authenticator.data(), "User", challenge);
  EXPECT_EQ(Hex(challenge, 8), "d02e4386bce91226");

  std::uint8_t ntResponse[kMsChapResponseSize];
  GenerateNTResponse(authenticator.data(), peer.data(), "User", hash, ntResponse);
  EXPECT_EQ(Hex(ntResponse, 24), "82309ecd8d708b5ea08faa3981cd83544233114a3d85d6df");

  char proof[kAuthenticatorResponseSize];
  GenerateAuthenticatorResponse(hashHash, ntResponse, peer.data(), authenticator.data(), "User",
                                proof);
  EXPECT_EQ(Text(proof, sizeof proof), "S=407A5589115FD0D6209F510FE9C04566932CDA56");
}

TEST(MsChapTest, AuthenticatorResponseMustMatchExactly) {
  const Bytes hash = FromHex("44ebba8d5312b8d611474411f56989ae");
  const Bytes hashHash = FromHex("41c00c584bd2d91c4017a2a12fa59f3f");
  const Bytes ntResponse = FromHex("82309ecd8d708b5ea08faa3981cd83544233114a3d85d6df");
  const Bytes authenticator = FromHex("5B5D7C7D7B3F2F3E3C2C602132262628");
  const Bytes peer = FromHex("21402324255E262A28295F2B3A337C7E");
  struct Row {
    const char* received;
    const char* user;
    bool accepted;
  };
  for (const Row& row : {
           Row{"S=407A5589115FD0D6209F510FE9C04566932CDA56", "User", true},
           Row{"S=407a5589115fd0d6209f510fe9c04566932cda56", "User", false},  // lower case
           Row{"S=407A5589115FD0D6209F510FE9C04566932CDA57", "User", false},
           Row{"s=407A5589115FD0D6209F510FE9C04566932CDA56", "User", false},
           Row{"S=407A5589115FD0D6209F510FE9C04566932CDA56", "user", false},
       }) {
    EXPECT_EQ(CheckAuthenticatorResponse(hashHash.data(), ntResponse.data(), peer.data(),
                                         authenticator.data(), row.user,
                                         reinterpret_cast<const std::uint8_t*>(row.received)),
              row.accepted)
        << row.received << " for " << row.user;
  }
}

// RFC 2433 appendix B.2: password "MyPw".
TEST(MsChapTest, Rfc2433HashExample) {
  std::uint8_t hash[kNtHashSize];
  NtPasswordHash(u"MyPw", hash);
  EXPECT_EQ(Hex(hash, 16), "fc156af7edcd6c0edde3337d427f4eac");
  std::uint8_t response[kMsChapResponseSize];
  ChallengeResponse(FromHex("102DB5DF085D3041").data(), hash, response);
  EXPECT_EQ(Hex(response, 24), "4e9d3c8f9cfd385d5bf4d3246791956ca4c351ab409a3d61");
}

TEST(MsChapTest, NoHashGivesZeroResponses) {
  std::uint8_t response[kMsChapResponseSize];
  std::memset(response, 0xEE, sizeof response);
  ChallengeResponse(FromHex("102DB5DF085D3041").data(), nullptr, response);
  EXPECT_EQ(Bytes(response, response + 24), Bytes(24, 0));
  std::memset(response, 0xEE, sizeof response);
  GenerateNTResponse(Bytes(16, 1).data(), Bytes(16, 2).data(), "user", nullptr, response);
  EXPECT_EQ(Bytes(response, response + 24), Bytes(24, 0));
}

TEST(MsChapTest, MatchesOpenSslOnRandomInputs) {
  std::mt19937 rng(2759);
  for (int i = 0; i < 50; ++i) {
    const Bytes hash = crypto_test::RandomBytes(rng, 16);
    const Bytes otherHash = crypto_test::RandomBytes(rng, 16);
    const Bytes challenge = crypto_test::RandomBytes(rng, 8);
    const Bytes authenticator = crypto_test::RandomBytes(rng, 16);
    const Bytes peer = crypto_test::RandomBytes(rng, 16);
    const std::string user = "user" + std::to_string(rng() % 1000) + std::string(i, 'x');

    std::uint8_t out[kMsChapResponseSize];
    ChallengeResponse(challenge.data(), hash.data(), out);
    EXPECT_EQ(Hex(out, 24), Hex(ref::ChallengeResponse(challenge, hash)));
    GenerateNTResponse(authenticator.data(), peer.data(), user.c_str(), hash.data(), out);
    const Bytes expectedResponse = ref::NtResponse(authenticator, peer, user, hash);
    EXPECT_EQ(Hex(out, 24), Hex(expectedResponse));

    std::uint8_t hashHash[kNtHashSize];
    PasswordHashHash(hash.data(), hashHash);
    char proof[kAuthenticatorResponseSize];
    GenerateAuthenticatorResponse(hashHash, out, peer.data(), authenticator.data(), user.c_str(),
                                  proof);
    EXPECT_EQ(Text(proof, sizeof proof),
              ref::AuthenticatorResponse(hash, expectedResponse, peer, authenticator, user));

    std::uint8_t encryptedHash[kEncryptedHashSize];
    OldNtPasswordHashEncryptedWithNewNtPasswordHash(otherHash.data(), hash.data(), encryptedHash);
    EXPECT_EQ(
        Hex(encryptedHash, 16),
        Hex(ref::Concat({ref::Des(&hash[0], &otherHash[0]), ref::Des(&hash[7], &otherHash[8])})));
  }
}

struct Conversion {
  const char* what;
  std::string utf8;
  std::optional<std::u16string> units;  // nullopt: refused
};

void PrintTo(const Conversion& c, std::ostream* os) { *os << c.what; }

class MsChapPasswordTest : public ::testing::TestWithParam<Conversion> {};

TEST_P(MsChapPasswordTest, HashesTheUtf16FormOfTheUtf8Password) {
  const Conversion& c = GetParam();
  MsChapPassword password;
  ASSERT_EQ(password.AssignUtf8(c.utf8.c_str()), c.units.has_value());
  std::uint8_t hash[kNtHashSize] = {};
  EXPECT_EQ(NtPasswordHashOfUtf8(c.utf8.c_str(), hash), c.units.has_value());
  if (!c.units) {
    EXPECT_EQ(password.Length(), 0u);
    EXPECT_EQ(Bytes(hash, hash + 16), Bytes(16, 0)) << "a refused password leaves no hash";
    return;
  }
  EXPECT_EQ(std::u16string(password.Units(), password.Length()), *c.units);
  EXPECT_EQ(password.Units()[password.Length()], 0);
  EXPECT_EQ(Hex(hash, 16), Hex(ref::NtHash(*c.units)));
}

INSTANTIATE_TEST_SUITE_P(
    Passwords, MsChapPasswordTest,
    ::testing::Values(
        Conversion{"ascii", "clientPass", u"clientPass"}, Conversion{"empty", "", u""},
        Conversion{"two-byte forms", "p\xC3\xA4ssw\xC3\xB6rd", u"p\u00E4ssw\u00F6rd"},
        Conversion{"three-byte forms", "\xE5\xAF\x86\xE7\xA0\x81", u"\u5BC6\u7801"},
        Conversion{"four-byte form as a surrogate pair", "\xF0\x9F\x98\x80x", u"\U0001F600x"},
        // Encoded surrogates are taken as the units they encode: a pair of them hashes like
        // the four-byte form, as a Windows peer hashes the same UTF-16 password.
        Conversion{"encoded surrogate pair", "\xED\xA0\xBD\xED\xB8\x80x", u"\U0001F600x"},
        Conversion{"300 characters are cut to 256 units", std::string(300, 'k'),
                   std::u16string(256, u'k')},
        Conversion{"Latin-1 byte", "p\xE4ss", std::nullopt},
        Conversion{"invalid first byte",
                   "\xFF"
                   "abc",
                   std::nullopt},
        Conversion{"cut sequence", "abc\xE5\xAF", std::nullopt}));

TEST(MsChapTest, NullPasswordIsRefused) {
  MsChapPassword password;
  EXPECT_FALSE(password.AssignUtf8(nullptr));
  std::uint8_t hash[kNtHashSize];
  EXPECT_FALSE(NtPasswordHashOfUtf8(nullptr, hash));
}

TEST(MsChapTest, LongUtf16PasswordIsCutTo256Units) {
  const std::u16string longPassword(300, u'x');
  std::uint8_t hash[kNtHashSize];
  NtPasswordHash(longPassword.c_str(), hash);
  EXPECT_EQ(Hex(hash, 16), Hex(ref::NtHash(std::u16string(256, u'x'))));
}

// The block decrypts under the old hash to filler, the new password's units at the end of
// the first 512 bytes, and their byte count.
TEST(MsChapTest, NewPasswordBlockDecryptsToThePassword) {
  const Bytes oldHash = ref::NtHash(u"oldPass");
  for (const std::u16string& password : {std::u16string(u""), std::u16string(u"newP\u00E4ss"),
                                         std::u16string(256, u'n'), std::u16string(300, u'n')}) {
    const std::size_t n = std::min<std::size_t>(password.size(), 256);
    std::uint8_t block[kEncryptedPasswordSize];
    NewPasswordEncryptedWithOldNtPasswordHash(password.c_str(), oldHash.data(), block);
    const Bytes plain = ref::Rc4(oldHash, Bytes(block, block + sizeof block));
    EXPECT_EQ(Hex(&plain[512 - 2 * n], 2 * n), Hex(ref::Utf16Le(password.substr(0, n))));
    const std::uint32_t count = plain[512] | plain[513] << 8 | plain[514] << 16 | plain[515] << 24;
    EXPECT_EQ(count, 2 * n);

    if (n < 256) {
      std::uint8_t again[kEncryptedPasswordSize];
      NewPasswordEncryptedWithOldNtPasswordHash(password.c_str(), oldHash.data(), again);
      const Bytes plainAgain = ref::Rc4(oldHash, Bytes(again, again + sizeof again));
      EXPECT_NE(Bytes(plain.begin(), plain.begin() + 16),
                Bytes(plainAgain.begin(), plainAgain.begin() + 16))
          << "the filler is random";
    }
  }
}

TEST(MsChapPasswordChangeTest, CarriesTheNewPasswordAndAResponseUnderItsHash) {
  const Bytes challenge = FromHex("00112233445566778899aabbccddeeff");
  MsChapPasswordChange change;
  ASSERT_TRUE(change.Compute("old pass", "n\xC3\xBC pass", challenge.data(), "user"));
  const Bytes oldHash = ref::NtHash(u"old pass");
  const Bytes newHash = ref::NtHash(u"n\u00FC pass");
  EXPECT_EQ(Hex(change.newHash, 16), Hex(newHash));
  const Bytes plain =
      ref::Rc4(oldHash, Bytes(change.encryptedPassword, change.encryptedPassword + 516));
  const Bytes newUnits = ref::Utf16Le(u"n\u00FC pass");
  EXPECT_EQ(Hex(&plain[512 - newUnits.size()], newUnits.size()), Hex(newUnits));
  EXPECT_EQ(Hex(ref::Concat({ref::Des(&newHash[0], change.encryptedHash, false),
                             ref::Des(&newHash[7], change.encryptedHash + 8, false)})),
            Hex(oldHash));
  const Bytes peer(change.peerChallenge, change.peerChallenge + 16);
  EXPECT_EQ(Hex(change.ntResponse, 24), Hex(ref::NtResponse(challenge, peer, "user", newHash)));

  MsChapPasswordChange refused;
  EXPECT_FALSE(refused.Compute("old pass", "n\xFC pass", challenge.data(), "user"))
      << "a new password that is not UTF-8 would reach the server cut short";
  EXPECT_FALSE(refused.Compute("\xFF", "new", challenge.data(), "user"));
}

}  // namespace

// LAN Manager hashes: well-known values, and the 14-byte cut and ASCII-only upper-casing
// checked against OpenSSL's DES.
TEST(MsChapTest, LmPasswordHash) {
  const struct {
    const char* password;
    const char* hash;
  } known[] = {
      {"", "aad3b435b51404eeaad3b435b51404ee"},
      {"password", "e52cac67419a9a224a3b108f3fa6cb6d"},
      {"PassWord", "e52cac67419a9a224a3b108f3fa6cb6d"},
  };
  for (const auto& row : known) {
    std::uint8_t hash[kNtHashSize];
    LmPasswordHash(row.password, hash);
    EXPECT_EQ(Hex(hash, 16), row.hash) << row.password;
  }
  // 20 characters: only "Ab1-\xC3\xA9xyzABCDE" (14 bytes) counts; digits, '-' and the
  // UTF-8 bytes of an accented letter stay as they are.
  const std::string password = "Ab1-\xC3\xA9xyzABCDEFghijkl";
  std::string upper = "AB1-\xC3\xA9XYZABCDE";
  ASSERT_EQ(upper.size(), 14u);
  const std::uint8_t magic[8] = {'K', 'G', 'S', '!', '@', '#', '$', '%'};
  const auto* key = reinterpret_cast<const std::uint8_t*>(upper.data());
  const Bytes expected = ref::Concat({ref::Des(key, magic), ref::Des(key + 7, magic)});
  std::uint8_t hash[kNtHashSize];
  LmPasswordHash(password.c_str(), hash);
  EXPECT_EQ(Bytes(hash, hash + 16), expected);
}
