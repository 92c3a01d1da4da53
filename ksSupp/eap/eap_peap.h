// PEAP (EAP type 25), versions 0 and 1: the TLS phase is EAP-TLS's (keys included, label
// "client EAP encryption"); inside the tunnel an EAP conversation runs through the inner
// holder, and the server's EAP-TLV Result ends it.
#pragma once

#include <strings/dcfString.h>

#include <memory>

#include "ksSupp/eap/eap_tls.h"
#include "ksSupp/eap/peap_inner_method.h"

class EapPeap : public EapTls {
 public:
  enum Phase : std::uint32_t { kHandshake = 0, kInner = 1, kSucceeded = 2, kFailed = 3 };

  explicit EapPeap(EapMethodHost* methodHost);
  ~EapPeap() override;

  std::uint32_t Initialize() override;
  std::uint32_t GetStatus() override;
  std::uint32_t VerifyCompletion() override;
  const char* GetName() override;
  std::uint32_t ReceiveEapRequest(const std::uint8_t* packet, std::uint32_t length) override;

  Phase phase() const { return phase_; }
  std::int32_t version() const { return version_; }

 private:
  enum class Outcome { kNone, kSuccess, kFailure };

  // Reads the version and makes the inner holder when the tunnel opens.
  std::uint32_t OpenTunnel();
  // One inner packet: the outcome it announces, or the inner method's answer.
  std::uint32_t HandleInner(const std::uint8_t* packet, std::uint32_t length, Outcome& outcome,
                            bool& resultSeen, bool& answered);
  std::uint32_t Finish(Outcome outcome, bool resultSeen);
  std::uint32_t Write(const std::uint8_t* packet, std::uint32_t length);

  std::unique_ptr<PeapInnerMethod> inner_;
  dcfString displayName_;
  Phase phase_ = kHandshake;
  std::uint8_t innerIdentifier_ = 0;
  std::int32_t version_ = -1;
  bool resumedPending_ = false;
  bool resumedRestarted_ = false;
};
