// What runs inside the PEAP tunnel: an EAP runner over the identity's PEAP type list that
// answers the inner Identity with the real user name, or, after a resumed TLS session, a
// stand-in that expects nothing.
#pragma once

#include <collections/dcfByteArray.h>

#include <cstdint>

#include "ksSupp/eap/tunnel_inner_session.h"

class EapMethodHost;

class PeapInnerMethod {
 public:
  PeapInnerMethod(const PeapInnerMethod&) = delete;
  PeapInnerMethod& operator=(const PeapInnerMethod&) = delete;
  virtual ~PeapInnerMethod() = default;

  virtual std::uint32_t GetStatus() = 0;
  virtual std::uint32_t VerifyCompletion() = 0;
  // One inner EAP packet (header included); the answer, if any, becomes response().
  virtual std::uint32_t Process(const std::uint8_t* packet, std::uint32_t length) = 0;
  virtual const char* GetName() = 0;

  const dcfByteArray& response() const { return response_; }

 protected:
  PeapInnerMethod() = default;

  SecureByteArray response_;
};

class PeapInnerSession : public PeapInnerMethod {
 public:
  explicit PeapInnerSession(EapMethodHost* host);
  std::uint32_t GetStatus() override { return runner_.GetStatus(); }
  std::uint32_t VerifyCompletion() override { return runner_.VerifyMethodCompletion(); }
  std::uint32_t Process(const std::uint8_t* packet, std::uint32_t length) override;
  const char* GetName() override { return runner_.names(); }

 private:
  EapMethodHost* host_;
  PeapInnerFactory runner_;
};

class PeapResumedSession : public PeapInnerMethod {
 public:
  std::uint32_t GetStatus() override { return 0; }
  std::uint32_t VerifyCompletion() override;
  // The server proved itself in the resumed session: any inner packet is unexpected.
  std::uint32_t Process(const std::uint8_t*, std::uint32_t) override;
  const char* GetName() override { return "Resumed Session"; }
};
