// The TLS side of a TLS-family EAP method (EAP-TLS, TTLS, PEAP): how the method host sets it
// up (which EAP type it frames, its limits, and the two hooks through which the TLS engine
// reaches the host during the handshake), and what the method asks of it (requests in,
// responses out, status, keys, the session cache). Made on an identity's TLS context;
// OpenSslEapTlsPeer is the one over OpenSSL.
#pragma once

#include <cstdint>

#include "ksLib_OSSL/der_certificate.h"

// The framing side of a TLS session as an EAP method drives it: requests in, responses out.
class TlsSession {
 public:
  virtual std::uint32_t SetMaxMessageSize(std::uint32_t bytes) = 0;
  // Drops the caller's reference.
  virtual std::uint32_t Release() = 0;
  // One EAP Request: 0 accepted (a Response, or a Nak, is then pending), -1 refused.
  virtual std::int32_t ProcessRequest(const std::uint8_t* packet, std::uint32_t length) = 0;
  // The pending Response, at most `size` bytes; -1 when there is none or it does not fit.
  virtual std::int32_t GetResponse(std::uint8_t* buffer, std::uint32_t size,
                                   std::uint32_t* length) = 0;

 protected:
  ~TlsSession() = default;
};

class EapTlsPeer : public TlsSession {
 public:
  // Signs the client's CertificateVerify digest: 0 with the signature in out, -1 on failure.
  using ExternalSigner = int (*)(void* argument, char selector, std::uint32_t keySize,
                                 const std::uint8_t* digest, std::uint32_t digestLength,
                                 std::uint32_t request1, std::uint32_t request2,
                                 std::uint8_t* out, std::uint32_t capacity,
                                 std::uint32_t* outLength);
  // Judges the server's chain in place of the engine: 0 accepts it.
  using ChainVerifyHook = std::uint32_t (*)(void* argument, const DerCertificate* certificates,
                                            std::uint32_t count);

  // Set-up; each operation returns 0 on success.
  virtual std::uint32_t EnableEapType(const char* name) = 0;  // "tls", "ttls" or "peap"
  virtual std::uint32_t SetPeapVersionRange(std::uint32_t lowest, std::uint32_t highest) = 0;
  virtual std::uint32_t SetSessionResumptionTimeout(std::uint32_t seconds) = 0;
  virtual std::uint32_t SetExternalSigner(ExternalSigner signer, void* argument) = 0;
  virtual std::uint32_t CreateConnection() = 0;
  virtual std::uint32_t SetChainVerifyHook(ChainVerifyHook hook, void* argument) = 0;

  // What the method uses besides requests and responses; 0 on success, -1 (or another code)
  // otherwise.
  // Bits: 1 handshake finished, 2 tunnel open, 4 the handshake's last output sent.
  virtual std::int32_t GetTlsStatus(std::uint32_t* status) const = 0;
  virtual std::int32_t GetLastTlsError(std::uint32_t* error) const = 0;
  // 0, or 0x2100 | description (we sent a fatal alert), 0x2200 | description (received).
  virtual std::int32_t GetFirstAlert(std::uint32_t* alert) const = 0;
  virtual std::int32_t IsSessionResumed(bool* resumed) const = 0;
  virtual std::int32_t GetCipherSuite(std::uint16_t* suite) const = 0;
  virtual std::int32_t GetPeapVersion(std::uint32_t* version) const = 0;
  // Keeps the session for resumption by the next peer of the context; forgets it.
  virtual std::int32_t SaveSession() = 0;
  virtual std::int32_t DropSession() = 0;
  // The tunnel of TTLS and PEAP, once the handshake is over. Writing sends one inner packet
  // (PEAPv0: its header compressed, Success and Failure as an EAP-TLV Result); 0 or -1.
  virtual std::int32_t WriteInnerEap(const std::uint8_t* packet, std::uint32_t length) = 0;
  // Hands over what the tunnel delivered as one inner packet (PEAPv0: its header rebuilt,
  // an EAP-TLV Result as EAP Success or Failure); length 0 when nothing came. 0, or
  // kInnerBufferTooSmall with the needed length, the data kept for another call.
  virtual std::int32_t ReadInnerEap(std::uint8_t* buffer, std::uint32_t size,
                                    std::uint32_t* length) = 0;
  static constexpr std::int32_t kInnerBufferTooSmall = 36;
  // `length` bytes of key material for the label from the finished handshake.
  virtual std::int32_t DeriveKeyMaterial(const char* label, std::uint8_t* out,
                                         std::uint32_t length) const = 0;

 protected:
  ~EapTlsPeer() = default;
};
