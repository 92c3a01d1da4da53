#pragma once
// TlsConnection: one OpenSSL SSL of a TlsContext bound to an in-memory BIO pair, so that TLS
// records never touch a socket. Bytes from the server are written into the pair and the
// handshake (or the reading of application data) is pumped; bytes for the server and
// decrypted application data leave through the owner's TlsOutputSink. When the handshake
// has finished, the master secret and both randoms are kept in the key block.
#include <cstdint>

#include <openssl/ssl.h>

#include "ksLib_OSSL/tls_chain_verify.h"

class TlsContext;

// Where a connection's output goes.
class TlsOutputSink {
public:
  // TLS bytes that must go to the server. False when they could not be kept.
  virtual bool NetworkOutput(const std::uint8_t* bytes, std::uint32_t count) = 0;
  // Decrypted application data (tunnelled methods).
  virtual bool ApplicationData(const std::uint8_t* bytes, std::uint32_t count) = 0;

protected:
  ~TlsOutputSink() = default;
};

// The master secret and the randoms of a finished handshake.
struct TlsKeyBlock {
  std::uint8_t masterSecret[48];
  std::uint8_t serverRandom[32];
  std::uint8_t clientRandom[32];
};
static_assert(sizeof(TlsKeyBlock) == 112);

class TlsConnection {
public:
  enum State : std::uint32_t { kNone = 0, kHandshaking = 1, kEstablished = 2, kFailed = 3 };
  // First-alert high bytes: the alert was sent by this side, or received from the server.
  static constexpr std::uint16_t kAlertSent = 0x2100;
  static constexpr std::uint16_t kAlertReceived = 0x2200;

  TlsConnection(TlsContext& context, TlsOutputSink& sink);
  ~TlsConnection();
  TlsConnection(const TlsConnection&) = delete;
  TlsConnection& operator=(const TlsConnection&) = delete;

  // Makes the SSL and its BIO pair, offers the context's cached session while it is younger
  // than resumptionTimeout seconds, and lets `hook` judge the server's chain when it has a
  // callback (it must outlive the connection); 0, 2 out of memory, or 29.
  std::int32_t Open(std::uint32_t resumptionTimeout, const ChainVerdictHook* hook);
  // Installs the hook again after its callback changed.
  void SetChainVerifyHook(const ChainVerdictHook* hook);

  // Runs the handshake, or reads application data once established, as far as the bytes
  // received allow; 0, or -1 when there is no SSL, the engine failed in an unexpected way,
  // or the connection had failed before. A handshake that fails now returns 0 (its alert is
  // still to be sent) and leaves the state kFailed.
  std::int32_t Pump();
  // Writes bytes from the server into the pair, pumping whenever it is full; 0 when all were
  // taken, -1 when they could not be.
  std::int32_t Feed(const std::uint8_t* bytes, std::uint32_t count);
  // Feed, then Pump.
  std::int32_t FeedAndPump(const std::uint8_t* bytes, std::uint32_t count);
  // Encrypts application data (an inner packet) once established and moves the records into
  // the sink; 0, or -1 when the connection cannot take it.
  std::int32_t WriteApplicationData(const std::uint8_t* bytes, std::uint32_t count);
  // Moves the pending TLS bytes for the server into the sink; false when the sink refused.
  bool FlushNetworkOutput();

  State state() const { return state_; }
  const SSL* ssl() const { return ssl_; }
  SSL* ssl() { return ssl_; }
  const TlsKeyBlock& keyBlock() const { return keyBlock_; }
  std::uint32_t firstError() const { return firstError_; }
  std::uint16_t firstAlert() const { return firstAlert_; }
  std::uint32_t lastSslError() const { return lastSslError_; }

  // Called by the engine's info callback.
  void OnAlert(bool sentByUs, std::uint8_t description);

private:
  void Close();
  // Handles a failed SSL call: 0 to stop and wait (or after a failure that left an alert to
  // send), 1 to call again, -1 for an unexpected failure.
  int Classify(int result);
  void RecordError(std::uint32_t code);
  bool CaptureKeyBlock();

  TlsContext& context_;
  TlsOutputSink& sink_;
  State state_ = kNone;
  SSL* ssl_ = nullptr;
  BIO* network_ = nullptr;  // our end of the pair
  TlsKeyBlock keyBlock_ = {};
  std::uint32_t lastSslError_ = 0;
  std::uint32_t firstError_ = 0;
  std::uint16_t firstAlert_ = 0;
};

// The info callback every context installs: records the first fatal alert of a connection.
void TlsInfoCallback(const SSL* ssl, int where, int value);
