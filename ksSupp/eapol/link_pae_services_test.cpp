// A PAE whose services are the link's host callback messages, with a host callback that
// answers the password request: the conversation as the host sees it.
#include "ksSupp/eapol/link_pae_services.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <string>
#include <vector>

#include "ksSupp/eapol/recording_pae_owner.h"
#include "ksSupp/fake_cert_library.h"
#include "ksSupp/identity.h"
#include "ksSupp/link_callback_adapter.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

class FakeLink : public RefCounted {};

// The engine's part of the services, recorded.
class EnginePaeServices final : public LinkPaeServices {
 public:
  using LinkPaeServices::LinkPaeServices;
  unsigned masterKeys = 0;
  std::vector<std::uint32_t> failures;
  void SetMasterSessionKeys() override { ++masterKeys; }
  void AuthenticationFailed(std::uint32_t status) override { failures.push_back(status); }
};

struct HostLog {
  std::vector<std::uint32_t> codes;
  std::vector<Bytes> frames;  // of code 8
  std::vector<std::uint32_t> reportStates;
  std::vector<std::uint32_t> linkFailures;
  const char* password = "secret";
};
HostLog* g_log = nullptr;

uint32_t KSSTK_CALL HostCallback(uintptr_t, KSSTK_CALLBACK_MESSAGE* message) {
  g_log->codes.push_back(message->Code);
  EXPECT_EQ(message->Context, 0u);
  switch (message->Code) {
    case KSSTK_MSG_SEND_EAPOL: {
      const auto* send = reinterpret_cast<KSSTK_SEND_EAPOL_MESSAGE*>(message);
      g_log->frames.emplace_back(send->Frame, send->Frame + send->FrameLength);
      break;
    }
    case KSSTK_MSG_AUTH_REPORT:
      g_log->reportStates.push_back(reinterpret_cast<KSSTK_AUTH_REPORT_MESSAGE*>(message)->PaeState);
      break;
    case KSSTK_MSG_GET_PASSWORD:
      if (g_log->password != nullptr) {
        KSSTK_AllocStringA(g_log->password,
                           &reinterpret_cast<KSSTK_GET_PASSWORD_MESSAGE*>(message)->Password.A);
      }
      break;
    case KSSTK_MSG_LINK_FAILURE:
      g_log->linkFailures.push_back(reinterpret_cast<KSSTK_LINK_FAILURE_MESSAGE*>(message)->Reason);
      break;
    default:
      break;
  }
  return 0;
}

Bytes Eapol(const Bytes& packet) {
  Bytes frame = {2, 0, 0, static_cast<std::uint8_t>(packet.size())};
  frame.insert(frame.end(), packet.begin(), packet.end());
  return frame;
}

class LinkPaeServicesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_log = &log_;
    utility_.AddRef();
    context_ = ApiContext::Create(&utility_);
    identity_ = Identity::Create(context_);
    identity_->SetUserName("bob", 3);
    const std::uint32_t md5 = 4;
    identity_->SetEapTypes(&md5, 1);
    adapter_ = std::make_unique<LinkCallbackAdapter>(StringForm::Narrow, &link_, *context_);
    adapter_->SetHost(&HostCallback, 0x77);
    services_ = std::make_unique<EnginePaeServices>(*adapter_, 0);
    pae_ = std::make_unique<SupplicantPae>(*services_);
    pae_->SetIdentity(identity_);
  }
  void TearDown() override {
    pae_.reset();
    identity_->Release();
    context_->Release();
    g_log = nullptr;
  }
  void PortUp() {
    pae_->SetInitialize(true);
    pae_->SetPortActive(true);
    pae_->SetInitialize(false);
  }

  plat::ManualTickCount clock_{0};
  HostLog log_;
  fake_cert::Utility utility_;
  ApiContext* context_ = nullptr;
  Identity* identity_ = nullptr;
  FakeLink link_;
  std::unique_ptr<LinkCallbackAdapter> adapter_;
  std::unique_ptr<EnginePaeServices> services_;
  std::unique_ptr<SupplicantPae> pae_;
};

TEST_F(LinkPaeServicesTest, PasswordIsAskedOfTheHostThroughItsMessage) {
  PortUp();
  PaeDriver driver(*pae_);
  driver.Receive(Eapol({1, 1, 0, 5, 1}));
  const Bytes challenge = {9, 8, 7, 6};
  driver.Receive(Eapol({1, 2, 0, 10, 4, 4, 9, 8, 7, 6}));
  driver.Receive(Eapol({3, 2, 0, 4}));
  EXPECT_EQ(pae_->state(), SupplicantPae::kAuthenticated);
  EXPECT_EQ(services_->masterKeys, 1u);

  // Reports, keys reset, the identity response, the password request, the MD5 response.
  EXPECT_EQ(log_.codes, (std::vector<std::uint32_t>{2, 2, 15, 2, 8, 2, 11, 8, 2}));
  EXPECT_EQ(log_.reportStates, (std::vector<std::uint32_t>{2, 4, 5, 6, 7}));
  ASSERT_EQ(log_.frames.size(), 2u);
  EXPECT_EQ(log_.frames[0], Eapol({2, 1, 0, 8, 1, 'b', 'o', 'b'}));
  Bytes input = {2, 's', 'e', 'c', 'r', 'e', 't', 9, 8, 7, 6};
  Bytes value(16);
  unsigned size = 0;
  ASSERT_EQ(EVP_Digest(input.data(), input.size(), value.data(), &size, EVP_md5(), nullptr), 1);
  Bytes md5 = {2, 2, 0, 22, 4, 16};
  md5.insert(md5.end(), value.begin(), value.end());
  EXPECT_EQ(log_.frames[1], Eapol(md5));
}

TEST_F(LinkPaeServicesTest, HostWithoutPasswordEndsTheAuthenticationInHeld) {
  log_.password = nullptr;
  PortUp();
  PaeDriver driver(*pae_);
  driver.Receive(Eapol({1, 1, 0, 5, 1}));
  driver.Receive(Eapol({1, 2, 0, 10, 4, 4, 9, 8, 7, 6}));
  EXPECT_EQ(pae_->state(), SupplicantPae::kHeld);
  EXPECT_EQ(log_.frames.size(), 1u);  // the identity response only
  ASSERT_EQ(services_->failures.size(), 1u);
  EXPECT_EQ(log_.reportStates.back(), 3u);
}

TEST_F(LinkPaeServicesTest, UnansweredStartsAreALinkFailure) {
  PortUp();
  PaeDriver driver(*pae_);
  for (int i = 0; i < 4; ++i) {
    clock_.Advance(driver.NextTimeout());
    driver.Step();
  }
  EXPECT_EQ(log_.linkFailures, std::vector<std::uint32_t>{5});
}

}  // namespace
