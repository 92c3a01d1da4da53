#pragma once
// OpenSslEapTlsPeer: the supplicant side of the EAP-TLS family framing (EAP-TLS, EAP-TTLS, PEAP),
// over one TlsConnection. The method hands every EAP Request to ProcessRequest and takes
// the Response from GetResponse; in between the TLS engine consumes and produces bytes
// through the connection's BIO pair. Inbound messages are reassembled up to
// maxMessageSize bytes; outbound ones are fragmented to the caller's buffer size.
//
// Request flags: 0x80 L (a 4-byte total length follows), 0x40 M (more fragments), 0x20 S
// (start); the two low bits carry the PEAP version.
#include <cstdint>
#include <memory>

#include <collections/dcfByteArray.h>
#include <dcf/RefCounted.h>
#include <dcf/dcfComPtr.h>

#include "ksLib_OSSL/eap_tls_peer.h"
#include "ksLib_OSSL/peap_v0_framing.h"
#include "ksLib_OSSL/tls_connection.h"
#include "ksLib_OSSL/tls_context.h"

class OpenSslEapTlsPeer : public RefCounted, public EapTlsPeer, private TlsOutputSink {
public:
  static constexpr std::uint32_t kDefaultMaxMessageSize = 16 * 1024 * 1024;
  static constexpr std::uint32_t kAlreadyEnabled = 33;
  // GetTlsStatus bits: handshake finished, tunnel open, the handshake's last output sent.
  static constexpr std::uint32_t kHandshakeDone = 1;
  static constexpr std::uint32_t kTunnelOpen = 2;
  static constexpr std::uint32_t kHandshakeOutputSent = 4;

  explicit OpenSslEapTlsPeer(TlsContext* context);

  // "TLS", "TTLS" or "PEAP" (any case); 0, 33 when already enabled, 0xFFFFFFFF for another
  // name.
  std::uint32_t EnableEapType(const char* name) override;
  std::uint32_t SetMaxMessageSize(std::uint32_t bytes) override;
  std::uint32_t SetPeapVersionRange(std::uint32_t lowest, std::uint32_t highest) override;
  std::uint32_t SetSessionResumptionTimeout(std::uint32_t seconds) override;
  // The signer of the client's CertificateVerify, for the next connection: when the context
  // has the client's RSA certificate without its key, the connection signs through it.
  std::uint32_t SetExternalSigner(ExternalSigner signer, void* argument) override;
  // Makes the connection with the stored hook and signer; 0, 2 or 29.
  std::uint32_t CreateConnection() override;
  // The host's judge of the server's chain; installed at once on an existing connection.
  std::uint32_t SetChainVerifyHook(ChainVerifyHook hook, void* argument) override;
  std::uint32_t Release() override { return RefCounted::Release(); }
  std::uint32_t AddRef() override { return RefCounted::AddRef(); }

  // One EAP packet from the server: 0 accepted (a Response, or a Nak, is then pending), -1
  // rejected (nothing changed, or the TLS connection failed: see GetLastTlsError and
  // GetFirstAlert).
  std::int32_t ProcessRequest(const std::uint8_t* packet, std::uint32_t length) override;
  // The pending Response, at most `size` bytes: 0 with *length, -1 when there is nothing to
  // send or the buffer is too small (nothing is consumed then).
  std::int32_t GetResponse(std::uint8_t* buffer, std::uint32_t size,
                           std::uint32_t* length) override;

  std::int32_t GetTlsStatus(std::uint32_t* status) const override;
  std::int32_t GetLastTlsError(std::uint32_t* error) const override;
  std::int32_t GetFirstAlert(std::uint32_t* alert) const override;
  // -1 unless established.
  std::int32_t IsSessionResumed(bool* resumed) const override;
  std::int32_t GetCipherSuite(std::uint16_t* suite) const override;
  std::int32_t GetPeapVersion(std::uint32_t* version) const override;
  // Keeps the established session in the context's cache for the next connection; -1
  // unless established.
  std::int32_t SaveSession() override;
  // Forgets the cached session when it is this connection's; -1 without a connection.
  std::int32_t DropSession() override;
  // Needs the connection established; TTLS and PEAPv1 write and read whole packets.
  std::int32_t WriteInnerEap(const std::uint8_t* packet, std::uint32_t length) override;
  std::int32_t ReadInnerEap(std::uint8_t* buffer, std::uint32_t size,
                            std::uint32_t* length) override;
  // TlsPrf over this peer's session.
  std::int32_t DeriveKeyMaterial(const char* label, std::uint8_t* out,
                                 std::uint32_t length) const override;

  // The connection (null before CreateConnection), for the key derivation.
  const TlsConnection* connection() const { return connection_.get(); }
  TlsContext* context() const { return context_.Get(); }
  std::uint32_t responseState() const { return responseState_; }

private:
  // The engine's signing request, handed to the stored signer as an RSA request.
  static int SignThroughHost(void* peer, const std::uint8_t* input, std::uint32_t inputLength,
                             std::uint32_t keySize, std::uint8_t* out, std::uint32_t capacity,
                             std::uint32_t* outLength) noexcept;

  enum ResponseState : std::uint32_t {
    kNotStarted = 0,
    kWaitingForServer = 1,
    kOutputPending = 2,
    kSendingFragments = 3,
  };
  struct AcceptedType {
    std::uint8_t eapType;
    bool enabled;
  };
  enum class Event { kEmpty, kMore, kComplete, kStart };

  ~OpenSslEapTlsPeer() override;

  bool NetworkOutput(const std::uint8_t* bytes, std::uint32_t count) override;
  bool ApplicationData(const std::uint8_t* bytes, std::uint32_t count) override;

  // After a pump: output is pending; the first time the handshake is seen finished, its
  // last output is collected.
  std::int32_t CollectHandshakeOutput();
  // A fragment of a longer message (the size already checked): into the connection at once,
  // which reassembles; 0, or -1 when the connection refuses it.
  std::int32_t FeedFragment(const std::uint8_t* data, std::uint32_t length);
  std::int32_t BuildEmptyResponse(std::uint8_t* buffer, std::uint32_t size,
                                  std::uint32_t* length) const;
  std::uint8_t VersionBits() const;
  bool IsPeap() const;

  std::uint32_t maxMessageSize_ = kDefaultMaxMessageSize;
  AcceptedType types_[4] = {{13, false}, {21, false}, {255, false}, {25, false}};
  std::uint32_t enabled_[4] = {};
  std::uint32_t enabledCount_ = 0;
  dcfComPtr<TlsContext> context_;
  std::uint32_t nakIndex_ = 0;
  std::int32_t selected_ = -1;
  std::uint32_t responseState_ = kNotStarted;
  bool handshakeSeen_ = false;
  bool handshakeOutputSent_ = false;
  std::uint8_t lastId_ = 0;
  std::unique_ptr<TlsConnection> connection_;
  std::uint32_t receivedBytes_ = 0;

  std::uint8_t eapType_ = 0;
  SecureByteArray outgoing_;
  std::uint32_t sendOffset_ = 0;
  std::uint32_t remaining_ = 0;  // bytes of the inbound message its length field still owes
  std::uint8_t peapVersion_ = 0;
  std::uint8_t peapMin_ = 0;
  std::uint8_t peapMax_ = 1;
  bool peapVersionFixed_ = false;
  bool tunnelWritten_ = false;
  PeapV0State peapV0_;
  SecureByteArray tunnel_;

  std::uint32_t resumptionTimeout_ = 0;
  ChainVerdictHook chainVerdictHook_;
  ExternalSigner signer_ = nullptr;
  void* signerArgument_ = nullptr;
};
