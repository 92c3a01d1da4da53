#include "tls-extensions/speke_codec.h"

#include <gtest/gtest.h>

#include <openssl/evp.h>
#include <openssl/kdf.h>

#include <memory>
#include <string>

namespace speke {
namespace {

using BigNumber = std::unique_ptr<BIGNUM, decltype(&BN_free)>;

BigNumber Hex(const char* hex) {
  BIGNUM* made = nullptr;
  BN_hex2bn(&made, hex);
  return BigNumber(made, BN_free);
}

// The primes as the RFCs print them.
constexpr char kGroup1[] =
    "FFFFFFFFFFFFFFFFC90FDAA22168C234C4C6628B80DC1CD129024E088A67CC74020BBEA63B139B22514A0879"
    "8E3404DDEF9519B3CD3A431B302B0A6DF25F14374FE1356D6D51C245E485B576625E7EC6F44C42E9A63A3620"
    "FFFFFFFFFFFFFFFF";
constexpr char kGroup2[] =
    "FFFFFFFFFFFFFFFFC90FDAA22168C234C4C6628B80DC1CD129024E088A67CC74020BBEA63B139B22514A0879"
    "8E3404DDEF9519B3CD3A431B302B0A6DF25F14374FE1356D6D51C245E485B576625E7EC6F44C42E9A637ED6B"
    "0BFF5CB6F406B7EDEE386BFB5A899FA5AE9F24117C4B1FE649286651ECE65381FFFFFFFFFFFFFFFF";
constexpr char kGroup5[] =
    "FFFFFFFFFFFFFFFFC90FDAA22168C234C4C6628B80DC1CD129024E088A67CC74020BBEA63B139B22514A0879"
    "8E3404DDEF9519B3CD3A431B302B0A6DF25F14374FE1356D6D51C245E485B576625E7EC6F44C42E9A637ED6B"
    "0BFF5CB6F406B7EDEE386BFB5A899FA5AE9F24117C4B1FE649286651ECE45B3DC2007CB8A163BF0598DA4836"
    "1C55D39A69163FA8FD24CF5F83655D23DCA3AD961C62F356208552BB9ED529077096966D670C354E4ABC9804"
    "F1746C08CA237327FFFFFFFFFFFFFFFF";

TEST(SpekeGroups, AreTheRfcPrimes) {
  const struct {
    std::uint32_t id;
    const char* hex;
    int bits;
  } groups[] = {{1, kGroup1, 768}, {2, kGroup2, 1024}, {5, kGroup5, 1536}};
  for (const auto& group : groups) {
    BigNumber prime(GroupPrime(group.id), BN_free);
    ASSERT_NE(prime, nullptr) << group.id;
    EXPECT_EQ(BN_num_bits(prime.get()), group.bits);
    EXPECT_EQ(BN_cmp(prime.get(), Hex(group.hex).get()), 0) << group.id;
  }
  for (const std::uint32_t unknown : {0u, 3u, 14u, 0xFFFFFFFFu}) EXPECT_EQ(GroupPrime(unknown), nullptr);
}

TEST(SpekeHello, EmptyListsGiveTheNineByteBlock) {
  EXPECT_EQ(BuildHelloBlock({}, {}), (Bytes{5, 's', 'p', 'e', 'k', 'e', 0, 0, 0}));
  EXPECT_EQ(BuildHelloBlock({2, 5}, {1, 0}),
            (Bytes{5, 's', 'p', 'e', 'k', 'e', 0, 10, 1, 0, 0, 0, 2, 1, 0, 0, 0, 5, 2, 1, 0}));
}

struct HelloCase {
  const char* name;
  Bytes block;
  int alert;
  std::int32_t group;
  std::int32_t mode;
};

void PrintTo(const HelloCase& c, std::ostream* os) { *os << c.name; }

class SpekeHelloParse : public ::testing::TestWithParam<HelloCase> {};

// The server's lists: groups 2 and 5, mode 1.
TEST_P(SpekeHelloParse, ChoosesOrRefuses) {
  const HelloCase& c = GetParam();
  HelloChoice choice;
  EXPECT_EQ(ParseHelloBlock(c.block.data(), c.block.size(), {2, 5}, {1}, choice), c.alert);
  if (c.alert == 0) {
    EXPECT_EQ(choice.group, c.group);
    EXPECT_EQ(choice.mode, c.mode);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, SpekeHelloParse,
    ::testing::Values(
        HelloCase{"NoBlock", {}, 0, -1, -1},
        HelloCase{"NotSpeke", {5, 's', 'p', 'e', 'k', 'x', 0, 0, 0}, 0, -1, -1},
        HelloCase{"FirstKnownGroupAndMode",
                  {5, 's', 'p', 'e', 'k', 'e', 0, 23, 0, 0, 1, 0xAA, 1, 0, 0, 0, 1, 2, 1, 2, 3, 4,
                   5, 6, 7, 8, 1, 0, 0, 0, 5, 2, 0, 1},
                  0, 5, 1},
        HelloCase{"TheirEmptyBlock", {5, 's', 'p', 'e', 'k', 'e', 0, 0, 0}, 40, 0, 0},
        HelloCase{"NoCommonMode", {5, 's', 'p', 'e', 'k', 'e', 0, 5, 1, 0, 0, 0, 2, 1, 0}, 40, 0, 0},
        HelloCase{"EntryPastLength", {5, 's', 'p', 'e', 'k', 'e', 0, 4, 1, 0, 0, 0, 2, 1, 1}, 50, 0, 0},
        HelloCase{"LengthPastBlock", {5, 's', 'p', 'e', 'k', 'e', 0, 9, 1, 0}, 50, 0, 0},
        HelloCase{"UnknownEntryType", {5, 's', 'p', 'e', 'k', 'e', 0, 1, 7, 1, 1}, 50, 0, 0},
        HelloCase{"ModesPastBlock", {5, 's', 'p', 'e', 'k', 'e', 0, 5, 1, 0, 0, 0, 2, 3, 1}, 50, 0, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SpekeParams, RoundTripsAndRefuses) {
  Params params{2, kModeProtected, {0xFF, 0xFB}, {2}, {0x12, 0x34}};
  const Bytes body = BuildParams(params);
  Params read;
  ASSERT_EQ(ParseParams(kSpekeParams, body.data(), body.size(), read), 0);
  EXPECT_EQ(read.group, 2);
  EXPECT_EQ(read.prime, params.prime);
  EXPECT_EQ(read.generator, params.generator);
  EXPECT_EQ(read.serverPublic, params.serverPublic);

  const struct {
    std::uint8_t type;
    Bytes body;
    int alert;
  } cases[] = {
      {kSpekeParams, {2, 0}, 0},
      {kSpekeParams, {3, 0}, 40},   // unknown group
      {kSpekeParams, {2, 2}, 40},   // unknown mode
      {kSpekeParams, {2}, 50},      // one byte
      {kSpekeParams, {2, 1, 0, 3, 1}, 50},  // prime past the body
      {kEncryptedIdentity, {2, 0}, 10},
  };
  for (const auto& c : cases) {
    Params ignored;
    EXPECT_EQ(ParseParams(c.type, c.body.data(), c.body.size(), ignored), c.alert);
  }
}

TEST(SpekeIdentityPrf, IsTheTls10Prf) {
  // P_MD5 over the first half xor P_SHA1 over the second, halves overlapping for odd lengths:
  // computed here with the engine's own TLS 1.0 PRF over the label and both randoms.
  const std::uint8_t secret[21] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21};
  std::uint8_t client[32];
  std::uint8_t server[32];
  for (int i = 0; i < 32; ++i) {
    client[i] = static_cast<std::uint8_t>(i);
    server[i] = static_cast<std::uint8_t>(0x80 + i);
  }
  std::uint8_t out[57];
  ASSERT_TRUE(IdentityPrf(secret, sizeof secret, "id encrypt", client, server, out, sizeof out));
  std::string seed = "id encrypt";
  seed.append(reinterpret_cast<char*>(client), 32).append(reinterpret_cast<char*>(server), 32);
  EVP_PKEY_CTX* context = EVP_PKEY_CTX_new_id(EVP_PKEY_TLS1_PRF, nullptr);
  ASSERT_NE(context, nullptr);
  std::uint8_t expected[57];
  std::size_t length = sizeof expected;
  ASSERT_EQ(EVP_PKEY_derive_init(context), 1);
  ASSERT_EQ(EVP_PKEY_CTX_set_tls1_prf_md(context, EVP_md5_sha1()), 1);
  ASSERT_EQ(EVP_PKEY_CTX_set1_tls1_prf_secret(context, secret, sizeof secret), 1);
  ASSERT_EQ(EVP_PKEY_CTX_add1_tls1_prf_seed(
                context, reinterpret_cast<const unsigned char*>(seed.data()), static_cast<int>(seed.size())),
            1);
  ASSERT_EQ(EVP_PKEY_derive(context, expected, &length), 1);
  EVP_PKEY_CTX_free(context);
  EXPECT_EQ(Bytes(out, out + 57), Bytes(expected, expected + 57));
}

Bytes FixedSecret(const Bytes&, void* argument) { return *static_cast<Bytes*>(argument); }

TEST(SpekeIdentity, ProtectedIdentityRoundTripsAndTamperingFails) {
  Randoms randoms{};
  for (int i = 0; i < 32; ++i) randoms.client[i] = static_cast<std::uint8_t>(3 * i);
  Bytes secret(128, 0x5C);
  for (const std::string& name :
       std::vector<std::string>{"", "alice", std::string(31, 'x'), std::string(32, 'y')}) {
    SCOPED_TRACE(name.size());
    const Bytes identity(name.begin(), name.end());
    const Bytes body = BuildProtectedIdentity({9, 9}, secret, identity, randoms);
    ASSERT_FALSE(body.empty());
    // The padded block is the next multiple of 32 above the identity, then the MAC.
    EXPECT_EQ(body.size(), 2 + 2 + 2 + (identity.size() / 32 + 1) * 32 + 20);
    Bytes read;
    ASSERT_EQ(ParseIdentity(kEncryptedIdentity, body.data(), body.size(), kModeProtected, randoms,
                            FixedSecret, &secret, read),
              0);
    EXPECT_EQ(read, identity);
    Bytes tampered = body;
    tampered[7] ^= 1;
    EXPECT_EQ(ParseIdentity(kEncryptedIdentity, tampered.data(), tampered.size(), kModeProtected,
                            randoms, FixedSecret, &secret, read),
              40);
  }
  Bytes read;
  const Bytes plain = {0, 3, 'b', 'o', 'b'};
  EXPECT_EQ(ParseIdentity(kEncryptedIdentity, plain.data(), plain.size(), kModePlain, randoms,
                          nullptr, nullptr, read),
            0);
  EXPECT_EQ(read, (Bytes{'b', 'o', 'b'}));
  EXPECT_EQ(ParseIdentity(kEncryptedIdentity, plain.data(), 3, kModePlain, randoms, nullptr,
                          nullptr, read),
            50);
  EXPECT_EQ(ParseIdentity(kClientSpekeValue, plain.data(), plain.size(), kModePlain, randoms,
                          nullptr, nullptr, read),
            10);
  // A ciphertext no longer than the MAC.
  const Bytes shortCipher = {0, 1, 9, 0, 20, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15,
                             16, 17, 18, 19, 20};
  EXPECT_EQ(ParseIdentity(kEncryptedIdentity, shortCipher.data(), shortCipher.size(),
                          kModeProtected, randoms, FixedSecret, &secret, read),
            40);
}

TEST(SpekeClientValue, MustLieStrictlyBetweenOneAndPMinusOne) {
  BigNumber prime(GroupPrime(2), BN_free);
  Bytes pMinusOne(128);
  BN_bn2binpad(prime.get(), pMinusOne.data(), 128);
  pMinusOne.back() &= 0xFE;
  Bytes pMinusTwo = pMinusOne;
  pMinusTwo.back() -= 1;
  const struct {
    Bytes value;
    int alert;
  } cases[] = {{{0}, 49}, {{1}, 49}, {{2}, 0}, {pMinusTwo, 0}, {pMinusOne, 49}};
  for (const auto& c : cases) {
    Bytes body = {static_cast<std::uint8_t>(c.value.size() >> 8),
                  static_cast<std::uint8_t>(c.value.size())};
    body.insert(body.end(), c.value.begin(), c.value.end());
    Bytes value;
    EXPECT_EQ(ParseClientValue(kClientSpekeValue, body.data(), body.size(), prime.get(), value),
              c.alert);
  }
  const Bytes truncated = {0, 4, 1};
  Bytes value;
  EXPECT_EQ(ParseClientValue(kClientSpekeValue, truncated.data(), 3, prime.get(), value), 50);
  EXPECT_EQ(ParseClientValue(kSpekeParams, truncated.data(), 3, prime.get(), value), 10);
}

}  // namespace
}  // namespace speke
