// SupplicantPae: the IEEE 802.1X supplicant port access entity of one port. It sends
// EAPOL-Start, answers EAP-Request/Identity itself, hands every other request to the EAP
// runner of a method host made for each authentication, follows EAP-Success and
// EAP-Failure, and keeps the port's authorized status.
//
// The PAE keeps no clock and sends nothing on its own: the link engine that owns it hands
// it EAP packets (ReceiveEap), lowers its timers by the time that passed (ElapseTime), runs
// it (Step) and asks when to run it again (NextTimeout). Everything the PAE sends or asks
// goes through its PaeServices.
#pragma once

#include <collections/dcfByteArray.h>
#include <dcf/dcfComPtr.h>
#include <strings/dcfString.h>

#include <cstdint>

#include "ksSupp/eap_host_services.h"
#include "ksSupp/eapol/pae_services.h"

class EapMethodHost;
class EapSession;
class Identity;
class PaeMethodHost;
struct EapTypeList;

// The timer periods and limits of the state machine.
struct PaeConstants {
  std::uint32_t authPeriod = 30000;  // ms to wait for the next request of an authentication
  std::uint32_t heldPeriod = 60000;  // ms in HELD after a failure
  std::uint32_t startPeriod = 30000;  // ms between EAPOL-Starts
  std::uint32_t firstStartDelay = 2000;  // ms before the first EAPOL-Start
  std::uint32_t maxStart = 3;  // EAPOL-Starts before the authenticator counts as absent
  bool authenticatedAfterMaxStart = false;  // then: authorized without one
};

class SupplicantPae : private EapHostServices {
 public:
  enum State : std::uint32_t {
    kNone = 0,  // before the first Step
    kLogoff = 1,  // reserved: nothing sends an EAPOL-Logoff
    kDisconnected = 2,
    kHeld = 3,
    kConnecting = 4,
    kAcquired = 5,
    kAuthenticating = 6,
    kAuthenticated = 7,
  };
  // Largest EAP response the runner may write.
  static constexpr std::uint32_t kResponseLimit = 1400;
  static constexpr std::uint32_t kNoPreviousId = 256;

  explicit SupplicantPae(PaeServices& owner);
  virtual ~SupplicantPae();
  SupplicantPae(const SupplicantPae&) = delete;
  SupplicantPae& operator=(const SupplicantPae&) = delete;

  // Configuration (by the link).
  void SetIdentity(Identity* identity);
  void SetSessionResumptionTimeout(std::uint32_t seconds) { resumptionTimeout_ = seconds; }
  void SetConstants(const PaeConstants& constants) { constants_ = constants; }
  const PaeConstants& Constants() const { return constants_; }
  // The EAPOL version written into our frames.
  void SetEapolVersion(std::uint8_t version) { eapolVersion_ = version; }
  std::uint8_t EapolVersion() const { return eapolVersion_; }

  // Runs the state machine until it waits.
  void Step();
  void SetPortActive(bool active);
  void SetInitialize(bool initialize);
  // One EAP packet (the EAPOL body); recorded for the next Step.
  void ReceiveEap(const std::uint8_t* packet, std::uint32_t length);
  // Restarts authentication within a second; returns that delay in ms.
  std::uint32_t Reauthenticate();
  // Marks the port authenticated by a fast reconnection named by label.
  void FastReconnect(const char* label);
  // Keys arrived while authenticating: the EAP-Success must have been lost. Returns whether
  // the port is authorized.
  bool SynthesizeSuccess();

  void ElapseTime(std::uint32_t milliseconds);
  // Lowers milliseconds to each running timer.
  void NextTimeout(std::uint32_t& milliseconds) const;
  // Adds time spent inside an engine step back to the authentication timer.
  void CompensateTime(std::uint32_t milliseconds);

  void ReleaseMethod();
  // The finished method's keys (64 bytes; isShort: only the first 16 count).
  bool GetMethodKeys(std::uint8_t keys[64], bool& isShort);
  // The EAP type of the running method; false without a method host.
  bool GetEapType(std::uint32_t& type) const;
  // The value of key in the last EAP-Request/Identity text ("" when absent).
  dcfString FindIdentityValue(const char* key) const;

  State state() const { return state_; }
  bool Authorized() const { return suppStatus_; }
  bool NoAuthenticatorFlag() const { return noAuthenticator_; }
  std::uint32_t AuthWhile() const { return authWhile_; }
  std::uint32_t HeldWhile() const { return heldWhile_; }
  std::uint32_t StartWhen() const { return startWhen_; }
  std::uint32_t PreviousId() const { return previousId_; }
  const char* IdentityRequestText() const { return identityRequest_.CStr(); }

 protected:
  // What a port variant may do differently.
  virtual void TxStart();
  virtual void TxRspId(std::uint32_t id, std::uint32_t previous);
  virtual void TxRspAuth(std::uint32_t id, std::uint32_t previous);
  virtual void StateEntered(State state);
  virtual void NoAuthenticator() { owner_.NoAuthenticator(); }
  // The EAP runner of one authentication over the identity's types and its method host.
  virtual EapSession* CreateRunner(const EapTypeList* allowedTypes, EapMethodHost* host);

  PaeServices& owner_;

 private:
  struct Report {
    State state = kNone;
    bool authorized = false;
    bool noAuthenticator = false;
    dcfString methodNames;
    std::uint32_t status = 0;
    std::uint32_t cipherSuite = 0xFFFFFFFF;
    dcfString identityRequest;
    dcfString notifications;
    bool operator==(const Report& other) const;
  };

  // One pass: false when the machine waits.
  bool StepOnce();
  bool Dispatch();
  void Enter(State state);
  void ConnectingAction();
  void ResetReport(State state);
  // The method's names, status, cipher suite and the two texts into the report.
  void FillReport(std::uint32_t status);
  void SendReportIfChanged();
  void KeepIdentityRequest(const std::uint8_t* text, std::uint32_t length);
  void SetPendingPacket(const std::uint8_t* packet, std::uint32_t length, std::uint8_t id);
  bool MethodWantsAllPackets() const;
  void SendFrame(std::uint8_t type, const std::uint8_t* body, std::uint32_t length,
                 const char* trace);

  // EapHostServices: the method host's requests, forwarded to the owner.
  void AppendNotification(const char* text, std::uint32_t length) override;
  void TransmitResponse(const std::uint8_t* packet, std::uint32_t length) override;
  bool GetPassword(char* buffer, std::uint32_t size) override;
  bool GetTokenResponse(const char* text, std::uint32_t length, dcfByteArray& response) override;
  bool GetPapPassword(dcfByteArray&) override { return false; }
  bool GetCredentials(const char* prompt, char* userName, std::uint32_t userNameSize,
                      char* password, std::uint32_t passwordSize) override;
  void Notice(std::uint32_t) override {}
  std::uint32_t ValidateServerChain(const DerCertificate* certificates,
                                    std::uint32_t count) override;
  bool Sign(char selector, std::uint32_t keySize, const std::uint8_t certificateHash[20],
            const std::uint8_t* digest, std::uint32_t digestLength, std::uint32_t request1,
            std::uint32_t request2, std::uint8_t* out, std::uint32_t capacity,
            std::uint32_t& outLength) override;
  bool CertificateText(const std::uint8_t hash[20], char* buffer, std::uint32_t size) override;
  void MethodCompleted() override { eapSuccess_ = true; }

  PaeConstants constants_;
  State state_ = kNone;
  bool eapSuccess_ = false;
  bool eapFail_ = false;
  bool suppStatus_ = false;
  bool reqId_ = false;
  bool reqAuth_ = false;
  std::uint32_t receivedId_ = 0;
  std::uint32_t previousId_ = kNoPreviousId;
  std::uint32_t startCount_ = 0;
  std::uint32_t authWhile_ = 0;
  std::uint32_t heldWhile_ = 0;
  std::uint32_t startWhen_ = 0;
  bool noAuthenticator_ = false;
  bool firstStart_ = false;
  bool portActive_ = false;
  bool initialize_ = false;
  bool reauthenticate_ = false;

  std::uint8_t eapolVersion_ = 1;
  std::uint32_t resumptionTimeout_ = 0;
  dcfComPtr<Identity> identity_;
  PaeMethodHost* methodHost_ = nullptr;  // one reference while an authentication runs
  dcfString identityRequest_;  // text of the last EAP-Request/Identity
  dcfByteArray pendingPacket_;  // the last EAP packet for the method
  dcfString notifications_;
  const char* fastReconnectLabel_ = nullptr;
  Report report_;
  Report lastSent_;
  bool reportSent_ = false;
};
