// MD4, MD5 and SHA-1 against their published vectors and against OpenSSL.
#include <dcf/md4.h>
#include <dcf/md5.h>
#include <dcf/sha1.h>
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "dcf1/src/crypto/crypto_test_support.h"
#include "dcf1/src/crypto/openssl_reference.h"

using namespace crypto_test;

namespace {

using ByteVector = std::vector<std::uint8_t>;

// One digest seen through a common face: the one-shot form and the context form fed in
// pieces that end at the given cut offsets.
struct DigestUnderTest {
  const char* name;
  const char* opensslName;
  ByteVector (*oneShot)(const std::uint8_t* data, std::size_t length);
  ByteVector (*inPieces)(const std::uint8_t* data, std::size_t length, const std::vector<std::size_t>& cuts);
};

template <class Context, void (*Init)(Context&), void (*Update)(Context&, const void*, std::size_t),
          void (*Final)(std::uint8_t*, Context&), void (*OneShot)(std::uint8_t*, const void*, std::size_t),
          std::size_t Size>
struct Adapter {
  static ByteVector Once(const std::uint8_t* data, std::size_t length) {
    ByteVector out(Size);
    OneShot(out.data(), data, length);
    return out;
  }
  static ByteVector Pieces(const std::uint8_t* data, std::size_t length, const std::vector<std::size_t>& cuts) {
    Context context;
    Init(context);
    std::size_t done = 0;
    for (std::size_t cut : cuts) {
      Update(context, data + done, cut - done);
      done = cut;
    }
    Update(context, data + done, length - done);
    ByteVector out(Size);
    Final(out.data(), context);
    return out;
  }
  static constexpr DigestUnderTest Describe(const char* name, const char* opensslName) {
    return {name, opensslName, &Once, &Pieces};
  }
};

using Md4 = Adapter<Md4Context, Md4Init, Md4Update, Md4Final, Md4Digest, kMd4DigestSize>;
using Md5 = Adapter<Md5Context, Md5Init, Md5Update, Md5Final, Md5Digest, kMd5DigestSize>;
using Sha1 = Adapter<Sha1Context, Sha1Init, Sha1Update, Sha1Final, Sha1Digest, kSha1DigestSize>;

const DigestUnderTest kMd4 = Md4::Describe("MD4", "MD4");
const DigestUnderTest kMd5 = Md5::Describe("MD5", "MD5");
const DigestUnderTest kSha1 = Sha1::Describe("SHA-1", "SHA1");

struct PublishedVector {
  const DigestUnderTest* digest;
  std::string text;
  std::size_t repeat;
  const char* expected;
};

const std::string kDigits8 = "1234567890";
const std::string kAlnum = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";

// RFC 1320 appendix A.5, RFC 1321 appendix A.5, FIPS 180-1 appendices A-C and RFC 3174
// section 7.3.
const PublishedVector kPublished[] = {
    {&kMd4, "", 1, "31d6cfe0d16ae931b73c59d7e0c089c0"},
    {&kMd4, "a", 1, "bde52cb31de33e46245e05fbdbd6fb24"},
    {&kMd4, "abc", 1, "a448017aaf21d8525fc10ae87aa6729d"},
    {&kMd4, "message digest", 1, "d9130a8164549fe818874806e1c7014b"},
    {&kMd4, "abcdefghijklmnopqrstuvwxyz", 1, "d79e1c308aa5bbcdeea8ed63df412da9"},
    {&kMd4, kAlnum, 1, "043f8582f241db351ce627e153e7f0e4"},
    {&kMd4, kDigits8, 8, "e33b4ddc9c38f2199c3e7b164fcc0536"},
    {&kMd5, "", 1, "d41d8cd98f00b204e9800998ecf8427e"},
    {&kMd5, "a", 1, "0cc175b9c0f1b6a831c399e269772661"},
    {&kMd5, "abc", 1, "900150983cd24fb0d6963f7d28e17f72"},
    {&kMd5, "message digest", 1, "f96b697d7cb7938d525a2f31aaf161d0"},
    {&kMd5, "abcdefghijklmnopqrstuvwxyz", 1, "c3fcd3d76192e4007dfb496cca67e13b"},
    {&kMd5, kAlnum, 1, "d174ab98d277d9f5a5611c2c9f419d9f"},
    {&kMd5, kDigits8, 8, "57edf4a22be3c955ac49da2e2107b67a"},
    {&kSha1, "", 1, "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
    {&kSha1, "abc", 1, "a9993e364706816aba3e25717850c26c9cd0d89d"},
    {&kSha1, "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", 1,
     "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
    {&kSha1, "a", 1000000, "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
    {&kSha1, "0123456701234567012345670123456701234567012345670123456701234567", 10,
     "dea356a2cddd90c7a7ecedc5ebb563934f460452"},
};

TEST(Digest, PublishedVectors) {
  for (const auto& v : kPublished) {
    std::string message;
    for (std::size_t i = 0; i < v.repeat; ++i) message += v.text;
    const auto* data = reinterpret_cast<const std::uint8_t*>(message.data());
    // The empty message is also given as a null pointer: length 0 must not touch it.
    const ByteVector once = v.digest->oneShot(message.empty() ? nullptr : data, message.size());
    EXPECT_EQ(Hex(once), v.expected) << v.digest->name << " of \"" << v.text << "\" x" << v.repeat;
    // The repeated messages again, one repetition per Update.
    std::vector<std::size_t> cuts;
    for (std::size_t i = 1; i < v.repeat; ++i) cuts.push_back(i * v.text.size());
    EXPECT_EQ(Hex(v.digest->inPieces(data, message.size(), cuts)), v.expected) << v.digest->name << " in pieces";
  }
}

TEST(Digest, MatchesOpenSslAtEveryLength) {
  std::mt19937 rng(1320);
  for (const DigestUnderTest* d : {&kMd4, &kMd5, &kSha1}) {
    for (std::size_t length : InterestingLengths()) {
      const ByteVector message = RandomBytes(rng, length);
      EXPECT_EQ(Hex(d->oneShot(message.data(), length)),
                Hex(openssl_reference::Digest(d->opensslName, message.data(), length)))
          << d->name << " of " << length << " bytes";
    }
  }
}

TEST(Digest, UpdatesSplitAnywhereGiveTheOneShotDigest) {
  std::mt19937 rng(1321);
  const ByteVector message = RandomBytes(rng, 200);
  for (const DigestUnderTest* d : {&kMd4, &kMd5, &kSha1}) {
    const std::string expected = Hex(openssl_reference::Digest(d->opensslName, message.data(), message.size()));
    for (std::size_t cut = 0; cut <= message.size(); ++cut) {
      EXPECT_EQ(Hex(d->inPieces(message.data(), message.size(), {cut})), expected) << d->name << " cut at " << cut;
    }
    for (std::size_t piece : {1, 55, 56, 63, 64, 65}) {
      std::vector<std::size_t> cuts;
      for (std::size_t at = piece; at < message.size(); at += piece) cuts.push_back(at);
      EXPECT_EQ(Hex(d->inPieces(message.data(), message.size(), cuts)), expected) << d->name << " pieces of " << piece;
    }
  }
}

// SHA-1 in each form of its compression the CPU has: the published vectors and OpenSSL at
// every interesting length (odd and even block counts: the vector form takes blocks in
// pairs), and the short tail HMAC finishes with.
class EachSha1Form : public ::testing::TestWithParam<Sha1Compression> {
 protected:
  void SetUp() override {
    if (!CpuHasSha1Compression(GetParam())) GTEST_SKIP() << "this CPU lacks what the form needs";
    LimitSha1Compression(GetParam());
    ASSERT_EQ(Sha1CompressionInUse(), GetParam());
  }
  void TearDown() override { LimitSha1Compression(Sha1Compression::kShaInstructions); }
};

INSTANTIATE_TEST_SUITE_P(Sha1, EachSha1Form,
                         ::testing::Values(Sha1Compression::kShaInstructions, Sha1Compression::kVectorSchedule,
                                           Sha1Compression::kPortable),
                         [](const auto& info) {
                           switch (info.param) {
                             case Sha1Compression::kShaInstructions: return "ShaInstructions";
                             case Sha1Compression::kVectorSchedule: return "VectorSchedule";
                             case Sha1Compression::kPortable: return "Portable";
                           }
                           return "";
                         });

TEST_P(EachSha1Form, MatchesThePublishedVectorsAndOpenSsl) {
  for (const auto& v : kPublished) {
    if (v.digest != &kSha1) continue;
    std::string message;
    for (std::size_t i = 0; i < v.repeat; ++i) message += v.text;
    EXPECT_EQ(Hex(kSha1.oneShot(reinterpret_cast<const std::uint8_t*>(message.data()), message.size())), v.expected)
        << v.text << " x" << v.repeat;
  }
  std::mt19937 rng(1801);
  for (std::size_t length : InterestingLengths()) {
    const ByteVector message = RandomBytes(rng, length);
    EXPECT_EQ(Hex(kSha1.oneShot(message.data(), length)), Hex(openssl_reference::Digest("SHA1", message.data(), length)))
        << length << " bytes";
  }
}

// After whole blocks, a tail of up to 55 bytes is finished in one padded block; anything
// else takes the long way; both equal Update and Final.
TEST_P(EachSha1Form, AShortTailAfterWholeBlocksGivesTheDigestOfBoth) {
  std::mt19937 rng(1802);
  const ByteVector head = RandomBytes(rng, 128), tail = RandomBytes(rng, 70);
  for (std::size_t headLength : {0, 64, 128, 5}) {
    for (std::size_t tailLength : {0, 1, 20, 55, 56, 70}) {
      ByteVector whole(head.begin(), head.begin() + static_cast<std::ptrdiff_t>(headLength));
      whole.insert(whole.end(), tail.begin(), tail.begin() + static_cast<std::ptrdiff_t>(tailLength));
      Sha1Context context;
      Sha1Init(context);
      Sha1Update(context, head.data(), headLength);
      std::uint8_t digest[kSha1DigestSize];
      Sha1FinishShortTail(context, tail.data(), tailLength, digest);
      EXPECT_EQ(Hex(digest, sizeof digest), Hex(kSha1.oneShot(whole.data(), whole.size())))
          << headLength << " + " << tailLength;
    }
  }
}

template <class Context>
bool AllZero(const Context& context) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(&context);
  for (std::size_t i = 0; i < sizeof context; ++i) {
    if (p[i] != 0) return false;
  }
  return true;
}

// A context that hashed a password holds it in its buffer: Final leaves nothing behind.
TEST(Digest, FinalWipesTheContext) {
  const char secret[] = "password";
  std::uint8_t out[kSha1DigestSize];
  Md4Context md4;
  Md4Init(md4);
  Md4Update(md4, secret, sizeof secret);
  Md4Final(out, md4);
  EXPECT_TRUE(AllZero(md4));
  Md5Context md5;
  Md5Init(md5);
  Md5Update(md5, secret, sizeof secret);
  Md5Final(out, md5);
  EXPECT_TRUE(AllZero(md5));
  Sha1Context sha1;
  Sha1Init(sha1);
  Sha1Update(sha1, secret, sizeof secret);
  Sha1Final(out, sha1);
  EXPECT_TRUE(AllZero(sha1));
}

}  // namespace
