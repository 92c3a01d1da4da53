#include "ksSupp/eapol/supplicant_pae.h"

#include <dcf/dcfWipe.h>

#include <cstring>

#include "ksSupp/eap/eap_status.h"
#include <dcf/dcfEapHeader.h>
#include "ksSupp/eapol/eapol_frame.h"
#include "ksSupp/eapol/pae_method_host.h"
#include "ksSupp/identity.h"
#include "ksSupp/trace.h"

namespace {

constexpr std::uint32_t kNoCredentialStatus = kEapNoCredential;
constexpr std::uint32_t kRejectedStatus = kEapRejected;
constexpr std::uint32_t kTtlsOnly = kEapTypeTtls;

bool SameBytes(const dcfByteArray& a, const dcfByteArray& b) {
  return a.Length() == b.Length() &&
         (a.Length() == 0 || std::memcmp(a.Data(), b.Data(), a.Length()) == 0);
}

}  // namespace

bool SupplicantPae::Report::operator==(const Report& other) const {
  return state == other.state && authorized == other.authorized &&
         noAuthenticator == other.noAuthenticator &&
         std::strcmp(methodNames.CStr(), other.methodNames.CStr()) == 0 &&
         status == other.status && cipherSuite == other.cipherSuite &&
         std::strcmp(identityRequest.CStr(), other.identityRequest.CStr()) == 0 &&
         std::strcmp(notifications.CStr(), other.notifications.CStr()) == 0;
}

SupplicantPae::SupplicantPae(PaeServices& owner) : owner_(owner) {}

SupplicantPae::~SupplicantPae() { ReleaseMethod(); }

void SupplicantPae::SetIdentity(Identity* identity) { identity_.Assign(identity); }

// ---- State machine ----

void SupplicantPae::Step() {
  // Every pass either enters a state that settles or waits; the bound only guards against
  // a cycle that no input should be able to make.
  for (int pass = 0; pass < 64; ++pass) {
    if (!StepOnce()) return;
  }
  if (TraceEnabled(TraceLevel::Error)) {
    traceError(TraceCategory::Eap, nullptr, 0, "Supplicant state machine did not settle\n");
  }
}

bool SupplicantPae::StepOnce() {
  if (!portActive_ || initialize_) {
    Enter(kDisconnected);
    return false;
  }
  if (eapFail_) {
    Enter(kHeld);
    return true;
  }
  if (eapSuccess_) {
    noAuthenticator_ = false;
    Enter(kAuthenticated);
    return true;
  }
  return Dispatch();
}

bool SupplicantPae::Dispatch() {
  switch (state_) {
    case kNone:
    case kLogoff:
    case kDisconnected:
      Enter(kDisconnected);
      return state_ != kDisconnected;
    case kHeld:
      if (reqId_) return Enter(kAcquired), true;
      if (heldWhile_ == 0) return Enter(kConnecting), true;
      return false;
    case kConnecting:
      if (reqId_) return Enter(kAcquired), true;
      if (startWhen_ != 0) return false;
      if (startCount_ < constants_.maxStart) return ConnectingAction(), true;
      if (constants_.authenticatedAfterMaxStart) {
        noAuthenticator_ = true;
        return Enter(kAuthenticated), true;
      }
      NoAuthenticator();
      startCount_ = 0;
      startWhen_ = constants_.startPeriod;
      return false;
    case kAcquired:
    case kAuthenticating:
      if (reqId_) return Enter(kAcquired), true;
      if (reqAuth_) return Enter(kAuthenticating), true;
      if (authWhile_ == 0) return Enter(kConnecting), true;
      return false;
    case kAuthenticated:
      if (reqId_) return Enter(kAcquired), true;
      if (reauthenticate_) return Enter(kConnecting), true;
      return false;
  }
  return false;
}

void SupplicantPae::Enter(State state) {
  state_ = state;
  switch (state) {
    case kNone:
    case kLogoff:
      return;
    case kDisconnected:
      eapSuccess_ = eapFail_ = suppStatus_ = noAuthenticator_ = false;
      startCount_ = 0;
      previousId_ = kNoPreviousId;
      StateEntered(kDisconnected);
      if (portActive_ && !initialize_) {
        firstStart_ = true;
        Enter(kConnecting);
      }
      return;
    case kConnecting:
      startCount_ = 0;
      reqId_ = false;
      StateEntered(kConnecting);
      if (!eapFail_) ConnectingAction();
      return;
    case kAcquired: {
      authWhile_ = constants_.authPeriod;
      startCount_ = 0;
      reqId_ = reqAuth_ = false;
      const std::uint32_t previous = previousId_;
      previousId_ = receivedId_;
      // Reported (and the earlier method released) before the new method host is made.
      StateEntered(kAcquired);
      TxRspId(receivedId_, previous);
      return;
    }
    case kAuthenticating: {
      authWhile_ = constants_.authPeriod;
      reqAuth_ = false;
      const std::uint32_t previous = previousId_;
      previousId_ = receivedId_;
      StateEntered(kAuthenticating);
      TxRspAuth(receivedId_, previous);
      return;
    }
    case kHeld:
      heldWhile_ = constants_.heldPeriod;
      eapFail_ = eapSuccess_ = suppStatus_ = noAuthenticator_ = false;
      firstStart_ = false;
      StateEntered(kHeld);
      return;
    case kAuthenticated:
      eapSuccess_ = eapFail_ = reauthenticate_ = false;
      suppStatus_ = true;
      StateEntered(kAuthenticated);
      return;
  }
}

void SupplicantPae::ConnectingAction() {
  if (firstStart_) {
    startWhen_ = constants_.firstStartDelay;
    firstStart_ = false;
    return;
  }
  startWhen_ = constants_.startPeriod;
  ++startCount_;
  TxStart();
}

void SupplicantPae::SetPortActive(bool active) {
  portActive_ = active;
  Step();
}

void SupplicantPae::SetInitialize(bool initialize) {
  initialize_ = initialize;
  Step();
}

std::uint32_t SupplicantPae::Reauthenticate() {
  constexpr std::uint32_t kSoon = 1000;
  for (std::uint32_t* timer : {&authWhile_, &heldWhile_, &startWhen_}) {
    if (*timer > kSoon) *timer = kSoon;
  }
  reauthenticate_ = true;
  return kSoon;
}

void SupplicantPae::FastReconnect(const char* label) {
  fastReconnectLabel_ = label;
  initialize_ = false;
  eapSuccess_ = true;
  Step();
  fastReconnectLabel_ = nullptr;
}

bool SupplicantPae::SynthesizeSuccess() {
  if (state_ == kAuthenticating) {
    if (TraceEnabled(TraceLevel::Event)) {
      traceEvent(TraceCategory::Eap, nullptr, 0,
                 "EAP-Success apparently dropped; creating synthetic EAP-Success\n");
    }
    eapSuccess_ = true;
    Step();
  }
  return suppStatus_;
}

// ---- Timers ----

void SupplicantPae::ElapseTime(std::uint32_t milliseconds) {
  for (std::uint32_t* timer : {&authWhile_, &heldWhile_, &startWhen_}) {
    *timer = *timer > milliseconds ? *timer - milliseconds : 0;
  }
}

void SupplicantPae::NextTimeout(std::uint32_t& milliseconds) const {
  for (std::uint32_t timer : {authWhile_, heldWhile_, startWhen_}) {
    if (timer != 0 && timer < milliseconds) milliseconds = timer;
  }
}

void SupplicantPae::CompensateTime(std::uint32_t milliseconds) {
  if (milliseconds != 0 && authWhile_ != 0) authWhile_ += milliseconds;
}

// ---- EAP packets ----

void SupplicantPae::ReceiveEap(const std::uint8_t* packet, std::uint32_t length) {
  std::uint8_t code = 0;
  std::uint8_t id = 0;
  std::uint16_t eapLength = 0;
  const bool typed = length >= 1 && (packet[0] == kEapCodeRequest || packet[0] == kEapCodeResponse);
  if (!ParseEapHeader(packet, length, code, id, eapLength) ||
      (typed && eapLength < kEapTypedHeaderSize)) {
    if (TraceEnabled(TraceLevel::Error)) {
      traceError(TraceCategory::Eap, nullptr, 0,
                 "Discarding EAPOL packet: error parsing EAP payload\n");
    }
    return;
  }
  const bool traced = TraceEnabled(TraceLevel::Event);
  const unsigned c = code, i = id, n = eapLength;
  switch (code) {
    case kEapCodeRequest: {
      const std::uint8_t type = packet[4];
      if (type == kEapTypeIdentity) {
        if (traced) {
          traceEvent(TraceCategory::Eap, nullptr, 0,
                     "Processing EAP-Request/Identity: code = %u, id = %u, length = %u\n", c, i, n);
        }
        KeepIdentityRequest(packet + kEapTypedHeaderSize, eapLength - kEapTypedHeaderSize);
        reqId_ = true;
        receivedId_ = id;
        reqAuth_ = false;
        return;
      }
      if (traced && type == kEapTypeNotification) {
        traceEvent(TraceCategory::Eap, nullptr, 0,
                   "Processing EAP-Request/Notification: code = %u, id = %u, length = %u\n", c, i,
                   n);
      } else if (traced) {
        traceEvent(TraceCategory::Eap, nullptr, 0,
                   "Processing EAP-Request/%u: code = %u, id = %u, length = %u\n",
                   static_cast<unsigned>(type), c, i, n);
      }
      SetPendingPacket(packet, length, id);
      return;
    }
    case kEapCodeResponse:
      if (traced) {
        traceEvent(TraceCategory::Eap, nullptr, 0,
                   "Processing EAP-Response/%u: code = %u, id = %u, length = %u\n",
                   static_cast<unsigned>(packet[4]), c, i, n);
      }
      if (MethodWantsAllPackets()) SetPendingPacket(packet, length, id);
      return;
    case kEapCodeSuccess:
      if (traced) {
        traceEvent(TraceCategory::Eap, nullptr, 0,
                   "Processing EAP-Success: code = %u, id = %u, length = %u\n", c, i, n);
      }
      if (methodHost_ == nullptr) return;
      if (MethodWantsAllPackets()) {
        SetPendingPacket(packet, length, id);
      } else {
        eapSuccess_ = true;
      }
      return;
    case kEapCodeFailure:
      if (traced) {
        traceEvent(TraceCategory::Eap, nullptr, 0,
                   "Processing EAP-Failure: code = %u, id = %u, length = %u\n", c, i, n);
      }
      if (MethodWantsAllPackets()) {
        SetPendingPacket(packet, length, id);
      } else {
        eapFail_ = true;
      }
      return;
    default:
      if (TraceEnabled(TraceLevel::Error)) {
        traceError(TraceCategory::Eap, nullptr, 0,
                   "Discarding EAP message: code unknown: code = %u, id = %u, length = %u\n", c, i,
                   n);
      }
      return;
  }
}

void SupplicantPae::SetPendingPacket(const std::uint8_t* packet, std::uint32_t length,
                                     std::uint8_t id) {
  pendingPacket_.Assign(packet, length);
  receivedId_ = id;
  reqAuth_ = true;
  reqId_ = false;
}

bool SupplicantPae::MethodWantsAllPackets() const {
  if (methodHost_ == nullptr) return false;
  EapMethod* method = methodHost_->Runner().method();
  return method != nullptr && method->WantsAllEapPackets();
}

// The text after the type: leading and trailing NULs dropped, every byte outside 32..127
// (the NUL before the network attributes among them) shown as '.'.
void SupplicantPae::KeepIdentityRequest(const std::uint8_t* text, std::uint32_t length) {
  while (length > 0 && text[0] == 0) ++text, --length;
  while (length > 0 && text[length - 1] == 0) --length;
  dcfString kept;
  kept.Reserve(length);
  for (std::uint32_t k = 0; k < length; ++k) {
    const char c = text[k] < 32 || text[k] > 127 ? '.' : static_cast<char>(text[k]);
    kept.Append(&c, 1);
  }
  identityRequest_ = kept;
}

dcfString SupplicantPae::FindIdentityValue(const char* key) const {
  const char* text = identityRequest_.CStr();
  const std::size_t keyLength = std::strlen(key);
  while (*text != '\0') {
    while (*text == ',') ++text;
    const char* end = std::strchr(text, ',');
    const std::size_t pairLength = end != nullptr ? static_cast<std::size_t>(end - text) : std::strlen(text);
    const char* equals = static_cast<const char*>(std::memchr(text, '=', pairLength));
    if (equals != nullptr && static_cast<std::size_t>(equals - text) == keyLength &&
        std::memcmp(text, key, keyLength) == 0) {
      return dcfString(equals + 1, static_cast<std::int32_t>(text + pairLength - equals - 1));
    }
    text += pairLength;
  }
  return dcfString();
}

// ---- Transmission ----

void SupplicantPae::SendFrame(std::uint8_t type, const std::uint8_t* body, std::uint32_t length,
                              const char* trace) {
  dcfByteArray frame;
  WriteEapolFrame(frame, eapolVersion_, type, body, length);
  if (trace != nullptr && TraceEnabled(TraceLevel::Event)) {
    traceEvent(TraceCategory::Eap, frame.Data(), frame.Length(), "%s", trace);
  }
  owner_.SendEapol(frame.Data(), frame.Length());
}

void SupplicantPae::TxStart() {
  if (TraceEnabled(TraceLevel::Detail)) {
    traceDetail(TraceCategory::Eap, nullptr, 0, "Supplicant state machine: txStart\n");
  }
  SendFrame(kEapolStart, nullptr, 0, "Transmitting EAPOL-Start\n");
}

void SupplicantPae::TxRspId(std::uint32_t id, std::uint32_t previous) {
  if (TraceEnabled(TraceLevel::Detail)) {
    traceDetail(TraceCategory::Eap, nullptr, 0,
                "Supplicant state machine: txRspId, id = %d, prev = %d\n", static_cast<int>(id),
                static_cast<int>(previous));
  }
  if (!identity_) {
    eapFail_ = true;
    return;
  }
  ReleaseMethod();
  methodHost_ = new PaeMethodHost(*this, *identity_, resumptionTimeout_);
  methodHost_->SetRunner(CreateRunner(&methodHost_->AllowedTypes(), methodHost_));

  const dcfU32Array& types = identity_->EapTypes();
  const char* name = identity_->UserName();
  if (types.Length() == 1 && types[0] == kTtlsOnly) {
    name = identity_->TtlsIdentity().Empty() ? "anonymous" : identity_->TtlsIdentity().CStr();
  }
  const std::uint32_t nameLength = name != nullptr ? static_cast<std::uint32_t>(std::strlen(name)) : 0;
  // A name that does not fit one response cannot be sent whole: the authentication fails
  // rather than send a cut or wrapped identity.
  if (nameLength > kResponseLimit - kEapTypedHeaderSize) {
    if (TraceEnabled(TraceLevel::Error)) {
      traceError(TraceCategory::Eap, nullptr, 0, "Identity too long for an EAP-Response\n");
    }
    eapFail_ = true;
    return;
  }
  dcfByteArray response;
  response.Resize(kEapTypedHeaderSize + nameLength);
  WriteEapResponseHeader(response.Data(), static_cast<std::uint8_t>(id), kEapTypeIdentity,
                         static_cast<std::uint16_t>(response.Length()));
  if (nameLength != 0) std::memcpy(response.Data() + kEapTypedHeaderSize, name, nameLength);
  TransmitResponse(response.Data(), response.Length());
}

void SupplicantPae::TxRspAuth(std::uint32_t id, std::uint32_t previous) {
  if (TraceEnabled(TraceLevel::Detail)) {
    traceDetail(TraceCategory::Eap, nullptr, 0,
                "Supplicant state machine: txRspAuth, id = %d, prev = %d\n", static_cast<int>(id),
                static_cast<int>(previous));
  }
  if (methodHost_ == nullptr) return;
  PaeMethodHost& host = *methodHost_;
  if (id == previous && SameBytes(pendingPacket_, host.LastProcessed())) {
    // The authenticator repeated its request: our response was lost. It goes out again
    // unchanged; the method does not see the request twice.
    if (!host.LastResponse().Empty()) {
      TransmitResponse(host.LastResponse().Data(), host.LastResponse().Length());
    }
    return;
  }
  host.LastProcessed().Clear();
  host.LastResponse().Clear();
  EapSession& runner = host.Runner();
  if (runner.state() != EapSession::kFailed) {
    std::uint8_t response[kResponseLimit];
    std::uint32_t responseLength = 0;
    runner.ProcessRequest(pendingPacket_.Data(), pendingPacket_.Length(), response,
                          kResponseLimit, &responseLength);
    if (runner.state() != EapSession::kFailed) {
      host.LastProcessed() = pendingPacket_;
      if (responseLength != 0) {
        host.LastResponse().Assign(response, responseLength);
        TransmitResponse(response, responseLength);
      }
    }
    dcfWipe(response, responseLength);
  }
  if (runner.state() == EapSession::kFailed) eapFail_ = true;
}

// ---- Report and method host ----

EapSession* SupplicantPae::CreateRunner(const EapTypeList* allowedTypes, EapMethodHost* host) {
  return new EapSession(allowedTypes, host);
}

void SupplicantPae::StateEntered(State state) {
  switch (state) {
    case kNone:
      return;
    case kLogoff:
    case kDisconnected:
      ReleaseMethod();
      ResetReport(state);
      break;
    case kConnecting:
      ReleaseMethod();
      report_.state = state;
      break;
    case kAcquired:
      ReleaseMethod();
      report_.state = state;
      notifications_.Assign("");
      owner_.KeysInvalidated();
      break;
    case kAuthenticating:
      report_.state = state;
      break;
    case kHeld:
      ResetReport(state);
      if (methodHost_ != nullptr) {
        EapSession& runner = methodHost_->Runner();
        runner.VerifyCompletion();
        std::uint32_t status = runner.status();
        const std::uint32_t kind = EapStatusClass(status);
        if (kind == kEapComplete || kind == kEapInProgress) status = kRejectedStatus;
        if (runner.method() != nullptr) runner.method()->SetAuthenticationResult(false);
        FillReport(status);
        owner_.AuthenticationFailed(status);
      } else {
        report_.status = kNoCredentialStatus;
        report_.identityRequest = identityRequest_;
        report_.notifications = notifications_;
      }
      break;
    case kAuthenticated:
      if (fastReconnectLabel_ != nullptr) {
        ResetReport(state);
        report_.methodNames.Assign(fastReconnectLabel_);
        report_.status = kEapComplete;
      } else if (suppStatus_ && noAuthenticator_) {
        ResetReport(state);
        report_.noAuthenticator = true;
      } else {
        EapSession* runner = methodHost_ != nullptr ? &methodHost_->Runner() : nullptr;
        if (runner != nullptr) runner->VerifyCompletion();
        if (runner == nullptr || !EapStatusIsComplete(runner->status())) {
          eapFail_ = true;
          return;
        }
        ResetReport(state);
        if (runner->method() != nullptr) runner->method()->SetAuthenticationResult(true);
        FillReport(runner->status());
        owner_.SetMasterSessionKeys();
      }
      break;
  }
  SendReportIfChanged();
}

void SupplicantPae::ResetReport(State state) {
  report_.state = state;
  report_.authorized = false;
  report_.noAuthenticator = false;
  report_.methodNames.Assign("");
  report_.status = 0;
  report_.identityRequest.Assign("");
  report_.notifications.Assign("");
}

void SupplicantPae::FillReport(std::uint32_t status) {
  EapSession& runner = methodHost_->Runner();
  report_.methodNames.Assign(runner.names());
  report_.status = status;
  std::uint16_t suite = 0;
  EapMethod* method = runner.method();
  report_.cipherSuite = method != nullptr && method->GetCipherSuite(&suite) ? suite : 0xFFFFFFFF;
  report_.identityRequest = identityRequest_;
  report_.notifications = notifications_;
}

void SupplicantPae::SendReportIfChanged() {
  report_.authorized = suppStatus_;
  if (reportSent_ && report_ == lastSent_) return;
  lastSent_ = report_;
  reportSent_ = true;
  auto orNull = [](const dcfString& text) { return text.Empty() ? nullptr : text.CStr(); };
  AuthReport out;
  out.authorized = report_.authorized;
  out.paeState = report_.state;
  out.authenticatedWithoutAuthenticator = report_.noAuthenticator;
  out.methodStatus = report_.status;
  out.cipherSuite = report_.cipherSuite;
  out.methodNames = orNull(report_.methodNames);
  out.identityRequestText = orNull(report_.identityRequest);
  out.notificationText = orNull(report_.notifications);
  owner_.Report(out);
}

void SupplicantPae::ReleaseMethod() {
  if (methodHost_ == nullptr) return;
  if (EapMethod* method = methodHost_->Runner().method()) method->Terminate();
  PaeMethodHost* host = methodHost_;
  methodHost_ = nullptr;
  host->Release();
}

bool SupplicantPae::GetMethodKeys(std::uint8_t keys[64], bool& isShort) {
  if (methodHost_ == nullptr) return false;
  EapSession& runner = methodHost_->Runner();
  EapMethod* method = runner.method();
  if (method == nullptr) return false;
  const bool finished = runner.state() == EapSession::kSucceeded ||
                        (runner.state() == EapSession::kRunning && method->GetStatus() == 0);
  if (!finished || !method->GetKeys(keys)) return false;
  isShort = method->WantsAllEapPackets();
  return true;
}

bool SupplicantPae::GetEapType(std::uint32_t& type) const {
  if (methodHost_ == nullptr) return false;
  type = methodHost_->Runner().currentType();
  return true;
}

// ---- The method host's requests ----

void SupplicantPae::AppendNotification(const char* text, std::uint32_t length) {
  if (!notifications_.Empty()) notifications_.Append("\n");
  notifications_.Append(text, static_cast<std::int32_t>(length));
}

void SupplicantPae::TransmitResponse(const std::uint8_t* packet, std::uint32_t length) {
  SendFrame(kEapolEapPacket, packet, length, "Transmitting EAP-Response\n");
}

bool SupplicantPae::GetPassword(char* buffer, std::uint32_t size) {
  return owner_.GetPassword(buffer, size);
}

bool SupplicantPae::GetTokenResponse(const char* text, std::uint32_t length,
                                     dcfByteArray& response) {
  const dcfString prompt(text, static_cast<std::int32_t>(length));
  return owner_.GetTokenResponse(prompt.CStr(), response);
}

bool SupplicantPae::GetCredentials(const char* prompt, char* userName, std::uint32_t userNameSize,
                                   char* password, std::uint32_t passwordSize) {
  return owner_.GetCredentials(prompt, userName, userNameSize, password, passwordSize);
}

std::uint32_t SupplicantPae::ValidateServerChain(const DerCertificate* certificates,
                                                 std::uint32_t count) {
  return owner_.ValidateServerChain(certificates, count);
}

bool SupplicantPae::Sign(char selector, std::uint32_t keySize,
                         const std::uint8_t certificateHash[20], const std::uint8_t* digest,
                         std::uint32_t digestLength, std::uint32_t request1,
                         std::uint32_t request2, std::uint8_t* out, std::uint32_t capacity,
                         std::uint32_t& outLength) {
  return owner_.Sign(selector, keySize, certificateHash, digest, digestLength, request1, request2,
                     out, capacity, outLength);
}

bool SupplicantPae::CertificateText(const std::uint8_t hash[20], char* buffer,
                                    std::uint32_t size) {
  return owner_.CertificateText(hash, buffer, size);
}
