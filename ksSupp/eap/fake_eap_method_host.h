// A scripted EapMethodHost for tests of the runner and the methods: set the user's names,
// password and the answers the "user" gives; read back what the methods asked.
#pragma once

#include <collections/dcfByteArray.h>
#include <strings/dcfString.h>

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ksLib_OSSL/openssl_eap_tls_peer.h"
#include "ksSupp/eap_method_host.h"
#include "ksSupp/eap_type_list.h"

class FakeEapMethodHost : public EapMethodHost, public EapMethodHostServices {
 public:
  // Script.
  std::string userName;
  std::string outerName;
  std::string windowsUserName;
  std::optional<std::string> password;  // nullopt: none stored and the owner declines
  bool hasIdentityPassword = false;
  std::optional<std::array<std::uint8_t, 16>> lmHash;
  std::optional<std::array<std::uint8_t, 16>> ntHash;
  // One answer per prompt, in order; nullopt or an empty queue declines.
  std::deque<std::optional<std::string>> challengeAnswers;
  std::deque<std::optional<std::string>> tokens;
  std::deque<std::optional<std::pair<std::string, std::string>>> credentials;

  // Record.
  std::vector<std::string> challengesShown;
  std::vector<std::string> credentialMessages;
  std::vector<std::string> notifications;
  std::vector<std::uint32_t> notices;
  unsigned passwordRequests = 0;
  unsigned succeededNotices = 0;

  // TLS: peers are made on tlsContext (none: this host has no TLS credential) unless
  // tlsCredentialStatus says the credential failed; the "user" judges every server chain
  // with chainVerdict.
  TlsContext* tlsContext = nullptr;  // not owned
  std::uint32_t tlsCredentialStatus = 0;
  std::uint32_t tlsResumptionTimeout = 3600;
  ChainVerdict chainVerdict = 0;
  unsigned chainsJudged = 0;
  std::vector<std::pair<std::uint32_t, bool>> tlsPeersAsked;  // {EAP type, with certificate}
  std::uint32_t peapHighestVersion = 1;
  // The tunnels' inner conversations.
  EapTypeList ttlsTypes;
  EapTypeList peapTypes;
  std::uint32_t ttlsInnerProtocol = 0;

  const EapTypeList* InnerEapTypes(std::uint32_t tunnelType) override {
    return tunnelType == 21 ? &ttlsTypes : tunnelType == 25 ? &peapTypes : nullptr;
  }
  std::uint32_t GetTtlsInnerAuthProtocol() const override { return ttlsInnerProtocol; }

  std::uint32_t CreateTlsPeer(std::uint32_t eapType, bool withCertificate,
                              EapTlsPeer** peer) override {
    *peer = nullptr;
    tlsPeersAsked.emplace_back(eapType, withCertificate);
    if (tlsCredentialStatus != 0) return tlsCredentialStatus;
    OpenSslEapTlsPeer* made = nullptr;
    if (tlsContext == nullptr || tlsContext->CreatePeer(&made) != 0) return 0x6000;
    const char* name = eapType == 13 ? "tls" : eapType == 21 ? "ttls" : "peap";
    if (made->EnableEapType(name) != 0 || made->SetPeapVersionRange(0, peapHighestVersion) != 0 ||
        made->SetMaxMessageSize(65536) != 0 ||
        made->SetSessionResumptionTimeout(tlsResumptionTimeout) != 0 ||
        made->CreateConnection() != 0 || made->SetChainVerifyHook(Judge, this) != 0) {
      made->Release();
      return 0x6000;
    }
    *peer = made;
    return 0;
  }

  EapMethodHostServices* Services() override { return this; }
  void AppendNotification(const char* text, std::uint32_t length) override {
    notifications.emplace_back(text, length);
  }

  const char* GetUserName() override { return userName.c_str(); }
  const char* GetOuterName() override { return outerName.c_str(); }
  const char* GetWindowsUserName() override { return windowsUserName.c_str(); }
  const char* GetPassword() override {
    ++passwordRequests;
    return password ? password->c_str() : nullptr;
  }
  const std::uint8_t* GetLmPasswordHash() override { return lmHash ? lmHash->data() : nullptr; }
  const std::uint8_t* GetNtPasswordHash() override { return ntHash ? ntHash->data() : nullptr; }
  bool AnswerChallenge(const char* text, std::uint32_t length, dcfByteArray& answer) override {
    challengesShown.emplace_back(text, length);
    return Next(challengeAnswers, answer);
  }
  bool GetToken(dcfByteArray& token) override { return Next(tokens, token); }
  bool CredentialPrompt(const char* message, dcfString& first, dcfString& second) override {
    credentialMessages.emplace_back(message != nullptr ? message : "");
    std::optional<std::pair<std::string, std::string>> answer;
    if (!credentials.empty()) {
      answer = credentials.front();
      credentials.pop_front();
    }
    if (!answer) {
      second.Assign("");
      return false;
    }
    first.Assign(answer->first.c_str());
    second.Assign(answer->second.c_str());
    password = answer->second;
    return true;
  }
  bool HasIdentityPassword() override { return hasIdentityPassword; }
  void Notice(std::uint32_t code) override { notices.push_back(code); }
  void NotifyMethodSucceeded(std::uint32_t) override { ++succeededNotices; }

 private:
  static ChainVerdict Judge(void* argument, const DerCertificate*, std::uint32_t) {
    auto* host = static_cast<FakeEapMethodHost*>(argument);
    ++host->chainsJudged;
    return host->chainVerdict;
  }
  static bool Next(std::deque<std::optional<std::string>>& answers, dcfByteArray& out) {
    if (answers.empty()) return false;
    std::optional<std::string> answer = std::move(answers.front());
    answers.pop_front();
    if (!answer) return false;
    out.Assign(reinterpret_cast<const std::uint8_t*>(answer->data()),
               static_cast<std::uint32_t>(answer->size()));
    return true;
  }
};
