#pragma once
// LinkCallbackAdapter: the link's side of LinkCallbacks. Each operation builds one host
// callback message, calls the host, reads and frees its answers. A links exchange 8-bit
// (UTF-8) strings, W links UTF-16 ones.
#include <cstdint>

#include <dcf/RefCounted.h>
#include <ksstk.h>

#include "ksSupp/api_context.h"
#include "ksSupp/link_callbacks.h"

enum class StringForm { Narrow, Wide };

// Whose messages: a link's, or an EAP-method handle's (the same records for the questions,
// under the handle's own codes, and the status notice as code 1).
enum class MessageFamily { Link, EapMethod };

class LinkCallbackAdapter : public LinkCallbacks {
public:
  // The verdict field of a server-chain message before the host answers.
  static constexpr std::uint32_t kNoVerdict = 0xFFFFFFFF;

  // link: the handle placed into every message; context: the link's context (the link
  // holds it), which makes the certificate lists of server-chain messages.
  LinkCallbackAdapter(StringForm form, RefCounted* link, ApiContext& context,
                      MessageFamily family = MessageFamily::Link)
      : form_(form), family_(family), link_(link), context_(context) {}
  // The asynchronous link derives its own adapter.
  virtual ~LinkCallbackAdapter() = default;

  void SetHost(KSSTK_CALLBACK callback, std::uintptr_t user) {
    callback_ = callback;
    user_ = user;
  }

  void Status(std::uint32_t status) override;
  void ReportAuthentication(std::uintptr_t port, const AuthReport& report) override;
  void LinkUp() override;
  void LinkDown() override;
  void Roaming() override;
  void AuthFailedNas(std::uint32_t eapType, std::uint16_t reason, const std::uint8_t bssid[6],
                     const char* nasIdentifier) override;
  void ConnectedBssid(std::uint32_t eapType, const std::uint8_t bssid[6]) override;
  void ConnectedNetwork(std::uint32_t eapType, const std::uint8_t* ssid,
                        std::uint32_t ssidLength, const std::uint8_t bssid[6]) override;
  void CckmRequest(std::uint32_t kind, const std::uint8_t* element,
                   std::uint32_t length) override;
  void CckmResult(std::uint32_t result) override;
  void AddKey(std::uint32_t selector, std::uint32_t keyIndex, const std::uint8_t* key,
              std::uint32_t keyLength, const std::uint8_t* bssid, std::uint32_t rscLow,
              std::uint32_t rscHigh) override;
  void DeleteKey(std::uint32_t keyIndex, const std::uint8_t bssid[6]) override;
  void SetWepKey(std::uint32_t keyIndex, const std::uint8_t* key,
                 std::uint32_t keyLength) override;
  void SendEapol(std::uintptr_t port, const std::uint8_t* frame, std::uint32_t length) override;
  bool GetPassword(std::uintptr_t port, char* buffer, std::uint32_t size) override;
  std::uint32_t ValidateServerChain(std::uintptr_t port, const DerCertificate* certificates,
                                    std::uint32_t count) override;
  bool GetCredentials(std::uintptr_t port, const char* prompt, char* userName,
                      std::uint32_t userNameSize, char* password,
                      std::uint32_t passwordSize) override;
  bool GetTokenResponse(std::uintptr_t port, const char* challenge,
                        dcfByteArray& response) override;
  void KeysReset(std::uintptr_t port) override;
  void LinkFailure(std::uint32_t reason) override;
  void SetPmkidList(std::uint32_t count, const PmkidEntry* entries) override;
  bool GetCertificateText(const std::uint8_t hash[20], char* buffer,
                          std::uint32_t size) override;
  bool PrivateKeyOperation(std::uintptr_t port, char keyKind, std::uint32_t keySize,
                           const std::uint8_t hash[20], const std::uint8_t* digest,
                           std::uint32_t digestLength, std::uint32_t request1,
                           std::uint32_t request2, std::uint8_t* out, std::uint32_t capacity,
                           std::uint32_t& outLength) override;

private:
  class Message;

  // Calls the host with the message; false when no callback is set.
  bool Send(Message& message);
  // Takes over a string the host answered: its UTF-8 form into buffer when it is shorter
  // than size. The host's block is wiped and freed in every case. False for no answer or
  // one that does not fit.
  bool TakeString(KSSTK_STRING& answer, char* buffer, std::uint32_t size) const;
  void HeaderOnly(std::uint32_t code);
  // The code of a question: the link's own or its pre-authentication port's, or the EAP-method
  // handle's.
  std::uint32_t QuestionCode(std::uintptr_t port, std::uint32_t own, std::uint32_t preauth,
                             std::uint32_t eapMethod) const;
  using Family = MessageFamily;
  std::uint32_t JudgeChain(CertList& list) const;

  StringForm form_;
  MessageFamily family_;
  RefCounted* link_;
  ApiContext& context_;
  KSSTK_CALLBACK callback_ = nullptr;
  std::uintptr_t user_ = 0;
};
