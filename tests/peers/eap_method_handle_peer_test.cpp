// A host that runs EAP methods directly through the EAP-method handle's exports against
// hostapd's EAP server: EAP-MD5 with the password asked of the host (message code 2),
// MS-CHAP-V2 inside PEAP with the identity's password or the host's (code 2), and
// EAP-TLS with the client certificate from the user's store, the server's chain judged by
// the host (message code 5) and a key block equal to the one hostapd logs; a chain question
// the host leaves unanswered is judged by the library, never trusted by silence. The client key
// never enters the TLS engine: the CertificateVerify is signed by the store (the host
// leaving the signing request, code 6, unanswered) or by the host itself, also with
// FreeRADIUS as the authentication server; a host that refuses to sign fails the handshake.
// A server certificate that the trusted CA signed with MD5 or SHA-1 is refused by the
// library's judgement.
#include <ksstk.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include <openssl/rsa.h>
#include <unistd.h>

#include "platform/cryptoapi/cert_import.h"
#include "platform/cryptoapi/scoped_cert_root.h"
#include "tests/peers/freeradius_peer.h"
#include "tests/peers/hostapd_fixture.h"
#include "tests/peers/pem_text.h"
#include "tests/peers/user_certificates.h"

namespace peers {
namespace {

// The host's side of the handle: answers the questions and records the codes.
struct Host {
  enum class Signing { kLeftToTheStore, kByTheHost, kRefused };
  std::vector<std::uint32_t> codes;
  std::vector<std::uint32_t> statuses;
  std::string password;
  bool judgeChain = true;  // answers code 5 with "trusted"; else leaves it unanswered
  bool askTheLibrary = false;  // answers code 5 with the library's own judgement of the chain
  std::vector<std::uint32_t> verdicts;  // the library's
  Signing signing = Signing::kLeftToTheStore;
  EVP_PKEY* key = nullptr;  // the host's copy of the user's key, for kByTheHost
};

// The host's own signature: PKCS #1 v1.5 over the bytes it was given.
void SignAsHost(const Host& host, KSSTK_PRIVATE_KEY_OPERATION_MESSAGE& request) {
  EVP_PKEY_CTX* context = EVP_PKEY_CTX_new_from_pkey(nullptr, host.key, nullptr);
  std::size_t length = 0;
  if (context != nullptr && EVP_PKEY_sign_init(context) == 1 &&
      EVP_PKEY_CTX_set_rsa_padding(context, RSA_PKCS1_PADDING) == 1 &&
      EVP_PKEY_sign(context, nullptr, &length, request.Digest, request.DigestLength) == 1) {
    void* answer = nullptr;
    KSSTK_Alloc(static_cast<uint32_t>(length), &answer);
    request.Answer = static_cast<uint8_t*>(answer);
    if (request.Answer != nullptr &&
        EVP_PKEY_sign(context, request.Answer, &length, request.Digest, request.DigestLength) == 1) {
      request.AnswerLength = static_cast<uint32_t>(length);
    }
  }
  EVP_PKEY_CTX_free(context);
}

uint32_t KSSTK_CALL Callback(uintptr_t user, KSSTK_CALLBACK_MESSAGE* message) {
  Host& host = *reinterpret_cast<Host*>(user);
  host.codes.push_back(message->Code);
  switch (message->Code) {
    case KSSTK_MSG_EAP_STATUS:
      host.statuses.push_back(reinterpret_cast<KSSTK_EAP_STATUS_MESSAGE*>(message)->Status);
      break;
    case KSSTK_MSG_EAP_GET_PASSWORD:
      KSSTK_AllocStringA(host.password.c_str(), &reinterpret_cast<KSSTK_GET_PASSWORD_MESSAGE*>(message)->Password.A);
      break;
    case KSSTK_MSG_EAP_VALIDATE_SERVER_CERT: {
      auto& question = *reinterpret_cast<KSSTK_VALIDATE_SERVER_CERT_MESSAGE*>(message);
      if (host.askTheLibrary) {
        KSSTK_CERT_LIST built = nullptr;
        int32_t verdict = -1;
        KSSTK_CERT_LIST_BuildCertChain(question.Chain, &built, &verdict);
        if (built != nullptr) KSSTK_Release(built);
        question.Verdict = static_cast<uint32_t>(verdict);
        host.verdicts.push_back(question.Verdict);
      } else if (host.judgeChain) {
        question.Verdict = KSSTK_CHAIN_TRUSTED;
      }
      break;
    }
    case KSSTK_MSG_EAP_SIGN: {
      auto& request = *reinterpret_cast<KSSTK_PRIVATE_KEY_OPERATION_MESSAGE*>(message);
      if (host.signing == Host::Signing::kRefused) request.Failed = 1;
      if (host.signing == Host::Signing::kByTheHost) SignAsHost(host, request);
      break;
    }
  }
  return 0;
}

// Hands each request to the handle and fetches its response; a status notice ends the
// conversation on our side.
class HandleResponder : public EapResponder {
 public:
  HandleResponder(KSSTK_EAP_METHOD method, Host& host) : method_(method), host_(host) {}
  std::optional<Bytes> OnRequest(std::span<const uint8_t> request) override {
    const std::size_t notices = host_.statuses.size();
    KSSTK_EAP_METHOD_ReceiveEapRequest(method_, request.data(), static_cast<uint32_t>(request.size()));
    Bytes response(1400);
    uint32_t length = 0;
    KSSTK_EAP_METHOD_GetEapResponse(method_, response.data(), 1400, &length);
    if (host_.statuses.size() != notices) return std::nullopt;
    response.resize(length);
    return response;
  }

 private:
  KSSTK_EAP_METHOD method_;
  Host& host_;
};

class EapMethodHandlePeerTest : public HostapdTest {
 protected:
  void SetUp() override {
    HostapdTest::SetUp();
    if (IsSkipped()) return;
    ASSERT_EQ(KSSTK_Initialize(), 0);
    initialized_ = true;
  }
  void TearDown() override {
    if (method_ != nullptr) KSSTK_Release(method_);
    if (context_ != nullptr) KSSTK_Release(context_);
    if (initialized_) KSSTK_Terminate();
    HostapdTest::TearDown();
  }
  // A handle of the type for "user", its identity given a password or a certificate.
  void Make(std::uint32_t type, const char* user, const char* password, const TestCertificate* certificate) {
    ASSERT_EQ(KSSTK_CreateContext(&context_), 0);
    KSSTK_CONTEXT_Initialize(context_);
    ASSERT_EQ(KSSTK_CONTEXT_CreateEapMethodA(context_, type, &method_), 0);
    KSSTK_EAP_METHOD_SetCallbackA(method_, Callback, reinterpret_cast<uintptr_t>(&host_));
    KSSTK_IDENTITY identity = MakeIdentity(context_, user, password, type, certificate);
    KSSTK_EAP_METHOD_SetIdentity(method_, identity);
    KSSTK_Release(identity);
    ASSERT_EQ(KSSTK_EAP_METHOD_Initialize(method_), 0);
  }

  // A PEAP handle whose identity "ms" runs MS-CHAP-V2 inside, with the password when given
  // (else the host is asked); the context is made once.
  void MakePeap(const char* identityPassword) {
    if (context_ == nullptr) {
      ASSERT_EQ(KSSTK_CreateContext(&context_), 0);
      KSSTK_CONTEXT_Initialize(context_);
    }
    if (method_ != nullptr) KSSTK_Release(method_);
    ASSERT_EQ(KSSTK_CONTEXT_CreateEapMethodA(context_, 25, &method_), 0);
    KSSTK_EAP_METHOD_SetCallbackA(method_, Callback, reinterpret_cast<uintptr_t>(&host_));
    KSSTK_IDENTITY identity = nullptr;
    ASSERT_EQ(KSSTK_CONTEXT_CreateIdentity(context_, &identity), 0);
    KSSTK_IDENTITY_SetUserNameA(identity, "ms");
    if (identityPassword != nullptr) KSSTK_IDENTITY_SetPasswordA(identity, identityPassword);
    const std::uint32_t peap = 25, msChapV2 = 26;
    KSSTK_IDENTITY_SetEapTypes(identity, &peap, 1);
    KSSTK_IDENTITY_SetPeapInnerEapTypes(identity, &msChapV2, 1);
    KSSTK_IDENTITY_Initialize(identity);
    KSSTK_EAP_METHOD_SetIdentity(method_, identity);
    KSSTK_Release(identity);
    ASSERT_EQ(KSSTK_EAP_METHOD_Initialize(method_), 0);
  }

  // After the server's success: the method is complete (no notice) and its key block is the
  // one hostapd logs under label; then it is terminated.
  void ExpectCompletedWithKeys(const std::string& label) {
    KSSTK_EAP_METHOD_AuthenticationSuccess(method_);
    host_.statuses.clear();
    KSSTK_EAP_METHOD_VerifyCompletion(method_);
    EXPECT_TRUE(host_.statuses.empty()) << "completed";
    KSSTK_BLOB keys{};
    EXPECT_EQ(KSSTK_EAP_METHOD_GetKeys(method_, &keys), 0);
    EXPECT_EQ(std::vector<std::uint8_t>(keys.Data, keys.Data + keys.Length), LoggedKey(hostapd().Log(), label));
    KSSTK_Free(keys.Data);
    KSSTK_EAP_METHOD_Terminate(method_);
  }

  capi::testing::ScopedCertRoot root_;
  bool initialized_ = false;
  KSSTK_CONTEXT context_ = nullptr;
  KSSTK_EAP_METHOD method_ = nullptr;
  Host host_;
};

TEST_F(EapMethodHandlePeerTest, Md5WithThePasswordFromTheHost) {
  StartHostapd({.eapUsers = {"\"bob\" MD5 \"md5 secret\""}});
  Make(4, "bob", nullptr, nullptr);
  host_.password = "md5 secret";
  HandleResponder responder(method_, host_);
  const EapTranscript transcript = Converse("bob", responder);
  EXPECT_EQ(transcript.outcome, EapOutcome::kSuccess) << Describe(transcript);
  EXPECT_EQ(host_.codes, (std::vector<std::uint32_t>{KSSTK_MSG_EAP_GET_PASSWORD}));
  KSSTK_EAP_METHOD_AuthenticationSuccess(method_);
  KSSTK_EAP_METHOD_VerifyCompletion(method_);
  EXPECT_TRUE(host_.statuses.empty());
}

TEST_F(EapMethodHandlePeerTest, TlsKeysEqualHostapds) {
  const Certificates& certs = UserCertificates();
  AddToStore("ROOT", certs.ca, false);
  AddToStore("MY", certs.client, true);
  StartHostapd({.eapUsers = {"\"alice\" TLS"},
                .extraConfig = {"ca_cert=" + dir().Write("ca.pem", Pem(certs.ca, false)),
                                "server_cert=" + dir().Write("server.pem", Pem(certs.server, false)),
                                "private_key=" + dir().Write("server.key", Pem(certs.server, true))},
                .logKeys = true});
  Make(13, "alice", nullptr, &certs.client);
  HandleResponder responder(method_, host_);
  const EapTranscript transcript = Converse("alice", responder);
  ASSERT_EQ(transcript.outcome, EapOutcome::kSuccess) << Describe(transcript);
  EXPECT_EQ(std::count(host_.codes.begin(), host_.codes.end(), KSSTK_MSG_EAP_VALIDATE_SERVER_CERT), 1);
  EXPECT_EQ(std::count(host_.codes.begin(), host_.codes.end(), KSSTK_MSG_EAP_SIGN), 1)
      << "the store signed";
  ExpectCompletedWithKeys("EAP-TLS: Derived key");
}


// A host that leaves the chain question unanswered does not make the chain trusted: the
// library judges it, and the authentication fails until hostapd's CA is a trusted root.
TEST_F(EapMethodHandlePeerTest, AnUnansweredChainQuestionIsTheLibrarysJudgement) {
  const Certificates& certs = UserCertificates();
  AddToStore("MY", certs.client, true);
  StartHostapd({.eapUsers = {"\"alice\" TLS"},
                .extraConfig = {"ca_cert=" + dir().Write("ca.pem", Pem(certs.ca, false)),
                                "server_cert=" + dir().Write("server.pem", Pem(certs.server, false)),
                                "private_key=" + dir().Write("server.key", Pem(certs.server, true))}});
  for (const bool caTrusted : {false, true}) {
    SCOPED_TRACE(caTrusted ? "CA among the trusted roots" : "CA unknown");
    if (caTrusted) AddToStore("ROOT", certs.ca, false);
    if (method_ != nullptr) KSSTK_Release(method_);
    if (context_ != nullptr) KSSTK_Release(context_);
    method_ = nullptr;
    context_ = nullptr;
    host_ = Host{};
    host_.judgeChain = false;
    Make(13, "alice", nullptr, &certs.client);
    HandleResponder responder(method_, host_);
    const EapTranscript transcript = Converse("alice", responder);
    EXPECT_EQ(transcript.outcome == EapOutcome::kSuccess, caTrusted) << Describe(transcript);
    EXPECT_EQ(std::count(host_.codes.begin(), host_.codes.end(), KSSTK_MSG_EAP_VALIDATE_SERVER_CERT), 1);
  }
}

// The store holds the user's certificate without its key; the host signs, or refuses to.
TEST_F(EapMethodHandlePeerTest, TlsSignedByTheHostOrRefused) {
  const Certificates& certs = UserCertificates();
  AddToStore("ROOT", certs.ca, false);
  AddToStore("MY", certs.client, false);
  StartHostapd({.eapUsers = {"\"alice\" TLS"},
                .extraConfig = {"ca_cert=" + dir().Write("ca.pem", Pem(certs.ca, false)),
                                "server_cert=" + dir().Write("server.pem", Pem(certs.server, false)),
                                "private_key=" + dir().Write("server.key", Pem(certs.server, true))}});
  const struct {
    Host::Signing signing;
    EapOutcome outcome;
  } cases[] = {{Host::Signing::kByTheHost, EapOutcome::kSuccess},
               {Host::Signing::kRefused, EapOutcome::kGaveUp}};
  for (const auto& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.signing));
    host_ = Host{};
    host_.signing = c.signing;
    host_.key = certs.client.key.get();
    if (method_ != nullptr) KSSTK_Release(method_);
    if (context_ != nullptr) KSSTK_Release(context_);
    Make(13, "alice", nullptr, &certs.client);
    HandleResponder responder(method_, host_);
    const EapTranscript transcript = Converse("alice", responder);
    EXPECT_EQ(transcript.outcome, c.outcome) << Describe(transcript);
    EXPECT_EQ(std::count(host_.codes.begin(), host_.codes.end(), KSSTK_MSG_EAP_SIGN), 1);
    if (c.outcome != EapOutcome::kSuccess) {
      EXPECT_FALSE(host_.statuses.empty()) << "the method reported its failure";
    }
  }
}

// FreeRADIUS as the authentication server: the certificate's key signs in the store.
TEST_F(EapMethodHandlePeerTest, TlsWithTheKeyInTheStoreAgainstFreeRadius) {
  const Certificates& certs = UserCertificates();
  AddToStore("ROOT", certs.ca, false);
  AddToStore("MY", certs.client, true);
  FreeRadiusPeer radius(space(), dir(),
                        FreeRadiusOptions{{}, Pem(certs.ca, false), Pem(certs.server, false),
                                          Pem(certs.server, true)});
  StartHostapd({.extraConfig = FreeRadiusPeer::HostapdConfig()});
  Make(13, "alice", nullptr, &certs.client);
  HandleResponder responder(method_, host_);
  const EapTranscript transcript = Converse("alice", responder);
  EXPECT_EQ(transcript.outcome, EapOutcome::kSuccess) << Describe(transcript) << radius.Log();
  EXPECT_EQ(std::count(host_.codes.begin(), host_.codes.end(), KSSTK_MSG_EAP_SIGN), 1);
}

// MS-CHAP-V2 inside PEAP, with the password the identity holds or, without one, the
// password the host gives to message code 2: the host judges the server's chain (code 5)
// and is asked nothing else; the key block is the one hostapd logs.
TEST_F(EapMethodHandlePeerTest, PeapMsChapV2WithThePasswordOfTheIdentityOrOfTheHost) {
  const Certificates& certs = UserCertificates();
  StartHostapd({.eapUsers = {"\"ms\" PEAP", "\"ms\" MSCHAPV2 \"ms secret\" [2]"},
                .extraConfig = {"ca_cert=" + dir().Write("ca.pem", Pem(certs.ca, false)),
                                "server_cert=" + dir().Write("server.pem", Pem(certs.server, false)),
                                "private_key=" + dir().Write("server.key", Pem(certs.server, true))},
                .logKeys = true});
  struct Case {
    const char* identityPassword;
    std::vector<std::uint32_t> codes;
  };
  for (const Case& c : {Case{"ms secret", {KSSTK_MSG_EAP_VALIDATE_SERVER_CERT}},
                        Case{nullptr, {KSSTK_MSG_EAP_VALIDATE_SERVER_CERT, KSSTK_MSG_EAP_GET_PASSWORD}}}) {
    SCOPED_TRACE(c.identityPassword != nullptr ? "identity's password" : "host's password");
    host_ = Host{};
    host_.password = "ms secret";
    MakePeap(c.identityPassword);
    HandleResponder responder(method_, host_);
    const EapTranscript transcript = Converse("ms", responder);
    ASSERT_EQ(transcript.outcome, EapOutcome::kSuccess) << Describe(transcript);
    std::vector<std::uint32_t> codes = host_.codes;
    codes.erase(std::unique(codes.begin(), codes.end()), codes.end());  // asked again per hash
    EXPECT_EQ(codes, c.codes);
    ExpectCompletedWithKeys("EAP-PEAP: Derived key");
  }
}

std::vector<std::string> g_traces;
void KSSTK_CALL CollectTrace(int32_t, int32_t, const char* text, const uint8_t*, uint32_t) {
  g_traces.emplace_back(text);
}

// hostapd's CA and server certificate, made with the openssl CLI (which still signs with MD5
// and SHA-1): the CA (RSA) signs itself with SHA-256 and the server's certificate (P-256)
// with `digest`. The keys are made once per directory.
struct CliPki {
  std::string caPem;
  std::string serverPem;
  std::string serverKey;  // file
};

CliPki MakeCliPki(const ScratchDir& dir, const std::string& digest) {
  const std::string caKey = dir.File("cli-ca.key");
  const std::string serverKey = dir.File("cli-server.key");
  if (access(caKey.c_str(), F_OK) != 0) {
    EXPECT_EQ(RunProgram({"openssl", "genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:2048", "-out",
                          caKey}),
              0);
    EXPECT_EQ(RunProgram({"openssl", "genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256", "-out",
                          serverKey}),
              0);
  }
  const std::string ca = dir.File(digest + "-ca.pem");
  const std::string request = dir.File(digest + "-server.csr");
  const std::string server = dir.File(digest + "-server.pem");
  EXPECT_EQ(RunProgram({"openssl", "req", "-x509", "-key", caKey, "-subj", "/CN=Weak Digest CA " + digest, "-days",
                        "30", "-sha256", "-addext", "basicConstraints=critical,CA:TRUE", "-out", ca}),
            0);
  EXPECT_EQ(RunProgram({"openssl", "req", "-new", "-key", serverKey, "-subj", "/CN=weak.example", "-out", request}), 0);
  EXPECT_EQ(RunProgram({"openssl", "x509", "-req", "-in", request, "-CA", ca, "-CAkey", caKey, "-set_serial", "2",
                        "-days", "30", "-" + digest, "-out", server}),
            0);
  return {ReadTextFile(ca), ReadTextFile(server), serverKey};
}

// A server whose certificate the trusted CA signed with MD5 or SHA-1 is refused by the
// library's judgement: the verdict is a bad signature, the trace names the certificate, and
// the handshake fails. (That a root's own SHA-1 signature is no reason to refuse is the chain
// engine's test.)
TEST_F(EapMethodHandlePeerTest, ServerCertificatesSignedWithWeakDigestsAreRefused) {
  KSSTK_SetTraceLevel(1);
  KSSTK_SetTraceCallbackA(CollectTrace);
  for (const std::string digest : {"md5", "sha1"}) {
    SCOPED_TRACE(digest);
    const CliPki pki = MakeCliPki(dir(), digest);
    const auto filed = capi::ImportIntoStore(capi::StoreLocation::CurrentUser, "ROOT", pki.caPem, "");
    ASSERT_TRUE(filed.ok) << filed.error;
    StartHostapd({.eapUsers = {"\"ms\" PEAP", "\"ms\" MSCHAPV2 \"ms secret\" [2]"},
                  .extraConfig = {"ca_cert=" + dir().Write(digest + "-hostapd-ca.pem", pki.caPem),
                                  "server_cert=" + dir().Write(digest + "-hostapd-server.pem", pki.serverPem),
                                  "private_key=" + pki.serverKey},
                  .securityLevelZero = true});
    host_ = Host{};
    host_.askTheLibrary = true;
    g_traces.clear();
    MakePeap("ms secret");
    HandleResponder responder(method_, host_);
    const EapTranscript transcript = Converse("ms", responder);
    EXPECT_EQ(host_.verdicts, std::vector<std::uint32_t>{KSSTK_CHAIN_BAD_SIGNATURE});
    EXPECT_NE(transcript.outcome, EapOutcome::kSuccess) << Describe(transcript);
    const bool named = std::any_of(g_traces.begin(), g_traces.end(), [](const std::string& line) {
      return line.find("refused: signature not valid or made with too weak a digest") != std::string::npos &&
             line.find("CN=weak.example") != std::string::npos;
    });
    EXPECT_TRUE(named) << ::testing::PrintToString(g_traces);
  }
  KSSTK_SetTraceCallbackA(nullptr);
  KSSTK_SetTraceLevel(0);
}

}  // namespace
}  // namespace peers
