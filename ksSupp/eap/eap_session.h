// EapSession runs one EAP conversation above the methods: it answers Notification (and
// Identity) requests, refuses types the identity does not allow with Naks that propose the
// allowed types one at a time, makes the method for an allowed type, feeds it the requests
// and hands back its responses, and keeps the names of the methods that ran. The PAE keeps
// one for the outer conversation; PEAP and TTLS each keep one inside their tunnel.
#pragma once

#include <strings/dcfString.h>

#include <cstdint>
#include <memory>

#include "ksSupp/eap/eap_method.h"

class EapMethodHost;
struct EapTypeList;

class EapMethodFactory {
 public:
  // A new method for the type, or null. The caller owns it.
  virtual EapMethod* CreateMethod(std::uint32_t type) = 0;

 protected:
  ~EapMethodFactory() = default;
};

class EapSession : public EapMethodFactory {
 public:
  enum State : std::uint32_t {
    kChoosing = 0,  // no method yet
    kRunning = 1,
    kSucceeded = 2,
    kFailed = 3,
  };

  // Neither argument is owned; a null list allows no type.
  EapSession(const EapTypeList* allowedTypes, EapMethodHost* host);
  EapSession(const EapSession&) = delete;
  EapSession& operator=(const EapSession&) = delete;
  virtual ~EapSession();

  // Requests one conversation may take; the next ends it with kEapSessionTooManyRounds, so a
  // server that never stops asking cannot keep the supplicant busy for ever.
  static constexpr std::uint32_t kMaxRequests = 100;

  // The outer methods (createEapMethod); the tunnels override it with their inner ones.
  EapMethod* CreateMethod(std::uint32_t type) override;

  // One packet in, at most one response out (*responseLength = 0 first). A null packet asks
  // for the completion check. Returns 0 or the status that ended the conversation.
  std::uint32_t ProcessRequest(const std::uint8_t* packet, std::uint32_t length,
                               std::uint8_t* responseBuffer, std::uint32_t responseSize,
                               std::uint32_t* responseLength);
  // Asked on EAP-Success: 0 when the conversation succeeded, else its failure status.
  std::uint32_t VerifyCompletion();
  // The same check for the tunnels, which report the method's own status (0x1000 when
  // complete) instead of 0.
  std::uint32_t VerifyMethodCompletion();
  // Running: the method's status; succeeded: 0; failed: the stored status; before any
  // method: 0x07004000.
  std::uint32_t GetStatus();
  // Ends the conversation with a code (given the runner's base when it has none).
  std::uint32_t Fail(std::uint32_t code);

  State state() const { return state_; }
  std::uint32_t status() const { return status_; }
  std::uint8_t currentType() const { return currentType_; }
  // The running (or last) method; null before the first.
  EapMethod* method() const { return method_.get(); }
  // Names of the methods that completed or failed, joined with ", ".
  const char* names() const { return names_.CStr(); }

 private:
  std::uint32_t HandlePacket(const std::uint8_t* packet, std::uint32_t length,
                             std::uint8_t* responseBuffer, std::uint32_t responseSize,
                             std::uint32_t* responseLength);
  std::uint32_t HandleRequest(std::uint8_t identifier, std::uint8_t type, const std::uint8_t* data,
                              std::uint32_t dataLength, std::uint8_t* responseBuffer,
                              std::uint32_t responseSize, std::uint32_t* responseLength,
                              bool* answered);
  std::uint32_t Complete();
  // Succeeded: 0; failed: the status that ended it.
  std::uint32_t FinalResult() const { return state_ == kSucceeded ? 0 : status_; }

  State state_ = kChoosing;
  std::uint32_t status_ = 0;
  const EapTypeList* allowedTypes_;
  EapMethodHost* host_;
  std::uint32_t nakIndex_ = 0;
  std::uint32_t requests_ = 0;
  std::uint8_t currentType_ = 0;
  dcfString names_;
  std::unique_ptr<EapMethod> method_;
};
