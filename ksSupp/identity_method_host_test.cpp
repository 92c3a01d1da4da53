// The EAP method host over an identity, with an owner that records what it was asked.
#include "ksSupp/identity_method_host.h"

#include <gtest/gtest.h>
#include <strings/dcfString.h>

#include <cstring>
#include <deque>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "dcf1/src/crypto/crypto_test_support.h"
#include "ksSupp/eap/eap_method.h"
#include "ksSupp/eap/ms_chap.h"
#include "ksSupp/eap/ms_chap_reference.h"
#include "ksSupp/fake_cert_library.h"

namespace {

using crypto_test::Hex;

class RecordingOwner : public EapHostServices {
 public:
  std::deque<std::optional<std::string>> passwords;  // one answer per request
  std::optional<std::pair<std::string, std::string>> credentials;
  std::optional<std::string> token;
  std::uint32_t verdict = 0;
  bool signs = true;
  std::string signature;  // empty: leaves signing to the library
  bool throws = false;    // the owner fails with an exception (out of memory, say)

  unsigned passwordRequests = 0;
  std::vector<std::string> tokenPrompts;
  std::vector<std::string> notifications;
  std::vector<std::uint32_t> notices;
  unsigned completions = 0;
  std::vector<std::string> signedHashes;

  void AppendNotification(const char* text, std::uint32_t length) override {
    notifications.emplace_back(text, length);
  }
  void TransmitResponse(const std::uint8_t*, std::uint32_t) override {}
  bool GetPassword(char* buffer, std::uint32_t size) override {
    ++passwordRequests;
    if (passwords.empty()) return false;
    std::optional<std::string> answer = passwords.front();
    passwords.pop_front();
    if (!answer) return false;
    // Fills the whole buffer when the answer is that long: the host must end it itself.
    std::memcpy(buffer, answer->data(), std::min<std::size_t>(answer->size() + 1, size));
    return true;
  }
  bool GetTokenResponse(const char* text, std::uint32_t length, dcfByteArray& response) override {
    tokenPrompts.emplace_back(text, length);
    if (!token) return false;
    response.Assign(reinterpret_cast<const std::uint8_t*>(token->data()),
                    static_cast<std::uint32_t>(token->size()));
    return true;
  }
  bool GetPapPassword(dcfByteArray&) override { return false; }
  bool GetCredentials(const char*, char* user, std::uint32_t userSize, char* password,
                      std::uint32_t passwordSize) override {
    if (!credentials) return false;
    std::snprintf(user, userSize, "%s", credentials->first.c_str());
    std::snprintf(password, passwordSize, "%s", credentials->second.c_str());
    return true;
  }
  void Notice(std::uint32_t code) override { notices.push_back(code); }
  std::uint32_t ValidateServerChain(const DerCertificate*, std::uint32_t count) override {
    if (throws) throw std::bad_alloc();
    return count == 0 ? 99 : verdict;
  }
  bool Sign(char, std::uint32_t, const std::uint8_t hash[20], const std::uint8_t*, std::uint32_t,
            std::uint32_t, std::uint32_t, std::uint8_t* out, std::uint32_t capacity,
            std::uint32_t& outLength) override {
    signedHashes.push_back(Hex(hash, 20));
    if (throws) throw std::bad_alloc();
    if (!signs) return false;
    outLength = static_cast<std::uint32_t>(signature.size());
    if (outLength <= capacity) std::memcpy(out, signature.data(), signature.size());
    return true;
  }
  bool CertificateText(const std::uint8_t*, char*, std::uint32_t) override { return false; }
  void MethodCompleted() override { ++completions; }
};

class IdentityMethodHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    utility_.AddRef();
    context_ = ApiContext::Create(&utility_);
    identity_ = Identity::Create(context_);
    host_ = new IdentityMethodHost(owner_);
    host_->SetIdentity(identity_);
  }
  void TearDown() override {
    host_->Release();
    identity_->Release();
    context_->Release();
    EXPECT_TRUE(utility_.Balanced());
  }
  EapMethodHostServices& services() { return *host_->Services(); }
  void SetUser(const char* name) { identity_->SetUserName(name, name ? std::strlen(name) : 0); }
  void SetPassword(const char* password) {
    identity_->SetPassword(password, password ? std::strlen(password) : 0);
  }
  static std::string NtHex(const std::u16string& password) {
    const auto hash = ms_chap_reference::NtHash(password);
    return Hex(hash.data(), hash.size());
  }

  fake_cert::Utility utility_;
  ApiContext* context_ = nullptr;
  Identity* identity_ = nullptr;
  IdentityMethodHost* host_ = nullptr;
  RecordingOwner owner_;
};

TEST_F(IdentityMethodHostTest, NamesDerivedFromTheUserAndWindowsNames) {
  struct Case {
    const char* user;
    const char* windows;
    const char* expectUser;
    const char* expectOuter;
    const char* expectWindows;
  } cases[] = {
      {"alice@example.com", nullptr, "alice@example.com", "alice", "alice"},
      {"CORP\\bob@example.com", nullptr, "CORP\\bob@example.com", "CORP\\bob", "bob"},
      {"A\\B\\carol", nullptr, "A\\B\\carol", "A\\B\\carol", "carol"},
      {"dave@x@y", "DOM\\dave", "dave@x@y", "dave", "DOM\\dave"},
      {"erin\\", nullptr, "erin\\", "erin\\", ""},
      {nullptr, nullptr, "", "", ""},
      {nullptr, "windows", "", "", "windows"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.user ? c.user : "(no user)");
    SetUser(c.user);
    identity_->SetWindowsName(c.windows, c.windows ? std::strlen(c.windows) : 0);
    ASSERT_TRUE(host_->LoadIdentity());
    EXPECT_STREQ(services().GetUserName(), c.expectUser);
    EXPECT_STREQ(services().GetOuterName(), c.expectOuter);
    EXPECT_STREQ(services().GetWindowsUserName(), c.expectWindows);
  }
}

TEST_F(IdentityMethodHostTest, WithoutIdentityNothingLoadsAndNamesAreEmpty) {
  host_->SetIdentity(nullptr);
  EXPECT_FALSE(host_->LoadIdentity());
  EXPECT_STREQ(services().GetUserName(), "");
  EXPECT_STREQ(services().GetWindowsUserName(), "");
  EXPECT_FALSE(services().HasIdentityPassword());
  EapTlsPeer* peer = reinterpret_cast<EapTlsPeer*>(1);
  EXPECT_EQ(host_->CreateTlsPeer(13, false, &peer), IdentityMethodHost::kTlsPeerFailed);
  EXPECT_EQ(peer, nullptr);
}

TEST_F(IdentityMethodHostTest, IdentityPasswordIsUsedWithoutAskingTheOwner) {
  SetPassword("secret");
  ASSERT_TRUE(host_->LoadIdentity());
  EXPECT_TRUE(services().HasIdentityPassword());
  EXPECT_STREQ(services().GetPassword(), "secret");
  EXPECT_STREQ(services().GetPassword(), "secret");
  EXPECT_EQ(owner_.passwordRequests, 0u);
  // A later change of the identity counts only after the next load.
  SetPassword("other");
  EXPECT_STREQ(services().GetPassword(), "secret");
  ASSERT_TRUE(host_->LoadIdentity());
  EXPECT_STREQ(services().GetPassword(), "other");
}

TEST_F(IdentityMethodHostTest, MissingPasswordIsAskedAtEveryCallAndHashesAreKept) {
  ASSERT_TRUE(host_->LoadIdentity());
  EXPECT_FALSE(services().HasIdentityPassword());
  owner_.passwords = {"first", "second", std::nullopt, "third"};
  EXPECT_STREQ(services().GetPassword(), "first");
  EXPECT_STREQ(services().GetPassword(), "second");
  EXPECT_EQ(services().GetPassword(), nullptr);  // declined
  // The hash asks once ("third") and is then served from the cache.
  const std::uint8_t* nt = services().GetNtPasswordHash();
  ASSERT_NE(nt, nullptr);
  EXPECT_EQ(Hex(nt, 16), NtHex(u"third"));
  EXPECT_EQ(services().GetNtPasswordHash(), nt);
  EXPECT_EQ(owner_.passwordRequests, 4u);
  // Without any further answer there is no LM hash.
  EXPECT_EQ(services().GetLmPasswordHash(), nullptr);
  EXPECT_EQ(owner_.passwordRequests, 5u);
}

TEST_F(IdentityMethodHostTest, OwnerAnswerFillingTheWholeBufferIsCutToIt) {
  ASSERT_TRUE(host_->LoadIdentity());
  owner_.passwords = {std::string(600, 'p')};
  const char* password = services().GetPassword();
  ASSERT_NE(password, nullptr);
  EXPECT_EQ(std::strlen(password), IdentityMethodHost::kPasswordBufferSize - 1);
}

TEST_F(IdentityMethodHostTest, HashesOfLongAndMixedPasswords) {
  // 20 characters: LM uses the first 14 upper-cased (digits untouched), NT all 20.
  const char* password = "Pass1234word5678ABCD";
  SetPassword(password);
  ASSERT_TRUE(host_->LoadIdentity());
  std::uint8_t lm[16];
  LmPasswordHash("PASS1234WORD56", lm);
  const std::uint8_t* hostLm = services().GetLmPasswordHash();
  ASSERT_NE(hostLm, nullptr);
  EXPECT_EQ(Hex(hostLm, 16), Hex(lm, 16));
  const std::uint8_t* hostNt = services().GetNtPasswordHash();
  ASSERT_NE(hostNt, nullptr);
  EXPECT_EQ(Hex(hostNt, 16), NtHex(u"Pass1234word5678ABCD"));
}

TEST_F(IdentityMethodHostTest, PasswordThatIsNotUtf8HasNoNtHash) {
  SetPassword("ab\xFF");
  ASSERT_TRUE(host_->LoadIdentity());
  EXPECT_EQ(services().GetNtPasswordHash(), nullptr);
  EXPECT_NE(services().GetLmPasswordHash(), nullptr);
}

TEST_F(IdentityMethodHostTest, CredentialPromptReplacesThePasswordAndItsHashes) {
  ASSERT_TRUE(host_->LoadIdentity());
  owner_.passwords = {"old"};
  const std::uint8_t* before = services().GetNtPasswordHash();
  ASSERT_NE(before, nullptr);
  const std::string oldHash = Hex(before, 16);

  dcfString user("keep");
  dcfString password("keep");
  EXPECT_FALSE(services().CredentialPrompt("Change?", user, password));
  EXPECT_STREQ(user.CStr(), "keep");
  EXPECT_STREQ(password.CStr(), "");
  EXPECT_EQ(Hex(services().GetNtPasswordHash(), 16), oldHash);  // still cached

  owner_.credentials = {{"old", "new"}};
  owner_.passwords = {"new"};
  EXPECT_TRUE(services().CredentialPrompt("Change?", user, password));
  EXPECT_STREQ(user.CStr(), "old");
  EXPECT_EQ(user.Length(), 3u);
  EXPECT_STREQ(password.CStr(), "new");
  const std::uint8_t* after = services().GetNtPasswordHash();
  ASSERT_NE(after, nullptr);
  EXPECT_EQ(Hex(after, 16), NtHex(u"new"));
}

TEST_F(IdentityMethodHostTest, TokensNotificationsAndNoticesGoToTheOwner) {
  ASSERT_TRUE(host_->LoadIdentity());
  dcfByteArray answer;
  EXPECT_FALSE(services().AnswerChallenge("Code:", 5, answer));
  owner_.token = "123456";
  EXPECT_TRUE(services().AnswerChallenge("Code:xx", 5, answer));
  EXPECT_EQ(std::string(answer.begin(), answer.end()), "123456");
  EXPECT_EQ(owner_.tokenPrompts, (std::vector<std::string>{"Code:", "Code:"}));
  EXPECT_FALSE(services().GetToken(answer));
  host_->AppendNotification("Hello there", 5);
  services().Notice(7);
  services().NotifyMethodSucceeded(0);
  EXPECT_EQ(owner_.notifications, std::vector<std::string>{"Hello"});
  EXPECT_EQ(owner_.notices, std::vector<std::uint32_t>{7});
  EXPECT_EQ(owner_.completions, 1u);
}

TEST_F(IdentityMethodHostTest, MethodsAreMadeWithThisHost) {
  SetPassword("pw");
  ASSERT_TRUE(host_->LoadIdentity());
  EapMethod* md5 = host_->CreateEapMethod(4);
  ASSERT_NE(md5, nullptr);
  EXPECT_EQ(md5->Initialize(), 0u);
  delete md5;
  EXPECT_EQ(host_->CreateEapMethod(99), nullptr);
  identity_->SetTtlsInnerAuthProtocol(Identity::kTtlsMsChapV2);
  EXPECT_EQ(host_->GetTtlsInnerAuthProtocol(), Identity::kTtlsMsChapV2);
}

// A TLS peer that records its set-up and can refuse one step.
class RecordingPeer : public EapTlsPeer {
 public:
  std::vector<std::string> calls;
  std::string refuse;
  unsigned releases = 0;
  EapTlsPeer::ExternalSigner signer = nullptr;
  EapTlsPeer::ChainVerifyHook hook = nullptr;
  void* signerArgument = nullptr;
  void* hookArgument = nullptr;

  std::uint32_t EnableEapType(const char* name) override { return Call(std::string("type ") + name); }
  std::uint32_t SetPeapVersionRange(std::uint32_t low, std::uint32_t high) override {
    return Call("peap " + std::to_string(low) + "-" + std::to_string(high));
  }
  std::uint32_t SetMaxMessageSize(std::uint32_t bytes) override {
    return Call("max " + std::to_string(bytes));
  }
  std::uint32_t SetSessionResumptionTimeout(std::uint32_t seconds) override {
    return Call("resume " + std::to_string(seconds));
  }
  std::uint32_t SetExternalSigner(ExternalSigner s, void* argument) override {
    signer = s;
    signerArgument = argument;
    return Call("signer");
  }
  std::uint32_t CreateConnection() override { return Call("connection"); }
  std::uint32_t SetChainVerifyHook(ChainVerifyHook h, void* argument) override {
    hook = h;
    hookArgument = argument;
    return Call("hook");
  }
  std::uint32_t Release() override { return ++releases, 0; }
  // The method's side is not used here.
  std::int32_t ProcessRequest(const std::uint8_t*, std::uint32_t) override { return -1; }
  std::int32_t GetResponse(std::uint8_t*, std::uint32_t, std::uint32_t*) override { return -1; }
  std::int32_t GetTlsStatus(std::uint32_t*) const override { return -1; }
  std::int32_t GetLastTlsError(std::uint32_t*) const override { return -1; }
  std::int32_t GetFirstAlert(std::uint32_t*) const override { return -1; }
  std::int32_t IsSessionResumed(bool*) const override { return -1; }
  std::int32_t GetCipherSuite(std::uint16_t*) const override { return -1; }
  std::int32_t GetPeapVersion(std::uint32_t*) const override { return -1; }
  std::int32_t SaveSession() override { return -1; }
  std::int32_t DropSession() override { return -1; }
  std::int32_t DeriveKeyMaterial(const char*, std::uint8_t*, std::uint32_t) const override {
    return -1;
  }
  std::int32_t WriteInnerEap(const std::uint8_t*, std::uint32_t) override { return -1; }
  std::int32_t ReadInnerEap(std::uint8_t*, std::uint32_t, std::uint32_t*) override { return -1; }

 private:
  std::uint32_t Call(const std::string& what) {
    calls.push_back(what);
    return what.rfind(refuse, 0) == 0 && !refuse.empty() ? 1 : 0;
  }
};

class PeerMakingHost : public IdentityMethodHost {
 public:
  using IdentityMethodHost::IdentityMethodHost;
  RecordingPeer peer;
  unsigned localSigns = 0;

 protected:
  std::uint32_t MakeTlsPeer(IdentityTlsCredential&, EapTlsPeer** out) override {
    *out = &peer;
    return 0;
  }
  int SignLocally(IdentityTlsCredential&, char, const std::uint8_t*, std::uint32_t,
                  std::uint8_t* out, std::uint32_t, std::uint32_t* outLength) override {
    ++localSigns;
    out[0] = 0x5A;
    *outLength = 1;
    return 0;
  }
};

class TlsSetupTest : public IdentityMethodHostTest {
 protected:
  void SetUp() override {
    IdentityMethodHostTest::SetUp();
    const std::uint8_t hash[20] = {0xAB, 0xCD};
    identity_->SetUserCertificate(hash);
    identity_->Initialize();
    identity_->Credential(false)->status = 0;
    identity_->Credential(true)->status = 0;
    tlsHost_ = new PeerMakingHost(owner_);
    tlsHost_->SetIdentity(identity_);
    tlsHost_->SetResumptionTimeout(300);
  }
  void TearDown() override {
    tlsHost_->Release();
    IdentityMethodHostTest::TearDown();
  }
  PeerMakingHost* tlsHost_ = nullptr;
};

TEST_F(TlsSetupTest, PeerIsSetUpInOrderForEachTlsType) {
  const struct {
    std::uint32_t type;
    const char* name;
  } types[] = {{13, "tls"}, {21, "ttls"}, {25, "peap"}};
  for (const auto& t : types) {
    tlsHost_->peer.calls.clear();
    EapTlsPeer* peer = nullptr;
    ASSERT_EQ(tlsHost_->CreateTlsPeer(t.type, false, &peer), 0u) << t.name;
    EXPECT_EQ(peer, &tlsHost_->peer);
    EXPECT_EQ(tlsHost_->peer.calls,
              (std::vector<std::string>{std::string("type ") + t.name, "peap 0-1", "max 65536",
                                        "resume 300", "signer", "connection", "hook"}));
  }
  EXPECT_EQ(tlsHost_->peer.releases, 0u);
}

TEST_F(TlsSetupTest, FailedSetUpReleasesThePeer) {
  EapTlsPeer* peer = reinterpret_cast<EapTlsPeer*>(1);
  EXPECT_EQ(tlsHost_->CreateTlsPeer(17, false, &peer), IdentityMethodHost::kTlsPeerFailed);
  EXPECT_EQ(peer, nullptr);
  EXPECT_EQ(tlsHost_->peer.releases, 1u);
  tlsHost_->peer.refuse = "connection";
  EXPECT_EQ(tlsHost_->CreateTlsPeer(25, false, &peer), IdentityMethodHost::kTlsPeerFailed);
  EXPECT_EQ(tlsHost_->peer.releases, 2u);
  EXPECT_EQ(tlsHost_->peer.calls.back(), "connection");
}

TEST_F(TlsSetupTest, CredentialFailureIsReportedAsItsStatus) {
  identity_->Credential(true)->status = IdentityTlsCredential::kCertificateNotFound;
  EapTlsPeer* peer = nullptr;
  EXPECT_EQ(tlsHost_->CreateTlsPeer(13, true, &peer), IdentityTlsCredential::kCertificateNotFound);
  EXPECT_TRUE(tlsHost_->peer.calls.empty());
  // Without the TLS context the library cannot make a peer of its own.
  EXPECT_EQ(host_->CreateTlsPeer(13, false, &peer), IdentityMethodHost::kTlsPeerFailed);
}

TEST_F(TlsSetupTest, HooksAskTheOwnerThenTheLibrary) {
  EapTlsPeer* peer = nullptr;
  ASSERT_EQ(tlsHost_->CreateTlsPeer(13, true, &peer), 0u);
  RecordingPeer& p = tlsHost_->peer;
  const DerCertificate chain[1] = {{reinterpret_cast<const std::uint8_t*>("x"), 1}};
  owner_.verdict = 6;
  EXPECT_EQ(p.hook(p.hookArgument, chain, 1), 6u);

  const std::uint8_t digest[20] = {};
  std::uint8_t out[4] = {};
  std::uint32_t length = 77;
  owner_.signature = "sig";
  EXPECT_EQ(p.signer(p.signerArgument, 'r', 1024, digest, 20, 0, 0, out, sizeof out, &length), 0);
  EXPECT_EQ(length, 3u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 3), "sig");
  EXPECT_EQ(owner_.signedHashes.back().substr(0, 4), "abcd");
  // An answer longer than the buffer fails.
  owner_.signature = "toolong";
  EXPECT_EQ(p.signer(p.signerArgument, 'r', 1024, digest, 20, 0, 0, out, sizeof out, &length), -1);
  EXPECT_EQ(length, 0u);
  // The owner leaves it to the library: known kinds sign locally, others fail.
  owner_.signature.clear();
  EXPECT_EQ(p.signer(p.signerArgument, 't', 1024, digest, 20, 0, 0, out, sizeof out, &length), 0);
  EXPECT_EQ(length, 1u);
  EXPECT_EQ(p.signer(p.signerArgument, 'x', 1024, digest, 20, 0, 0, out, sizeof out, &length), -1);
  EXPECT_EQ(tlsHost_->localSigns, 1u);
  owner_.signs = false;
  EXPECT_EQ(p.signer(p.signerArgument, 'r', 1024, digest, 20, 0, 0, out, sizeof out, &length), -1);
  // The hooks run inside the TLS engine's C callbacks: a failure to ask is a refusal there,
  // never an exception.
  owner_.throws = true;
  owner_.verdict = 0;
  EXPECT_EQ(p.hook(p.hookArgument, chain, 1), 8u);
  EXPECT_EQ(p.signer(p.signerArgument, 'r', 1024, digest, 20, 0, 0, out, sizeof out, &length), -1);
  EXPECT_EQ(length, 0u);
}

}  // namespace
