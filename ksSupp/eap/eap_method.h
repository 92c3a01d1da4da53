// One EAP method behind the interface that the runner, the tunnelled methods and the
// EAP-method handle drive. Every operation reports through the status word (eap_status.h);
// none throws.
#pragma once

#include <cstdint>

class EapMethodHost;
class EapMethodHostServices;
class dcfByteArray;

inline constexpr std::uint32_t kEapKeyBlockSize = 64;

class EapMethod {
 public:
  EapMethod(const EapMethod&) = delete;
  EapMethod& operator=(const EapMethod&) = delete;
  virtual ~EapMethod() = default;

  // 0 when ready for the first request.
  virtual std::uint32_t Initialize() = 0;
  // 0 when nothing blocks, else the current failure or in-progress status.
  virtual std::uint32_t GetStatus();
  // Asked on EAP-Success: complete (0x1000) or the failure.
  virtual std::uint32_t VerifyCompletion();
  // Display name, owned by the method.
  virtual const char* GetName() = 0;
  // Session keys of a completed method into a 64-byte block; false for keyless methods.
  virtual bool GetKeys(std::uint8_t keys[kEapKeyBlockSize]) = 0;
  // TLS key export with a label (TLS family only).
  virtual bool DeriveKeyMaterial(const char* label, std::uint8_t* out, std::uint32_t length);
  // The negotiated TLS cipher suite (TLS family only).
  virtual bool GetCipherSuite(std::uint16_t* suite);
  virtual void SetAuthenticationResult(bool success) = 0;
  virtual void Terminate();
  // The whole EAP packet, header included. 0: accepted, a response may be pending.
  virtual std::uint32_t ReceiveEapRequest(const std::uint8_t* packet, std::uint32_t length) = 0;
  // Copies the pending response (length 0 when there is none); base | 0x7000, nothing
  // copied, when `size` is too small for it.
  virtual std::uint32_t GetEapResponse(std::uint8_t* buffer, std::uint32_t size,
                                       std::uint32_t* length) = 0;
  // True makes the PAE hand Responses, Success and Failure to the method too.
  virtual bool WantsAllEapPackets();
  virtual bool SupportsKeys();

  // A code unchanged when it already carries a base byte, else given this method's base.
  std::uint32_t WithBase(std::uint32_t code) const;

 protected:
  EapMethod(EapMethodHostServices* host, std::uint32_t statusBase)
      : host_(host), statusBase_(statusBase) {}

  // GetEapResponse for a method that keeps its pending response in one byte array.
  std::uint32_t CopyResponse(const dcfByteArray& response, std::uint8_t* buffer, std::uint32_t size,
                             std::uint32_t* length) const;

  EapMethodHostServices* host_;  // not owned; null when the method was made without a host
  std::uint32_t statusBase_;
  bool finished_ = false;  // the exchange completed successfully from the method's view
};

// The outer method for an EAP type, with the host's services as its host (none for a null
// host); null for a type that is not an outer method. The caller owns it.
EapMethod* createEapMethod(EapMethodHost* host, std::uint32_t type);
