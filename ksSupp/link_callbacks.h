#pragma once
// LinkCallbacks: everything a link's engine tells or asks its host. The link implements it
// with host callback messages (LinkCallbackAdapter). "port" is 0 for the link's own port and
// non-zero for its pre-authentication port; it goes into the message's context word and
// picks the code of the paired messages.
#include <cstdint>

#include <collections/dcfByteArray.h>

#include "ksSupp/cert_list.h"

// The authentication report of an 802.1X port; empty texts may be null.
struct AuthReport {
  bool authorized = false;
  std::uint32_t paeState = 0;
  bool authenticatedWithoutAuthenticator = false;
  std::uint32_t methodStatus = 0;
  std::uint32_t cipherSuite = 0xFFFFFFFF;
  const char* methodNames = nullptr;
  const char* identityRequestText = nullptr;
  const char* notificationText = nullptr;
};

struct PmkidEntry {
  std::uint8_t bssid[6];
  std::uint8_t pmkid[16];
};

class LinkCallbacks {
public:
  virtual void Status(std::uint32_t status) = 0;
  virtual void ReportAuthentication(std::uintptr_t port, const AuthReport& report) = 0;
  virtual void LinkUp() = 0;
  virtual void LinkDown() = 0;
  virtual void Roaming() = 0;
  // nasIdentifier: the nasid of the last identity request, or null.
  virtual void AuthFailedNas(std::uint32_t eapType, std::uint16_t reason,
                             const std::uint8_t bssid[6], const char* nasIdentifier) = 0;
  virtual void ConnectedBssid(std::uint32_t eapType, const std::uint8_t bssid[6]) = 0;
  virtual void ConnectedNetwork(std::uint32_t eapType, const std::uint8_t* ssid,
                                std::uint32_t ssidLength, const std::uint8_t bssid[6]) = 0;
  virtual void CckmRequest(std::uint32_t kind, const std::uint8_t* element,
                           std::uint32_t length) = 0;
  virtual void CckmResult(std::uint32_t result) = 0;
  // key may be null (zeros are sent); bssid null sends the broadcast address.
  virtual void AddKey(std::uint32_t selector, std::uint32_t keyIndex, const std::uint8_t* key,
                      std::uint32_t keyLength, const std::uint8_t* bssid, std::uint32_t rscLow,
                      std::uint32_t rscHigh) = 0;
  virtual void DeleteKey(std::uint32_t keyIndex, const std::uint8_t bssid[6]) = 0;
  virtual void SetWepKey(std::uint32_t keyIndex, const std::uint8_t* key,
                         std::uint32_t keyLength) = 0;
  virtual void SendEapol(std::uintptr_t port, const std::uint8_t* frame,
                         std::uint32_t length) = 0;
  // The host's password (UTF-8) into buffer: false when it gave none or it did not fit.
  virtual bool GetPassword(std::uintptr_t port, char* buffer, std::uint32_t size) = 0;
  // The verdict on the server's chain (a KSSTK_CHAIN_ value; 0 trusts it).
  virtual std::uint32_t ValidateServerChain(std::uintptr_t port,
                                            const DerCertificate* certificates,
                                            std::uint32_t count) = 0;
  virtual bool GetCredentials(std::uintptr_t port, const char* prompt, char* userName,
                              std::uint32_t userNameSize, char* password,
                              std::uint32_t passwordSize) = 0;
  virtual bool GetTokenResponse(std::uintptr_t port, const char* challenge,
                                dcfByteArray& response) = 0;
  virtual void KeysReset(std::uintptr_t port) = 0;
  virtual void LinkFailure(std::uint32_t reason) = 0;
  virtual void SetPmkidList(std::uint32_t count, const PmkidEntry* entries) = 0;
  virtual bool GetCertificateText(const std::uint8_t hash[20], char* buffer,
                                  std::uint32_t size) = 0;
  // Signs digest with the client certificate's key ('r' RSA, 't' DSA): true with the
  // signature in out (*outLength bytes; 0 when the host answered nothing).
  virtual bool PrivateKeyOperation(std::uintptr_t port, char keyKind, std::uint32_t keySize,
                                   const std::uint8_t hash[20], const std::uint8_t* digest,
                                   std::uint32_t digestLength, std::uint32_t request1,
                                   std::uint32_t request2, std::uint8_t* out,
                                   std::uint32_t capacity, std::uint32_t& outLength) = 0;

protected:
  ~LinkCallbacks() = default;
};
