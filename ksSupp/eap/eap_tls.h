// EAP-TLS (EAP type 13, RFC 5216): the TLS handshake and the EAP-TLS framing are the TLS
// peer's (EapTlsPeer); this method turns what the peer reports into status words and
// derives the 64-byte session key with the label "client EAP encryption". It offers the
// user's certificate.
#pragma once

#include <collections/dcfByteArray.h>

#include "ksSupp/eap/eap_method.h"

class EapTlsPeer;

class EapTls : public EapMethod {
 public:
  explicit EapTls(EapMethodHost* methodHost);
  ~EapTls() override;

  std::uint32_t Initialize() override;
  std::uint32_t GetStatus() override;
  std::uint32_t VerifyCompletion() override;
  const char* GetName() override;
  bool GetKeys(std::uint8_t keys[kEapKeyBlockSize]) override;
  bool DeriveKeyMaterial(const char* label, std::uint8_t* out, std::uint32_t length) override;
  bool GetCipherSuite(std::uint16_t* suite) override;
  // Success keeps the TLS session for resumption; failure forgets it.
  void SetAuthenticationResult(bool success) override;
  std::uint32_t ReceiveEapRequest(const std::uint8_t* packet, std::uint32_t length) override;
  std::uint32_t GetEapResponse(std::uint8_t* buffer, std::uint32_t size,
                               std::uint32_t* length) override;
  bool SupportsKeys() override { return true; }

 protected:
  // The peer's TLS status bits.
  static constexpr std::uint32_t kTlsHandshakeDone = 1;
  static constexpr std::uint32_t kTlsTunnelOpen = 2;
  static constexpr std::uint32_t kTlsHandshakeOutputSent = 4;

  // For the tunnelled methods built on this one.
  EapTls(EapMethodHost* methodHost, std::uint32_t statusBase, std::uint32_t eapType);

  // base | 0xB200 | description when we sent a fatal alert, base | 0xB300 | description when
  // we received one; 0 when there was none.
  std::uint32_t AlertStatus() const;
  // After a refused request: the alert status, else base | 0x2000 on a TLS error, else
  // base | 0xB000.
  std::uint32_t TlsFailureStatus() const;
  // The status of a method that has not completed: the alert status, base | 0x7000 when the
  // peer cannot be asked, base | 0x2000 on a TLS error, else base | 0x4000.
  std::uint32_t TlsPhaseStatus() const;
  // Drops the peer and asks the host for a new one, with or without the user's certificate.
  std::uint32_t CreatePeer(bool withCertificate);
  // What the tunnel delivered as one inner packet (length 0 when nothing), or the TLS
  // failure status.
  std::uint32_t ReadTunnel(SecureByteArray& into, std::uint32_t& length);

  EapMethodHost* methodHost_;  // not owned
  std::uint32_t eapType_;
  EapTlsPeer* peer_ = nullptr;  // one reference
  std::uint32_t tlsState_ = 0;  // the peer's GetTlsStatus bits
  bool resumed_ = false;
};
