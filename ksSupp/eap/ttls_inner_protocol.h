// The inner protocols of EAP-TTLS: what the client says inside the tunnel, as AVPs, once the
// TLS handshake is over. One object per tunnel, chosen by the identity's selector (or the
// resumed-session stand-in when the server resumed the TLS session).
#pragma once

#include <collections/dcfByteArray.h>

#include <cstdint>
#include <memory>

#include "ksSupp/eap/tunnel_inner_session.h"

class AvpWriter;
class EapMethodHost;
class EapMethodHostServices;

class TtlsInnerProtocol {
 public:
  TtlsInnerProtocol(const TtlsInnerProtocol&) = delete;
  TtlsInnerProtocol& operator=(const TtlsInnerProtocol&) = delete;
  virtual ~TtlsInnerProtocol() = default;

  // 0 once finished, else base | 0x4000.
  virtual std::uint32_t GetStatus();
  // 0x1000 once finished, else base | 0x4000.
  virtual std::uint32_t VerifyCompletion();
  // Bytes of "ttls challenge" key material the protocol needs (0: none).
  virtual std::uint32_t ChallengeLength() const { return 0; }
  virtual const char* GetName() = 0;
  // One round: the server's AVPs (empty the first time, when the tunnel opens), a flag per
  // AVP that the protocol sets for each it understood, and the writer for our AVPs.
  virtual std::uint32_t Process(const std::uint8_t* avps, std::uint32_t length,
                                std::uint8_t* handled, std::uint32_t handledCount,
                                AvpWriter& writer);

  void SetChallenge(const std::uint8_t* bytes, std::uint32_t length) {
    challenge_.Assign(bytes, length);
  }
  std::uint32_t statusBase() const { return statusBase_; }

 protected:
  TtlsInnerProtocol(EapMethodHostServices* host, std::uint32_t statusBase)
      : host_(host), statusBase_(statusBase) {}

  EapMethodHostServices* host_;  // not owned
  std::uint32_t statusBase_;
  bool finished_ = false;
  SecureByteArray challenge_;
  std::uint32_t calls_ = 0;
};

// The protocol for an inner-protocol selector (1 PAP, 2 CHAP, 3 MS-CHAP, 4 MS-CHAP-V2, 6 EAP,
// 7 PAP with a token); null for any other. `host` serves inner EAP its runner.
std::unique_ptr<TtlsInnerProtocol> CreateTtlsInnerProtocol(std::uint32_t selector,
                                                           EapMethodHost* host);

// A resumed TLS session: the server proved itself in the earlier one; nothing is said.
class ResumedSessionMethod : public TtlsInnerProtocol {
 public:
  ResumedSessionMethod();
  const char* GetName() override { return "Resumed Session"; }
};

// PAP: the user name and password in the first round; later rounds answer a Reply-Message
// the server sends (a challenge) with what the user types.
class TtlsPap : public TtlsInnerProtocol {
 public:
  explicit TtlsPap(EapMethodHostServices* host) : TtlsPap(host, false) {}
  const char* GetName() override { return "PAP"; }
  std::uint32_t Process(const std::uint8_t* avps, std::uint32_t length, std::uint8_t* handled,
                        std::uint32_t handledCount, AvpWriter& writer) override;

 protected:
  TtlsPap(EapMethodHostServices* host, bool withToken);

 private:
  bool withToken_;
};

// PAP with a token: the token code the owner gives in place of the password; a Prompt AVP the
// server adds to its challenge is understood (one of fewer than 4 bytes ends the round).
class TtlsTokenPap : public TtlsPap {
 public:
  explicit TtlsTokenPap(EapMethodHostServices* host) : TtlsPap(host, true) {}
};

// CHAP (RFC 1994) over the tunnel's 17 challenge bytes: 16 of challenge, then the identifier.
class TtlsChap : public TtlsInnerProtocol {
 public:
  explicit TtlsChap(EapMethodHostServices* host);
  std::uint32_t ChallengeLength() const override { return 17; }
  const char* GetName() override { return "CHAP"; }
  std::uint32_t Process(const std::uint8_t* avps, std::uint32_t length, std::uint8_t* handled,
                        std::uint32_t handledCount, AvpWriter& writer) override;
};

// MS-CHAP (RFC 2433) over 9 challenge bytes: 8 of challenge, then the identifier. The server
// sends no proof back.
class TtlsMsChap : public TtlsInnerProtocol {
 public:
  explicit TtlsMsChap(EapMethodHostServices* host);
  std::uint32_t ChallengeLength() const override { return 9; }
  const char* GetName() override { return "MS-CHAP"; }
  std::uint32_t Process(const std::uint8_t* avps, std::uint32_t length, std::uint8_t* handled,
                        std::uint32_t handledCount, AvpWriter& writer) override;
};

// An EAP conversation carried in EAP-Message AVPs, run by a runner over the identity's TTLS
// type list.
class TtlsInnerEap : public TtlsInnerProtocol {
 public:
  explicit TtlsInnerEap(EapMethodHost* host);
  std::uint32_t GetStatus() override { return runner_.GetStatus(); }
  std::uint32_t VerifyCompletion() override { return runner_.VerifyMethodCompletion(); }
  const char* GetName() override { return runner_.names(); }
  std::uint32_t Process(const std::uint8_t* avps, std::uint32_t length, std::uint8_t* handled,
                        std::uint32_t handledCount, AvpWriter& writer) override;

 private:
  TtlsInnerFactory runner_;
  SecureByteArray response_;
};
