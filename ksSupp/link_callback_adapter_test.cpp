// Every message a link sends its host, in both string forms: code, size, layout, payload,
// strings, and the taking over (and freeing) of the host's answers. Run under ASan, a host
// answer the library forgets to free, or frees twice, fails the test.
#include "ksSupp/link_callback_adapter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "ksSupp/fake_cert_library.h"
#include "platform/win32/ansi_code_page.h"

namespace {

// The object whose handle goes into the messages.
class FakeLink : public RefCounted {};

// What the host saw of one message: its bytes as they were when the callback returned.
struct Seen {
  std::uint32_t code;
  std::uint32_t size;
  KSSTK_HANDLE handle;
  std::uintptr_t context;
  std::vector<std::uint8_t> bytes;
  template <class Record>
  const Record& As() const {
    return *reinterpret_cast<const Record*>(bytes.data());
  }
};

struct Host {
  std::vector<Seen> seen;
  // Runs inside the callback: checks the outgoing strings, writes answers.
  std::function<void(KSSTK_CALLBACK_MESSAGE*)> answer;
};
Host* g_host = nullptr;
constexpr std::uintptr_t kUser = 0x5EED;

uint32_t KSSTK_CALL HostCallback(uintptr_t user, KSSTK_CALLBACK_MESSAGE* message) {
  EXPECT_EQ(user, kUser);
  if (g_host->answer) g_host->answer(message);
  const auto* raw = reinterpret_cast<const std::uint8_t*>(message);
  g_host->seen.push_back({message->Code, message->Size, message->Handle, message->Context,
                          std::vector<std::uint8_t>(raw, raw + message->Size)});
  return 0;
}

std::string Text(const KSSTK_STRING& field, StringForm form) {
  if (form == StringForm::Narrow) return field.A != nullptr ? field.A : "(null)";
  return field.W != nullptr ? plat::WideToAnsi(field.W) : "(null)";
}

// A string answer allocated as a host must (the library frees it).
KSSTK_STRING Answer(const char* utf8, StringForm form) {
  KSSTK_STRING field{};
  if (form == StringForm::Narrow) {
    KSSTK_AllocStringA(utf8, &field.A);
  } else {
    KSSTK_AllocStringW(plat::AnsiToWide(utf8).c_str(), &field.W);
  }
  return field;
}

const char* FormName(StringForm form) { return form == StringForm::Narrow ? "A" : "W"; }

class LinkMessages : public ::testing::TestWithParam<StringForm> {
protected:
  void SetUp() override {
    utility_.AddRef();
    context_ = ApiContext::Create(&utility_);
    adapter_ = std::make_unique<LinkCallbackAdapter>(GetParam(), &link_, *context_);
    adapter_->SetHost(HostCallback, kUser);
    g_host = &host_;
  }
  void TearDown() override {
    adapter_.reset();
    context_->Release();
    g_host = nullptr;
    EXPECT_TRUE(utility_.Balanced());
  }
  StringForm form() const { return GetParam(); }
  const Seen& Only() {
    EXPECT_EQ(host_.seen.size(), 1u);
    return host_.seen.back();
  }

  fake_cert::Utility utility_;
  ApiContext* context_ = nullptr;
  FakeLink link_;
  std::unique_ptr<LinkCallbackAdapter> adapter_;
  Host host_;
};

const std::uint8_t kBssid[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};

// Reports and commands: code, size, header and payload of each.
TEST_P(LinkMessages, ReportsAndCommands) {
  struct Case {
    const char* name;
    std::function<void(LinkCallbacks&)> send;
    std::uint32_t code;
    std::size_t size;
    std::uintptr_t context;
    std::function<void(const Seen&)> check;
  };
  const std::uint8_t key40[40] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  const std::uint8_t element[26] = {0x9C, 24};
  const PmkidEntry pmkids[3] = {{{1, 1, 1, 1, 1, 1}, {0xA1}}, {{2}, {0xA2}}, {{3}, {0xA3}}};
  const std::uint8_t frame[5] = {0x01, 0x01, 0x00, 0x00, 0xFF};
  const Case cases[] = {
      {"status", [](LinkCallbacks& l) { l.Status(4); }, KSSTK_MSG_LINK_STATUS,
       sizeof(KSSTK_LINK_STATUS_MESSAGE), 0,
       [](const Seen& m) { EXPECT_EQ(m.As<KSSTK_LINK_STATUS_MESSAGE>().Status, 4u); }},
      {"link up", [](LinkCallbacks& l) { l.LinkUp(); }, KSSTK_MSG_LINK_UP,
       sizeof(KSSTK_CALLBACK_MESSAGE), 0, nullptr},
      {"link down", [](LinkCallbacks& l) { l.LinkDown(); }, KSSTK_MSG_LINK_DOWN,
       sizeof(KSSTK_CALLBACK_MESSAGE), 0, nullptr},
      {"roaming", [](LinkCallbacks& l) { l.Roaming(); }, KSSTK_MSG_ROAMING,
       sizeof(KSSTK_CALLBACK_MESSAGE), 0, nullptr},
      {"keys reset", [](LinkCallbacks& l) { l.KeysReset(0); }, KSSTK_MSG_KEYS_RESET,
       sizeof(KSSTK_CALLBACK_MESSAGE), 0, nullptr},
      {"keys reset, pre-authentication", [](LinkCallbacks& l) { l.KeysReset(0xB0); },
       KSSTK_MSG_PREAUTH_KEYS_RESET, sizeof(KSSTK_CALLBACK_MESSAGE), 0xB0, nullptr},
      {"WEP key cut to 32 bytes", [&](LinkCallbacks& l) { l.SetWepKey(0x80000001, key40, 40); },
       KSSTK_MSG_SET_WEP_KEY, sizeof(KSSTK_SET_WEP_KEY_MESSAGE) + 32, 0,
       [&](const Seen& m) {
         const auto& r = m.As<KSSTK_SET_WEP_KEY_MESSAGE>();
         EXPECT_EQ(r.Wep.Length, 44u);
         EXPECT_EQ(r.Wep.KeyIndex, 0x80000001u);
         EXPECT_EQ(r.Wep.KeyLength, 32u);
         EXPECT_EQ(std::memcmp(r.KeyMaterial, key40, 32), 0);
       }},
      {"pairwise key of 16 bytes", [&](LinkCallbacks& l) {
         l.AddKey(0x000FAC04, 0xE0000000, key40, 16, kBssid, 0x11223344, 0x5566); },
       KSSTK_MSG_ADD_KEY, sizeof(KSSTK_ADD_KEY_MESSAGE) + 16, 0,
       [&](const Seen& m) {
         const auto& r = m.As<KSSTK_ADD_KEY_MESSAGE>();
         EXPECT_EQ(r.CipherSuite, 0x000FAC04u);
         EXPECT_EQ(r.Reserved, 0u);
         EXPECT_EQ(r.Key.Length, 48u);
         EXPECT_EQ(r.Key.KeyIndex, 0xE0000000u);
         EXPECT_EQ(r.Key.KeyLength, 16u);
         EXPECT_EQ(std::memcmp(r.Key.BSSID, kBssid, 6), 0);
         EXPECT_EQ(r.Key.KeyRSC, 0x0000556611223344ull);
         EXPECT_EQ(std::memcmp(r.KeyMaterial, key40, 16), 0);
       }},
      {"group key of 40 bytes without BSSID", [&](LinkCallbacks& l) {
         l.AddKey(0x0050F202, 0x20000001, key40, 40, nullptr, 0, 0); },
       KSSTK_MSG_ADD_KEY, sizeof(KSSTK_ADD_KEY_MESSAGE) + 32, 0,
       [](const Seen& m) {
         const auto& r = m.As<KSSTK_ADD_KEY_MESSAGE>();
         EXPECT_EQ(r.Key.Length, 64u);
         EXPECT_EQ(r.Key.KeyLength, 32u);
         const std::uint8_t broadcast[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
         EXPECT_EQ(std::memcmp(r.Key.BSSID, broadcast, 6), 0);
       }},
      {"remove key", [](LinkCallbacks& l) { l.DeleteKey(0x40000000, kBssid); },
       KSSTK_MSG_REMOVE_KEY, sizeof(KSSTK_REMOVE_KEY_MESSAGE), 0,
       [](const Seen& m) {
         const auto& r = m.As<KSSTK_REMOVE_KEY_MESSAGE>();
         EXPECT_EQ(r.Key.Length, 16u);
         EXPECT_EQ(r.Key.KeyIndex, 0x40000000u);
         EXPECT_EQ(std::memcmp(r.Key.BSSID, kBssid, 6), 0);
       }},
      {"EAPOL frame", [&](LinkCallbacks& l) { l.SendEapol(0, frame, 5); }, KSSTK_MSG_SEND_EAPOL,
       sizeof(KSSTK_SEND_EAPOL_MESSAGE), 0,
       [&](const Seen& m) {
         EXPECT_EQ(m.As<KSSTK_SEND_EAPOL_MESSAGE>().Frame, frame);
         EXPECT_EQ(m.As<KSSTK_SEND_EAPOL_MESSAGE>().FrameLength, 5u);
       }},
      {"pre-authentication EAPOL frame", [&](LinkCallbacks& l) { l.SendEapol(0x77, frame, 5); },
       KSSTK_MSG_SEND_PREAUTH_EAPOL, sizeof(KSSTK_SEND_EAPOL_MESSAGE), 0x77, nullptr},
      {"NAS identifier of 20 characters", [](LinkCallbacks& l) {
         l.AuthFailedNas(25, 4, kBssid, "nas-identifier-20chr"); },
       KSSTK_MSG_AUTH_FAILED_NAS, sizeof(KSSTK_AUTH_FAILED_NAS_MESSAGE), 0,
       [](const Seen& m) {
         const auto& r = m.As<KSSTK_AUTH_FAILED_NAS_MESSAGE>();
         EXPECT_EQ(r.EapType, 25u);
         EXPECT_EQ(r.Reason, 4u);
         EXPECT_EQ(std::memcmp(r.Bssid, kBssid, 6), 0);
         EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.NasIdentifier), 16),
                   "nas-identifier-2");
       }},
      {"short NAS identifier is NUL-padded", [](LinkCallbacks& l) {
         l.AuthFailedNas(0, 2, kBssid, "nas1"); },
       KSSTK_MSG_AUTH_FAILED_NAS, sizeof(KSSTK_AUTH_FAILED_NAS_MESSAGE), 0,
       [](const Seen& m) {
         const auto& r = m.As<KSSTK_AUTH_FAILED_NAS_MESSAGE>();
         EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.NasIdentifier), 16),
                   std::string("nas1") + std::string(12, '\0'));
       }},
      {"connected BSSID", [](LinkCallbacks& l) { l.ConnectedBssid(13, kBssid); },
       KSSTK_MSG_CONNECTED_BSSID, sizeof(KSSTK_CONNECTED_BSSID_MESSAGE), 0,
       [](const Seen& m) {
         EXPECT_EQ(m.As<KSSTK_CONNECTED_BSSID_MESSAGE>().EapType, 13u);
         EXPECT_EQ(std::memcmp(m.As<KSSTK_CONNECTED_BSSID_MESSAGE>().Bssid, kBssid, 6), 0);
       }},
      {"connected network, SSID cut to 32", [](LinkCallbacks& l) {
         const std::string ssid(40, 'S');
         l.ConnectedNetwork(21, reinterpret_cast<const std::uint8_t*>(ssid.data()), 40, kBssid); },
       KSSTK_MSG_CONNECTED_NETWORK, sizeof(KSSTK_CONNECTED_NETWORK_MESSAGE), 0,
       [](const Seen& m) {
         const auto& r = m.As<KSSTK_CONNECTED_NETWORK_MESSAGE>();
         EXPECT_EQ(r.EapType, 21u);
         EXPECT_EQ(r.SsidLength, 32u);
         EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.Ssid), 32), std::string(32, 'S'));
         EXPECT_EQ(std::memcmp(r.Bssid, kBssid, 6), 0);
       }},
      {"CCKM fast handoff", [&](LinkCallbacks& l) { l.CckmRequest(1, element, 26); },
       KSSTK_MSG_CCKM_REQUEST, sizeof(KSSTK_CCKM_REQUEST_MESSAGE) + 26, 0,
       [&](const Seen& m) {
         const auto& r = m.As<KSSTK_CCKM_REQUEST_MESSAGE>();
         EXPECT_EQ(r.Kind, 1u);
         EXPECT_EQ(r.ElementLength, 26u);
         EXPECT_EQ(std::memcmp(r.Element, element, 26), 0);
       }},
      {"CCKM first association", [](LinkCallbacks& l) { l.CckmRequest(0, nullptr, 0); },
       KSSTK_MSG_CCKM_REQUEST, sizeof(KSSTK_CCKM_REQUEST_MESSAGE), 0,
       [](const Seen& m) { EXPECT_EQ(m.As<KSSTK_CCKM_REQUEST_MESSAGE>().ElementLength, 0u); }},
      {"CCKM result", [](LinkCallbacks& l) { l.CckmResult(1); }, KSSTK_MSG_CCKM_RESULT,
       sizeof(KSSTK_CCKM_RESULT_MESSAGE), 0,
       [](const Seen& m) { EXPECT_EQ(m.As<KSSTK_CCKM_RESULT_MESSAGE>().Result, 1u); }},
      {"link failure", [](LinkCallbacks& l) { l.LinkFailure(KSSTK_LINK_FAILURE_KEY_TIMEOUT); },
       KSSTK_MSG_LINK_FAILURE, sizeof(KSSTK_LINK_FAILURE_MESSAGE), 0,
       [](const Seen& m) { EXPECT_EQ(m.As<KSSTK_LINK_FAILURE_MESSAGE>().Reason, 1u); }},
      {"PMKID list of 3", [&](LinkCallbacks& l) { l.SetPmkidList(3, pmkids); },
       KSSTK_MSG_SET_PMKID_LIST, sizeof(KSSTK_SET_PMKID_LIST_MESSAGE) + 66, 0,
       [&](const Seen& m) {
         const auto& r = m.As<KSSTK_SET_PMKID_LIST_MESSAGE>();
         EXPECT_EQ(r.Pmkid.Length, 74u);
         EXPECT_EQ(r.Pmkid.BSSIDInfoCount, 3u);
         EXPECT_EQ(std::memcmp(r.BSSIDInfo[2].BSSID, pmkids[2].bssid, 6), 0);
         EXPECT_EQ(r.BSSIDInfo[2].PMKID[0], 0xA3);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    host_.seen.clear();
    c.send(*adapter_);
    const Seen& m = Only();
    EXPECT_EQ(m.code, c.code);
    EXPECT_EQ(m.size, c.size);
    EXPECT_EQ(m.handle, static_cast<KSSTK_HANDLE>(static_cast<RefCounted*>(&link_)));
    EXPECT_EQ(m.context, c.context);
    if (c.check) c.check(m);
  }
}

// The authentication report carries its texts in the link's form; empty texts are null.
TEST_P(LinkMessages, AuthenticationReportTexts) {
  host_.answer = [&](KSSTK_CALLBACK_MESSAGE* message) {
    const auto& r = *reinterpret_cast<KSSTK_AUTH_REPORT_MESSAGE*>(message);
    EXPECT_EQ(Text(r.MethodNames, form()), "PEAP, EAP-MS-CHAP-V2");
    EXPECT_EQ(Text(r.IdentityRequestText, form()), "Gr\xC3\xBC\xC3\x9F" "e");
    EXPECT_EQ(r.NotificationText.A, nullptr);
  };
  AuthReport report;
  report.authorized = true;
  report.paeState = 7;
  report.methodStatus = 0x19001000;
  report.cipherSuite = 0x2F;
  report.methodNames = "PEAP, EAP-MS-CHAP-V2";
  report.identityRequestText = "Gr\xC3\xBC\xC3\x9F" "e";
  report.notificationText = "";
  adapter_->ReportAuthentication(0, report);
  adapter_->ReportAuthentication(3, report);
  ASSERT_EQ(host_.seen.size(), 2u);
  const auto& r = host_.seen[0].As<KSSTK_AUTH_REPORT_MESSAGE>();
  EXPECT_EQ(host_.seen[0].code, static_cast<std::uint32_t>(KSSTK_MSG_AUTH_REPORT));
  EXPECT_EQ(host_.seen[0].size, sizeof(KSSTK_AUTH_REPORT_MESSAGE));
  EXPECT_EQ(r.Authorized, 1u);
  EXPECT_EQ(r.PaeState, 7u);
  EXPECT_EQ(r.AuthenticatedWithoutAuthenticator, 0u);
  EXPECT_EQ(r.MethodStatus, 0x19001000u);
  EXPECT_EQ(r.CipherSuite, 0x2Fu);
  EXPECT_EQ(host_.seen[1].code, static_cast<std::uint32_t>(KSSTK_MSG_PREAUTH_AUTH_REPORT));
  EXPECT_EQ(host_.seen[1].context, 3u);
}

// String requests (codes 11, 12, 22): the answer arrives converted when it fits, and the
// host's block is freed whether it fits or not.
TEST_P(LinkMessages, StringAnswers) {
  const StringForm f = form();
  char buffer[8];

  host_.answer = [f](KSSTK_CALLBACK_MESSAGE* m) {
    EXPECT_EQ(m->Code, static_cast<std::uint32_t>(KSSTK_MSG_GET_PASSWORD));
    EXPECT_EQ(m->Size, sizeof(KSSTK_GET_PASSWORD_MESSAGE));
    reinterpret_cast<KSSTK_GET_PASSWORD_MESSAGE*>(m)->Password = Answer("p\xC3\xA4ss", f);
  };
  EXPECT_TRUE(adapter_->GetPassword(0, buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "p\xC3\xA4ss");
  EXPECT_FALSE(adapter_->GetPassword(0, buffer, 5));  // 5 bytes and the NUL do not fit

  host_.answer = [](KSSTK_CALLBACK_MESSAGE* m) {
    EXPECT_EQ(m->Code, static_cast<std::uint32_t>(KSSTK_MSG_PREAUTH_GET_PASSWORD));
  };
  EXPECT_FALSE(adapter_->GetPassword(1, buffer, sizeof buffer));  // no answer

  const std::uint8_t hash[20] = {0xDE, 0xAD};
  host_.answer = [f, &hash](KSSTK_CALLBACK_MESSAGE* m) {
    auto* r = reinterpret_cast<KSSTK_GET_CERTIFICATE_TEXT_MESSAGE*>(m);
    EXPECT_EQ(m->Code, static_cast<std::uint32_t>(KSSTK_MSG_GET_CERTIFICATE_TEXT));
    EXPECT_EQ(std::memcmp(r->CertificateHash, hash, 20), 0);
    r->Text = Answer("CA one", f);
  };
  EXPECT_TRUE(adapter_->GetCertificateText(hash, buffer, sizeof buffer));
  EXPECT_STREQ(buffer, "CA one");
}

// Code 12: prompt out in the link's form; user name and password back, each into its
// 257-byte buffer: 256 characters fit, 257 do not.
TEST_P(LinkMessages, CredentialsFitTheirBuffers) {
  const StringForm f = form();
  struct Case {
    std::size_t userLength;
    bool answersPassword;
    bool granted;
  };
  const Case cases[] = {{256, true, true}, {257, true, false}, {5, false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.userLength);
    const std::string user(c.userLength, 'u');
    host_.answer = [&](KSSTK_CALLBACK_MESSAGE* m) {
      auto* r = reinterpret_cast<KSSTK_GET_CREDENTIALS_MESSAGE*>(m);
      EXPECT_EQ(Text(r->Prompt, f), "Log on to \xE2\x80\x9Cwork\xE2\x80\x9D");
      r->UserName = Answer(user.c_str(), f);
      if (c.answersPassword) r->Password = Answer("pw", f);
    };
    char userName[257] = {};
    char password[257] = {};
    EXPECT_EQ(adapter_->GetCredentials(0, "Log on to \xE2\x80\x9Cwork\xE2\x80\x9D", userName,
                                       sizeof userName, password, sizeof password),
              c.granted);
    if (c.granted) {
      EXPECT_EQ(std::string(userName), user);
      EXPECT_STREQ(password, "pw");
    } else {
      EXPECT_EQ(password[0], '\0');  // no half-granted password is left behind
    }
  }
}

// Code 13: challenge out in the link's form, bytes back unconverted.
TEST_P(LinkMessages, TokenResponseBytes) {
  const StringForm f = form();
  host_.answer = [f](KSSTK_CALLBACK_MESSAGE* m) {
    auto* r = reinterpret_cast<KSSTK_GET_TOKEN_RESPONSE_MESSAGE*>(m);
    EXPECT_EQ(Text(r->Challenge, f), "Enter next code");
    KSSTK_BLOB blob{};
    const std::uint8_t code[4] = {0x31, 0x00, 0xFF, 0x32};
    KSSTK_AllocBlob(&blob, code, 4);
    r->Response = blob.Data;
    r->ResponseLength = blob.Length;
  };
  dcfByteArray response;
  EXPECT_TRUE(adapter_->GetTokenResponse(0, "Enter next code", response));
  EXPECT_EQ(std::vector<std::uint8_t>(response.begin(), response.end()),
            (std::vector<std::uint8_t>{0x31, 0x00, 0xFF, 0x32}));
  host_.answer = nullptr;
  EXPECT_FALSE(adapter_->GetTokenResponse(0, "again", response));
  EXPECT_EQ(host_.seen.back().code, static_cast<std::uint32_t>(KSSTK_MSG_GET_TOKEN_RESPONSE));
}

// Code 21: the signature comes back when it fits; a refusal, an answer that is too long,
// or an unknown key kind fails; every answer block is freed.
TEST_P(LinkMessages, PrivateKeyOperation) {
  const std::uint8_t hash[20] = {0x11};
  const std::uint8_t digest[36] = {0x22};
  struct Case {
    const char* name;
    char kind;
    std::uint32_t failed;
    std::uint32_t answerLength;
    bool ok;
    std::uint32_t outLength;
  };
  const Case cases[] = {
      {"RSA signature", 'r', 0, 64, true, 64},
      {"DSA signature", 't', 0, 40, true, 40},
      {"host refuses", 'r', 1, 64, false, 0},
      {"answer too long", 'r', 0, 129, false, 0},
      {"no answer", 'r', 0, 0, true, 0},
      {"unknown key kind", 'x', 0, 64, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    host_.seen.clear();
    host_.answer = [&](KSSTK_CALLBACK_MESSAGE* m) {
      auto* r = reinterpret_cast<KSSTK_PRIVATE_KEY_OPERATION_MESSAGE*>(m);
      EXPECT_EQ(r->KeyKind, c.kind == 'r' ? 1u : 2u);
      EXPECT_EQ(std::memcmp(r->CertificateHash, hash, 20), 0);
      EXPECT_EQ(r->Digest, digest);
      EXPECT_EQ(r->DigestLength, 36u);
      EXPECT_EQ(r->RequestValues[0], 7u);
      EXPECT_EQ(r->RequestValues[1], 9u);
      r->Failed = c.failed;
      if (c.answerLength > 0) {
        void* block = nullptr;
        KSSTK_Alloc(c.answerLength, &block);
        std::memset(block, 0x5A, c.answerLength);
        r->Answer = static_cast<uint8_t*>(block);
        r->AnswerLength = c.answerLength;
      }
    };
    std::uint8_t out[128] = {};
    std::uint32_t outLength = 99;
    EXPECT_EQ(adapter_->PrivateKeyOperation(5, c.kind, 1024, hash, digest, 36, 7, 9, out,
                                            sizeof out, outLength),
              c.ok);
    EXPECT_EQ(outLength, c.outLength);
    if (c.kind == 'x') {
      EXPECT_TRUE(host_.seen.empty());
    } else {
      EXPECT_EQ(Only().code, static_cast<std::uint32_t>(KSSTK_MSG_PREAUTH_PRIVATE_KEY_OPERATION));
      EXPECT_EQ(Only().size, sizeof(KSSTK_PRIVATE_KEY_OPERATION_MESSAGE));
    }
  }
}

// Code 14: the chain travels as a list handle; the verdict arrives pre-filled with "no
// answer". A host's verdict stands (0 accepts explicitly); a host that leaves it, or a link
// without host callback, gets the library's own judgement, which trusts nothing the chain
// engine does not.
TEST_P(LinkMessages, ServerChainVerdicts) {
  const std::uint8_t server[3] = {0x30, 0x01, 0x01};
  const std::uint8_t issuer[3] = {0x30, 0x01, 0x02};
  const DerCertificate chain[2] = {{server, 3}, {issuer, 3}};
  fake_cert::Cert built{{0x30, 0x00}};
  utility_.engine.chain.certs = {&built};
  utility_.engine.chain.trust = 0x20;  // the engine does not trust the root

  struct Case {
    const char* name;
    bool callback;
    std::function<void(KSSTK_VALIDATE_SERVER_CERT_MESSAGE&)> host;
    std::uint32_t verdict;
  };
  const Case cases[] = {
      {"host accepts", true, [](auto& r) { r.Verdict = KSSTK_CHAIN_TRUSTED; }, 0},
      {"host rejects", true, [](auto& r) { r.Verdict = KSSTK_CHAIN_EXPIRED; }, 2},
      {"host ignores the message", true, [](auto&) {}, KSSTK_CHAIN_UNTRUSTED_ROOT},
      {"host asks the library", true, [](auto& r) {
         EXPECT_EQ(KSSTK_ProcessCallbackA(&r.Header), 0); }, KSSTK_CHAIN_UNTRUSTED_ROOT},
      {"no host callback", false, nullptr, KSSTK_CHAIN_UNTRUSTED_ROOT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    host_.seen.clear();
    adapter_->SetHost(c.callback ? HostCallback : nullptr, kUser);
    host_.answer = [&](KSSTK_CALLBACK_MESSAGE* m) {
      auto& r = *reinterpret_cast<KSSTK_VALIDATE_SERVER_CERT_MESSAGE*>(m);
      EXPECT_EQ(r.Verdict, LinkCallbackAdapter::kNoVerdict);
      uint32_t count = 0;
      EXPECT_EQ(KSSTK_CERT_LIST_GetNumCerts(r.Chain, &count), 0);
      EXPECT_EQ(count, 2u);
      c.host(r);
    };
    EXPECT_EQ(adapter_->ValidateServerChain(0, chain, 2), c.verdict);
    if (c.callback) {
      EXPECT_EQ(Only().code, static_cast<std::uint32_t>(KSSTK_MSG_VALIDATE_SERVER_CERT));
      EXPECT_EQ(Only().size, sizeof(KSSTK_VALIDATE_SERVER_CERT_MESSAGE));
    }
  }
  EXPECT_TRUE(built.Balanced());
  EXPECT_TRUE(utility_.engine.chain.Balanced());
}

// Without a host callback, reports are dropped and requests fail; the private-key
// operation succeeds with an empty answer (the key is then used locally).
TEST_P(LinkMessages, NoHostCallback) {
  adapter_->SetHost(nullptr, 0);
  char buffer[16];
  dcfByteArray bytes;
  std::uint32_t length = 5;
  const std::uint8_t hash[20] = {};
  adapter_->Status(1);
  EXPECT_FALSE(adapter_->GetPassword(0, buffer, sizeof buffer));
  EXPECT_FALSE(adapter_->GetCredentials(0, "", buffer, sizeof buffer, buffer, sizeof buffer));
  EXPECT_FALSE(adapter_->GetTokenResponse(0, "", bytes));
  EXPECT_FALSE(adapter_->GetCertificateText(hash, buffer, sizeof buffer));
  EXPECT_TRUE(adapter_->PrivateKeyOperation(0, 'r', 0, hash, hash, 20, 0, 0,
                                            reinterpret_cast<std::uint8_t*>(buffer),
                                            sizeof buffer, length));
  EXPECT_EQ(length, 0u);
  EXPECT_TRUE(host_.seen.empty());
}

INSTANTIATE_TEST_SUITE_P(BothForms, LinkMessages,
                         ::testing::Values(StringForm::Narrow, StringForm::Wide),
                         [](const auto& info) { return std::string(FormName(info.param)); });

// The 64-bit layout of the records (the 32-bit one is asserted where they are built).
TEST(MessageLayout, Lp64Offsets) {
  if (sizeof(void*) != 8) GTEST_SKIP() << "64-bit layout";
  struct Case {
    const char* field;
    std::size_t offset;
    std::size_t expected;
  };
  const Case cases[] = {
      {"header size", sizeof(KSSTK_CALLBACK_MESSAGE), 24},
      {"Handle", offsetof(KSSTK_CALLBACK_MESSAGE, Handle), 8},
      {"Context", offsetof(KSSTK_CALLBACK_MESSAGE, Context), 16},
      {"AUTH_REPORT.MethodNames", offsetof(KSSTK_AUTH_REPORT_MESSAGE, MethodNames), 48},
      {"SET_WEP_KEY.KeyMaterial", offsetof(KSSTK_SET_WEP_KEY_MESSAGE, KeyMaterial), 36},
      {"ADD_KEY.Key", offsetof(KSSTK_ADD_KEY_MESSAGE, Key), 32},
      {"ADD_KEY.Key.KeyRSC", offsetof(KSSTK_ADD_KEY_MESSAGE, Key.KeyRSC), 56},
      {"ADD_KEY.KeyMaterial", offsetof(KSSTK_ADD_KEY_MESSAGE, KeyMaterial), 64},
      {"AUTH_FAILED_NAS.NasIdentifier", offsetof(KSSTK_AUTH_FAILED_NAS_MESSAGE, NasIdentifier), 36},
      {"VALIDATE_SERVER_CERT.Verdict", offsetof(KSSTK_VALIDATE_SERVER_CERT_MESSAGE, Verdict), 32},
      {"SET_PMKID_LIST.BSSIDInfo", offsetof(KSSTK_SET_PMKID_LIST_MESSAGE, BSSIDInfo), 32},
      {"PRIVATE_KEY_OPERATION.Digest", offsetof(KSSTK_PRIVATE_KEY_OPERATION_MESSAGE, Digest), 48},
      {"PRIVATE_KEY_OPERATION.Answer", offsetof(KSSTK_PRIVATE_KEY_OPERATION_MESSAGE, Answer), 80},
      {"GET_CERTIFICATE_TEXT.Text", offsetof(KSSTK_GET_CERTIFICATE_TEXT_MESSAGE, Text), 48},
  };
  for (const Case& c : cases) EXPECT_EQ(c.offset, c.expected) << c.field;
}

}  // namespace
