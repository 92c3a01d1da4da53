#include "ksSupp/link_callback_adapter.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>

#include <dcf/dcfComPtr.h>
#include <dcf/dcfWipe.h>

#include "ksSupp/export_guard.h"
#include "ksSupp/trace.h"
#include "ksSupp/wide_text.h"

namespace {

constexpr std::uint32_t kMaxKeyLength = 32;
constexpr std::uint32_t kMaxSsidLength = 32;
constexpr std::uint8_t kBroadcast[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// The code of a paired message: the first for the link's own port, the second for its
// pre-authentication port.
std::uint32_t PairCode(std::uintptr_t port, std::uint32_t own, std::uint32_t preauth) {
  return port == 0 ? own : preauth;
}

// Wipes and frees a block the host handed the library.
void FreeHostBlock(void* block, std::size_t bytes) {
  if (block == nullptr) return;
  dcfWipe(block, bytes);
  std::free(block);
}

}  // namespace

// One message: a zero-filled buffer of its size with the header written, and the UTF-16
// copies of the strings placed into it. A buffer that could not be allocated makes the
// message empty: it is not sent.
class LinkCallbackAdapter::Message {
public:
  Message(std::uint32_t size, std::uint32_t code, RefCounted* link, std::uintptr_t port)
      : buffer_(static_cast<KSSTK_CALLBACK_MESSAGE*>(std::calloc(1, size))), size_(size) {
    if (buffer_ == nullptr) return;
    buffer_->Size = size;
    buffer_->Code = code;
    buffer_->Handle = ToHandle(link);
    buffer_->Context = port;
  }
  ~Message() {
    if (buffer_ != nullptr && secret_) dcfWipe(buffer_, size_);
    std::free(buffer_);
  }
  Message(const Message&) = delete;
  Message& operator=(const Message&) = delete;

  explicit operator bool() const { return buffer_ != nullptr; }
  // The message carries key material: it is wiped before it is freed.
  void HoldsSecret() { secret_ = true; }
  KSSTK_CALLBACK_MESSAGE* Header() const { return buffer_; }
  template <class Record>
  Record& As() const {
    return *reinterpret_cast<Record*>(buffer_);
  }

  // A library string in the form of the link (null stays null).
  KSSTK_STRING String(const char* text, StringForm form) {
    KSSTK_STRING field{};
    if (text == nullptr) return field;
    if (form == StringForm::Narrow) {
      field.A = const_cast<char*>(text);  // the host only reads it
    } else {
      field.W = wide_.emplace_back(text).Get();
    }
    return field;
  }

private:
  KSSTK_CALLBACK_MESSAGE* buffer_;
  std::uint32_t size_;  // the host may overwrite the Size field, not this
  bool secret_ = false;
  std::deque<Utf16FromUtf8> wide_;
};

std::uint32_t LinkCallbackAdapter::QuestionCode(std::uintptr_t port, std::uint32_t own,
                                                std::uint32_t preauth, std::uint32_t eapMethod) const {
  return family_ == Family::EapMethod ? eapMethod : PairCode(port, own, preauth);
}

bool LinkCallbackAdapter::Send(Message& message) {
  if (!message) {
    if (TraceEnabled(TraceLevel::Error)) {
      traceError(TraceCategory::Interface, nullptr, 0, "No memory for host message\n");
    }
    return false;
  }
  if (callback_ == nullptr) return false;
  callback_(user_, message.Header());
  return true;
}

bool LinkCallbackAdapter::TakeString(KSSTK_STRING& answer, char* buffer,
                                     std::uint32_t size) const {
  bool taken = false;
  if (form_ == StringForm::Narrow) {
    char* text = answer.A;
    if (text == nullptr) return false;
    const std::size_t length = std::strlen(text);
    if (length < size) {
      std::memcpy(buffer, text, length + 1);
      taken = true;
    }
    FreeHostBlock(text, length);
  } else {
    KSSTK_WCHAR* text = answer.W;
    if (text == nullptr) return false;
    std::size_t units = 0;
    while (text[units] != 0) ++units;
    {
      const Utf8FromWide utf8(text);
      if (utf8.Length() < size) {
        std::memcpy(buffer, utf8.Get(), utf8.Length() + 1);
        taken = true;
      }
    }
    FreeHostBlock(text, units * sizeof(KSSTK_WCHAR));
  }
  answer.A = nullptr;
  return taken;
}

void LinkCallbackAdapter::HeaderOnly(std::uint32_t code) {
  Message message(sizeof(KSSTK_CALLBACK_MESSAGE), code, link_, 0);
  Send(message);
}

void LinkCallbackAdapter::Status(std::uint32_t status) {
  Message message(sizeof(KSSTK_LINK_STATUS_MESSAGE), KSSTK_MSG_LINK_STATUS, link_, 0);
  if (message) message.As<KSSTK_LINK_STATUS_MESSAGE>().Status = status;
  Send(message);
}

void LinkCallbackAdapter::ReportAuthentication(std::uintptr_t port, const AuthReport& report) {
  Message message(sizeof(KSSTK_AUTH_REPORT_MESSAGE),
                  PairCode(port, KSSTK_MSG_AUTH_REPORT, KSSTK_MSG_PREAUTH_AUTH_REPORT), link_,
                  port);
  if (message) {
    auto& record = message.As<KSSTK_AUTH_REPORT_MESSAGE>();
    record.Authorized = report.authorized ? 1 : 0;
    record.PaeState = report.paeState;
    record.AuthenticatedWithoutAuthenticator = report.authenticatedWithoutAuthenticator ? 1 : 0;
    record.MethodStatus = report.methodStatus;
    record.CipherSuite = report.cipherSuite;
    // Empty texts travel as null pointers.
    auto text = [](const char* value) { return value != nullptr && *value != '\0' ? value : nullptr; };
    record.MethodNames = message.String(text(report.methodNames), form_);
    record.IdentityRequestText = message.String(text(report.identityRequestText), form_);
    record.NotificationText = message.String(text(report.notificationText), form_);
  }
  Send(message);
}

void LinkCallbackAdapter::LinkUp() { HeaderOnly(KSSTK_MSG_LINK_UP); }
void LinkCallbackAdapter::LinkDown() { HeaderOnly(KSSTK_MSG_LINK_DOWN); }
void LinkCallbackAdapter::Roaming() { HeaderOnly(KSSTK_MSG_ROAMING); }

void LinkCallbackAdapter::KeysReset(std::uintptr_t port) {
  Message message(sizeof(KSSTK_CALLBACK_MESSAGE),
                  PairCode(port, KSSTK_MSG_KEYS_RESET, KSSTK_MSG_PREAUTH_KEYS_RESET), link_, port);
  Send(message);
}

void LinkCallbackAdapter::AuthFailedNas(std::uint32_t eapType, std::uint16_t reason,
                                        const std::uint8_t bssid[6], const char* nasIdentifier) {
  Message message(sizeof(KSSTK_AUTH_FAILED_NAS_MESSAGE), KSSTK_MSG_AUTH_FAILED_NAS, link_, 0);
  if (message) {
    auto& record = message.As<KSSTK_AUTH_FAILED_NAS_MESSAGE>();
    record.EapType = eapType;
    record.Reason = reason;
    std::memcpy(record.Bssid, bssid, sizeof record.Bssid);
    if (nasIdentifier != nullptr) {
      // NUL-padded, and not terminated when it fills the field.
      const std::size_t length = strnlen(nasIdentifier, sizeof record.NasIdentifier);
      std::memcpy(record.NasIdentifier, nasIdentifier, length);
    }
  }
  Send(message);
}

void LinkCallbackAdapter::ConnectedBssid(std::uint32_t eapType, const std::uint8_t bssid[6]) {
  Message message(sizeof(KSSTK_CONNECTED_BSSID_MESSAGE), KSSTK_MSG_CONNECTED_BSSID, link_, 0);
  if (message) {
    auto& record = message.As<KSSTK_CONNECTED_BSSID_MESSAGE>();
    record.EapType = eapType;
    std::memcpy(record.Bssid, bssid, sizeof record.Bssid);
  }
  Send(message);
}

void LinkCallbackAdapter::ConnectedNetwork(std::uint32_t eapType, const std::uint8_t* ssid,
                                           std::uint32_t ssidLength,
                                           const std::uint8_t bssid[6]) {
  Message message(sizeof(KSSTK_CONNECTED_NETWORK_MESSAGE), KSSTK_MSG_CONNECTED_NETWORK, link_, 0);
  if (message) {
    auto& record = message.As<KSSTK_CONNECTED_NETWORK_MESSAGE>();
    record.EapType = eapType;
    record.SsidLength = std::min(ssidLength, kMaxSsidLength);
    if (record.SsidLength > 0) std::memcpy(record.Ssid, ssid, record.SsidLength);
    std::memcpy(record.Bssid, bssid, sizeof record.Bssid);
  }
  Send(message);
}

void LinkCallbackAdapter::CckmRequest(std::uint32_t kind, const std::uint8_t* element,
                                      std::uint32_t length) {
  if (element == nullptr) length = 0;
  Message message(sizeof(KSSTK_CCKM_REQUEST_MESSAGE) + length, KSSTK_MSG_CCKM_REQUEST, link_, 0);
  if (message) {
    auto& record = message.As<KSSTK_CCKM_REQUEST_MESSAGE>();
    record.Kind = kind;
    record.ElementLength = length;
    if (length > 0) std::memcpy(record.Element, element, length);
  }
  Send(message);
}

void LinkCallbackAdapter::CckmResult(std::uint32_t result) {
  Message message(sizeof(KSSTK_CCKM_RESULT_MESSAGE), KSSTK_MSG_CCKM_RESULT, link_, 0);
  if (message) message.As<KSSTK_CCKM_RESULT_MESSAGE>().Result = result;
  Send(message);
}

void LinkCallbackAdapter::AddKey(std::uint32_t selector, std::uint32_t keyIndex,
                                 const std::uint8_t* key, std::uint32_t keyLength,
                                 const std::uint8_t* bssid, std::uint32_t rscLow,
                                 std::uint32_t rscHigh) {
  const std::uint32_t length = std::min(keyLength, kMaxKeyLength);
  Message message(sizeof(KSSTK_ADD_KEY_MESSAGE) + length, KSSTK_MSG_ADD_KEY, link_, 0);
  if (message) {
    auto& record = message.As<KSSTK_ADD_KEY_MESSAGE>();
    record.CipherSuite = selector;
    record.Key.Length = length + sizeof record.Key;
    record.Key.KeyIndex = keyIndex;
    record.Key.KeyLength = length;
    std::memcpy(record.Key.BSSID, bssid != nullptr ? bssid : kBroadcast, sizeof record.Key.BSSID);
    record.Key.KeyRSC = (std::uint64_t{rscHigh} << 32) | rscLow;
    if (key != nullptr && length > 0) std::memcpy(record.KeyMaterial, key, length);
  }
  message.HoldsSecret();
  Send(message);
}

void LinkCallbackAdapter::DeleteKey(std::uint32_t keyIndex, const std::uint8_t bssid[6]) {
  Message message(sizeof(KSSTK_REMOVE_KEY_MESSAGE), KSSTK_MSG_REMOVE_KEY, link_, 0);
  if (message) {
    auto& record = message.As<KSSTK_REMOVE_KEY_MESSAGE>();
    record.Key.Length = sizeof record.Key;
    record.Key.KeyIndex = keyIndex;
    std::memcpy(record.Key.BSSID, bssid, sizeof record.Key.BSSID);
  }
  Send(message);
}

void LinkCallbackAdapter::SetWepKey(std::uint32_t keyIndex, const std::uint8_t* key,
                                    std::uint32_t keyLength) {
  const std::uint32_t length = key != nullptr ? std::min(keyLength, kMaxKeyLength) : 0;
  Message message(sizeof(KSSTK_SET_WEP_KEY_MESSAGE) + length, KSSTK_MSG_SET_WEP_KEY, link_, 0);
  if (message) {
    auto& record = message.As<KSSTK_SET_WEP_KEY_MESSAGE>();
    record.Wep.Length = length + sizeof record.Wep;
    record.Wep.KeyIndex = keyIndex;
    record.Wep.KeyLength = length;
    if (length > 0) std::memcpy(record.KeyMaterial, key, length);
  }
  message.HoldsSecret();
  Send(message);
}

void LinkCallbackAdapter::SendEapol(std::uintptr_t port, const std::uint8_t* frame,
                                    std::uint32_t length) {
  Message message(sizeof(KSSTK_SEND_EAPOL_MESSAGE),
                  PairCode(port, KSSTK_MSG_SEND_EAPOL, KSSTK_MSG_SEND_PREAUTH_EAPOL), link_, port);
  if (message) {
    auto& record = message.As<KSSTK_SEND_EAPOL_MESSAGE>();
    record.Frame = frame;
    record.FrameLength = length;
  }
  Send(message);
}

void LinkCallbackAdapter::LinkFailure(std::uint32_t reason) {
  Message message(sizeof(KSSTK_LINK_FAILURE_MESSAGE), KSSTK_MSG_LINK_FAILURE, link_, 0);
  if (message) message.As<KSSTK_LINK_FAILURE_MESSAGE>().Reason = reason;
  Send(message);
}

void LinkCallbackAdapter::SetPmkidList(std::uint32_t count, const PmkidEntry* entries) {
  if (entries == nullptr) count = 0;
  const std::size_t tail = std::size_t{count} * sizeof(KSSTK_BSSID_INFO);
  Message message(static_cast<std::uint32_t>(sizeof(KSSTK_SET_PMKID_LIST_MESSAGE) + tail),
                  KSSTK_MSG_SET_PMKID_LIST, link_, 0);
  if (message) {
    auto& record = message.As<KSSTK_SET_PMKID_LIST_MESSAGE>();
    record.Pmkid.Length = static_cast<std::uint32_t>(sizeof record.Pmkid + tail);
    record.Pmkid.BSSIDInfoCount = count;
    for (std::uint32_t i = 0; i < count; ++i) {
      std::memcpy(record.BSSIDInfo[i].BSSID, entries[i].bssid, sizeof entries[i].bssid);
      std::memcpy(record.BSSIDInfo[i].PMKID, entries[i].pmkid, sizeof entries[i].pmkid);
    }
  }
  Send(message);
}

bool LinkCallbackAdapter::GetPassword(std::uintptr_t port, char* buffer, std::uint32_t size) {
  Message message(sizeof(KSSTK_GET_PASSWORD_MESSAGE),
                  QuestionCode(port, KSSTK_MSG_GET_PASSWORD, KSSTK_MSG_PREAUTH_GET_PASSWORD, KSSTK_MSG_EAP_GET_PASSWORD), link_,
                  port);
  if (!Send(message)) return false;
  return TakeString(message.As<KSSTK_GET_PASSWORD_MESSAGE>().Password, buffer, size);
}

bool LinkCallbackAdapter::GetCredentials(std::uintptr_t port, const char* prompt,
                                         char* userName, std::uint32_t userNameSize,
                                         char* password, std::uint32_t passwordSize) {
  Message message(sizeof(KSSTK_GET_CREDENTIALS_MESSAGE),
                  QuestionCode(port, KSSTK_MSG_GET_CREDENTIALS, KSSTK_MSG_PREAUTH_GET_CREDENTIALS,
                               KSSTK_MSG_EAP_GET_CREDENTIALS),
                  link_, port);
  if (!message) return false;
  auto& record = message.As<KSSTK_GET_CREDENTIALS_MESSAGE>();
  record.Prompt = message.String(prompt != nullptr ? prompt : "", form_);
  if (!Send(message)) return false;
  // Both answers are taken (and freed) whatever becomes of the other.
  const bool user = TakeString(record.UserName, userName, userNameSize);
  const bool secret = TakeString(record.Password, password, passwordSize);
  if (user && secret) return true;
  if (secret) dcfWipe(password, passwordSize);
  return false;
}

bool LinkCallbackAdapter::GetTokenResponse(std::uintptr_t port, const char* challenge,
                                           dcfByteArray& response) {
  Message message(sizeof(KSSTK_GET_TOKEN_RESPONSE_MESSAGE),
                  QuestionCode(port, KSSTK_MSG_GET_TOKEN_RESPONSE,
                               KSSTK_MSG_PREAUTH_GET_TOKEN_RESPONSE, KSSTK_MSG_EAP_GET_TOKEN_RESPONSE),
                  link_, port);
  if (!message) return false;
  auto& record = message.As<KSSTK_GET_TOKEN_RESPONSE_MESSAGE>();
  record.Challenge = message.String(challenge != nullptr ? challenge : "", form_);
  if (!Send(message)) return false;
  if (record.Response == nullptr) return false;
  bool taken = true;
  try {
    response.Assign(record.Response, record.ResponseLength);
  } catch (const std::bad_alloc&) {
    taken = false;
  }
  FreeHostBlock(record.Response, record.ResponseLength);
  record.Response = nullptr;
  return taken;
}

std::uint32_t LinkCallbackAdapter::JudgeChain(CertList& list) const {
  try {
    CertList* built = nullptr;
    const std::int32_t verdict = list.BuildChain(&built);
    if (built != nullptr) built->Release();
    return static_cast<std::uint32_t>(verdict);
  } catch (const dcfException& exception) {
    TraceCaughtException("server chain validation", exception);
  } catch (...) {
    TraceCaughtException("server chain validation", "exception");
  }
  return KSSTK_CHAIN_OTHER_FAILURE;
}

std::uint32_t LinkCallbackAdapter::ValidateServerChain(std::uintptr_t port,
                                                       const DerCertificate* certificates,
                                                       std::uint32_t count) {
  try {
    dcfComPtr<CertList> list;
    list.Attach(context_.CreateCertList(certificates, count));
    Message message(sizeof(KSSTK_VALIDATE_SERVER_CERT_MESSAGE),
                    QuestionCode(port, KSSTK_MSG_VALIDATE_SERVER_CERT,
                                 KSSTK_MSG_PREAUTH_VALIDATE_SERVER_CERT, KSSTK_MSG_EAP_VALIDATE_SERVER_CERT),
                    link_, port);
    std::uint32_t verdict = kNoVerdict;
    if (message) {
      auto& record = message.As<KSSTK_VALIDATE_SERVER_CERT_MESSAGE>();
      record.Chain = ToHandle(list.Get());
      record.Verdict = kNoVerdict;
      Send(message);
      verdict = record.Verdict;
    }
    // A host that gave no verdict does not trust the chain by silence: the library judges
    // it, and trusts it only when the chain engine does.
    if (verdict == kNoVerdict) verdict = JudgeChain(*list);
    return verdict;
  } catch (...) {
    TraceCaughtException("server chain message", "exception");
    return KSSTK_CHAIN_OTHER_FAILURE;
  }
}

bool LinkCallbackAdapter::GetCertificateText(const std::uint8_t hash[20], char* buffer,
                                             std::uint32_t size) {
  Message message(sizeof(KSSTK_GET_CERTIFICATE_TEXT_MESSAGE), KSSTK_MSG_GET_CERTIFICATE_TEXT,
                  link_, 0);
  if (!message) return false;
  auto& record = message.As<KSSTK_GET_CERTIFICATE_TEXT_MESSAGE>();
  std::memcpy(record.CertificateHash, hash, sizeof record.CertificateHash);
  if (!Send(message)) return false;
  return TakeString(record.Text, buffer, size);
}

bool LinkCallbackAdapter::PrivateKeyOperation(std::uintptr_t port, char keyKind,
                                              std::uint32_t /*keySize*/,
                                              const std::uint8_t hash[20],
                                              const std::uint8_t* digest,
                                              std::uint32_t digestLength,
                                              std::uint32_t request1, std::uint32_t request2,
                                              std::uint8_t* out, std::uint32_t capacity,
                                              std::uint32_t& outLength) {
  outLength = 0;
  std::uint32_t kind = 0;
  if (keyKind == 'r') kind = KSSTK_KEY_KIND_RSA;
  if (keyKind == 't') kind = KSSTK_KEY_KIND_DSA;
  if (kind == 0) return false;  // no such request is sent

  Message message(sizeof(KSSTK_PRIVATE_KEY_OPERATION_MESSAGE),
                  QuestionCode(port, KSSTK_MSG_PRIVATE_KEY_OPERATION,
                               KSSTK_MSG_PREAUTH_PRIVATE_KEY_OPERATION, KSSTK_MSG_EAP_SIGN),
                  link_, port);
  if (!message) return false;
  auto& record = message.As<KSSTK_PRIVATE_KEY_OPERATION_MESSAGE>();
  record.KeyKind = kind;
  std::memcpy(record.CertificateHash, hash, sizeof record.CertificateHash);
  record.Digest = digest;
  record.DigestLength = digestLength;
  record.RequestValues[0] = request1;
  record.RequestValues[1] = request2;
  Send(message);

  bool failed = record.Failed != 0;
  if (!failed && record.AnswerLength > 0) {
    if (record.Answer == nullptr || record.AnswerLength > capacity) {
      failed = true;
    } else {
      std::memcpy(out, record.Answer, record.AnswerLength);
      outLength = record.AnswerLength;
    }
  }
  std::free(record.Answer);
  record.Answer = nullptr;
  return !failed;
}
