#include "ksSupp/eap/eap_peap.h"

#include <gtest/gtest.h>

#include "ksLib_OSSL/eap_tls_test_server.h"
#include "ksSupp/eap/chap_response.h"
#include "ksSupp/eap/eap_status.h"
#include "ksSupp/eap/fake_eap_method_host.h"
#include "ksSupp/eap/tunnel_method_driver.h"

namespace {

using tls_testing::Bytes;
using tls_testing::TunnelTestServer;

constexpr std::uint8_t kPeap = 25;

class EapPeapTest : public ::testing::TestWithParam<std::uint8_t> {
 protected:
  void SetUp() override {
    context_ = tls_testing::MakePlainClientContext();
    ASSERT_NE(context_, nullptr);
    host_.tlsContext = context_;
    host_.userName = "alice@example";
    host_.password = "md5 secret";
    host_.hasIdentityPassword = true;
    const std::uint32_t md5 = 4;
    host_.peapTypes.types.Append(&md5, 1);
    host_.peapHighestVersion = version();
    method_ = std::make_unique<EapPeap>(&host_);
    ASSERT_EQ(method_->Initialize(), 0u);
    Bytes last;
    ASSERT_TRUE(tls_testing::Handshake(server_, *method_, last, &status_)) << std::hex << status_;
    EXPECT_EQ(method_->phase(), EapPeap::kInner);
    EXPECT_EQ(method_->version(), version());
  }
  void TearDown() override {
    method_.reset();
    context_->Release();
  }

  std::uint8_t version() const { return GetParam(); }

  // The inner packet as the server puts it into the tunnel: whole for version 1; for version
  // 0 without its header, except the EAP-TLV packets.
  Bytes OnTheWire(const Bytes& packet) const {
    if (version() == 1 || (packet.size() > 4 && packet[4] == 33)) return packet;
    return Bytes(packet.begin() + 4, packet.end());
  }

  // Sends an inner packet; what came back through the tunnel (nullopt: refused).
  std::optional<Bytes> SendInner(const Bytes& packet) {
    const std::optional<Bytes> response =
        tls_testing::Answer(*method_, server_.Tunnel(OnTheWire(packet)), &status_);
    if (!response) return std::nullopt;
    return server_.Received(*response);
  }

  TlsContext* context_ = nullptr;
  FakeEapMethodHost host_;
  TunnelTestServer server_{tls_testing::Pki().server, kPeap, GetParam()};
  std::unique_ptr<EapPeap> method_;
  std::uint32_t status_ = 0;
};

Bytes ResultTlv(std::uint8_t id, std::uint16_t type, std::uint8_t status) {
  return {1, id, 0, 11, 33, static_cast<std::uint8_t>(type >> 8), static_cast<std::uint8_t>(type),
          0, 2, 0, status};
}

// The inner conversation: Identity with the real user name (not the outer one), an MD5
// challenge, the server's Result; then EAP-Success completes with the server's key.
TEST_P(EapPeapTest, RunsTheInnerMethodAndTheResultExchange) {
  std::optional<Bytes> identity = SendInner({1, 20, 0, 5, 1});
  ASSERT_TRUE(identity) << std::hex << status_;
  const Bytes expectedIdentity = {2, 20, 0, 18, 1, 'a', 'l', 'i', 'c', 'e', '@', 'e', 'x', 'a',
                                  'm', 'p', 'l', 'e'};
  // Version 0: the header is stripped (the server rebuilds it with the outer identifier).
  EXPECT_EQ(*identity, OnTheWire(expectedIdentity));

  const Bytes challenge = {1, 21, 0, 22, 4, 16, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  std::optional<Bytes> md5 = SendInner(challenge);
  ASSERT_TRUE(md5) << std::hex << status_;
  // Version 0 rebuilds the request with the outer request's identifier; the hash covers it.
  const std::uint8_t id = version() == 0 ? server_.lastId() : 21;
  Bytes expected = {2, id, 0, 22, 4, 16};
  expected.resize(22);
  ChapResponse(id, "md5 secret", challenge.data() + 6, 16, expected.data() + 6);
  EXPECT_EQ(*md5, OnTheWire(expected));
  EXPECT_EQ(method_->VerifyCompletion(), kEapBasePeap | kEapInProgress);

  std::optional<Bytes> result = SendInner(ResultTlv(22, 0x8003, 1));
  ASSERT_TRUE(result) << std::hex << status_;
  const std::uint8_t echoed = version() == 0 ? 0x80 : 0x00;  // v1 writes the Result optional
  EXPECT_EQ(*result, (Bytes{2, 22, 0, 11, 33, echoed, 3, 0, 2, 0, 1}));
  EXPECT_EQ(method_->phase(), EapPeap::kSucceeded);
  EXPECT_TRUE(EapStatusIsComplete(method_->VerifyCompletion()));
  EXPECT_STREQ(method_->GetName(), version() == 0 ? "EAP-PEAP/v0 [EAP-MD5Challenge]"
                                                  : "EAP-PEAP/v1 [EAP-MD5Challenge]");
  std::uint8_t keys[kEapKeyBlockSize];
  ASSERT_TRUE(method_->GetKeys(keys));
  EXPECT_EQ(Bytes(keys, keys + kEapKeyBlockSize), server_.ExportKey("client EAP encryption", 64));
}

// Phase 2 cannot be skipped: the server's EAP-Success right after the handshake, or its
// Result before the inner method completed, never completes the method.
TEST_P(EapPeapTest, SuccessBeforeTheInnerMethodFails) {
  EXPECT_EQ(method_->VerifyCompletion(), kEapBasePeap | kEapInProgress);
  ASSERT_TRUE(SendInner({1, 20, 0, 5, 1}));
  EXPECT_FALSE(SendInner(ResultTlv(21, 0x8003, 1)));
  EXPECT_EQ(status_, kEapSessionNoMethodRun);
  EXPECT_EQ(method_->VerifyCompletion(), kEapBasePeap | kEapInProgress);
  EXPECT_NE(method_->phase(), EapPeap::kSucceeded);
}

// An inner method that failed has no name in the inner runner: the method's name shows no
// empty brackets.
TEST_P(EapPeapTest, AFailedInnerMethodLeavesNoEmptyInnerName) {
  ASSERT_TRUE(SendInner({1, 20, 0, 5, 1}));
  EXPECT_FALSE(SendInner({1, 21, 0, 6, 4, 16}));  // an MD5 challenge without its value
  EXPECT_STREQ(method_->GetName(), version() == 0 ? "EAP-PEAP/v0" : "EAP-PEAP/v1");
}

TEST_P(EapPeapTest, MandatoryUnknownTlvFails) {
  ASSERT_TRUE(SendInner({1, 20, 0, 5, 1}));
  EXPECT_FALSE(SendInner({1, 21, 0, 9, 33, 0x80, 0x07, 0, 0}));
  EXPECT_EQ(status_, kEapBasePeap | kEapUnexpected);
}

// Version 0 rebuilds every header-less inner packet as a Request; version 1 carries the code.
class EapPeapV1Test : public EapPeapTest {};

TEST_P(EapPeapV1Test, InnerResponseFails) {
  ASSERT_TRUE(SendInner({1, 20, 0, 5, 1}));
  EXPECT_FALSE(SendInner({2, 21, 0, 5, 1}));
  EXPECT_EQ(status_, kEapBasePeap | kEapUnexpected);
}

// A request that carries only an optional TLV we do not know asks for nothing: the previous
// inner answer is not sent again.
TEST_P(EapPeapTest, OptionalUnknownTlvWritesNothing) {
  ASSERT_TRUE(SendInner({1, 20, 0, 5, 1}));
  std::optional<Bytes> nothing = SendInner({1, 21, 0, 9, 33, 0x00, 0x07, 0, 0});
  ASSERT_TRUE(nothing) << std::hex << status_;
  EXPECT_EQ(*nothing, Bytes{});
  EXPECT_EQ(method_->phase(), EapPeap::kInner);
}

INSTANTIATE_TEST_SUITE_P(Versions, EapPeapTest, ::testing::Values(0, 1),
                         [](const auto& info) { return "V" + std::to_string(info.param); });
INSTANTIATE_TEST_SUITE_P(Version1, EapPeapV1Test, ::testing::Values(1),
                         [](const auto& info) { return "V" + std::to_string(info.param); });

}  // namespace
