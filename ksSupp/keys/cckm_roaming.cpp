// CCKM fast roaming: after a first full handshake on the CCKM AKM the station reassociates
// with a request element signed by the KRK, and the access point's response element brings
// what fresh pairwise and group keys need, without a new 4-way handshake.
#include <openssl/crypto.h>

#include <cstring>

#include <dcf/dcfWipe.h>
#include <dcf/hmac.h>

#include "ksSupp/keys/key_data_cipher.h"
#include "ksSupp/keys/key_handler.h"
#include "ksSupp/keys/key_handler_services.h"
#include "ksSupp/keys/key_trace.h"

using namespace eapol_key;

namespace {

// Request element: ID, length 24, 00-40-96-00, timestamp (8), RN (4, little-endian), MIC (8).
constexpr uint32_t kRequestLength = 26;
constexpr uint32_t kRequestRn = 14;
constexpr uint32_t kRequestMic = 18;
// Response element: ID, length, 00-40-96-00, RN (4), pairwise key index, group key index,
// group RSC (8), group key length (2), MIC (8), then the RC4-encrypted group key.
constexpr uint32_t kResponseRn = 6;
constexpr uint32_t kResponsePairwiseIndex = 10;
constexpr uint32_t kResponseGroupIndex = 11;
constexpr uint32_t kResponseRsc = 12;
constexpr uint32_t kResponseKeyLength = 20;
constexpr uint32_t kResponseMic = 22;
constexpr uint32_t kResponseGroupKey = 30;
constexpr uint32_t kCckmMicLength = 8;
constexpr uint32_t kCckmPtkLength = 64;

uint32_t Little32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

void PutLittle32(uint8_t* p, uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

bool Fail(const char* text) {
  KeyTrace(kTraceError, nullptr, 0, "%s", text);
  return false;
}

}  // namespace

void KeyHandler::CckmStart(const uint8_t timestamp[8], const uint8_t bssid[kMacLength]) {
  const uint8_t* t = timestamp;
  KeyTrace(kTraceDetail, nullptr, 0,
           "Received CCKM Start (ts=%02X%02X%02X%02X%02X%02X%02X%02X, bssid=%02X%02X%02X%02X%02X%02X)\n",
           t[0], t[1], t[2], t[3], t[4], t[5], t[6], t[7], bssid[0], bssid[1], bssid[2], bssid[3],
           bssid[4], bssid[5]);
  if (cckm_.state != 2) {
    KeyTrace(kTraceEvent, nullptr, 0, "CCKM Request: first-time association\n");
    cckm_.state = 0;
    services_.SendCckmElement(0, nullptr, 0);
    return;
  }
  cckm_.rn += 1;
  uint8_t element[kRequestLength] = {kElementIdCckm, kRequestLength - 2, 0x00, 0x40, 0x96, 0x00};
  std::memcpy(element + 6, timestamp, 8);
  PutLittle32(element + kRequestRn, cckm_.rn);

  uint8_t digest[HmacMd5::kDigestSize];
  HmacMd5 mac;
  mac.SetKey(cckm_.btk.Data(), 16);  // the KRK
  mac.Init();
  mac.Update(supplicantAddress_, kMacLength);
  mac.Update(bssid, kMacLength);
  mac.Update(cckm_.savedSupplicantIe.Data(), cckm_.savedSupplicantIe.Length());
  mac.Update(timestamp, 8);
  mac.Update(element + kRequestRn, 4);
  mac.Final(digest);
  std::memcpy(element + kRequestMic, digest, kCckmMicLength);
  dcfWipe(digest, sizeof digest);

  KeyTrace(kTraceEvent, nullptr, 0, "CCKM Request: fast handoff\n");
  cckm_.state = 1;
  services_.SendCckmElement(1, element, kRequestLength);
}

bool KeyHandler::ProcessReassociationIes(const uint8_t* bytes, uint32_t length) {
  if (!cckmInUse_) {
    cckm_.state = 0;
    return false;
  }
  IeSet elements;
  elements.Walk(bytes, length);
  const CckmElement& response = elements.Cckm();
  if (!response.Present()) {
    if (cckm_.state == 1) KeyTrace(kTraceWarning, nullptr, 0, "CCKM response element not found\n");
    cckm_.state = 0;
    return false;
  }
  const uint32_t requested = cckm_.state;
  if (AcceptCckmResponse(response)) {
    cckm_.state = 2;
    return true;
  }
  if (requested == 1) {
    KeyTrace(kTraceError, nullptr, 0, "CCKM Result: fast handoff failed\n");
    services_.CckmResult(1);
  } else {
    services_.ReportKeyFailure(kKeyFailureCckm);
  }
  cckm_.state = 0;
  return false;
}

bool KeyHandler::AcceptCckmResponse(const CckmElement& response) {
  const uint8_t* r = response.Bytes();
  const uint32_t length = response.Length();
  KeyTrace(kTraceDetail, r, length, "CCKM Reassociation Response IE:\n");
  if (length < kResponseGroupKey) return Fail("CCKM response element too short\n");

  uint32_t expectedRn = 0;
  if (cckm_.state == 1) {
    expectedRn = cckm_.rn;
  } else if (cckm_.state == 2) {
    // The host placed a request of its own (with the key-request key) into the
    // reassociation request.
    const CckmElement& request = supplicantIes_.Cckm();
    if (!request.Present() || request.Length() < kRequestLength)
      return Fail("CCKM Reassociation Request not valid\n");
    expectedRn = Little32(request.Bytes() + kRequestRn);
  } else {
    return Fail("CCKM Reassociation Response not expected\n");
  }
  const SecurityElement& current = SupplicantElement();
  if (current.Length() != cckm_.savedSupplicantIe.Length() ||
      std::memcmp(current.Bytes(), cckm_.savedSupplicantIe.Data(), current.Length()) != 0)
    return Fail("CCKM failure due to supplicant IE mismatch\n");
  const uint32_t groupKeyLength = r[kResponseKeyLength] | static_cast<uint32_t>(r[kResponseKeyLength + 1]) << 8;
  if (length < groupKeyLength + kResponseGroupKey)
    return Fail("CCKM Reassociation Response not long enough for group key\n");
  const uint32_t rn = Little32(r + kResponseRn);
  if (rn == 0 || rn != expectedRn) return Fail("CCKM Reassociation Response contains invalid RN\n");

  SecureByteArray ptk;
  ptk.Resize(kCckmPtkLength);
  DeriveCckmPtk(expectedRn, ptk.Data(), kCckmPtkLength);
  uint8_t mic[HmacMd5::kDigestSize];
  HmacMd5 mac;
  mac.SetKey(ptk.Data(), kKckLength);
  mac.Init();
  mac.Update(supplicantAddress_, kMacLength);
  const SecurityElement& beacon = AuthenticatorElement();
  mac.Update(beacon.Bytes(), beacon.Length());
  mac.Update(r + kResponseRn, kResponseMic - kResponseRn);
  mac.Update(r + kResponseGroupKey, groupKeyLength);
  mac.Final(mic);
  if (CRYPTO_memcmp(mic, r + kResponseMic, kCckmMicLength) != 0)
    return Fail("CCKM Reassociation Response contains invalid MIC)\n");
  if (cckm_.keyLength > 32) {
    KeyTrace(kTraceError, nullptr, 0, "CCKM software failure (invalid saved key length - %d)\n",
             static_cast<int>(cckm_.keyLength));
    return false;
  }
  // A group key that cannot be one of the group cipher (an empty one above all) never
  // reaches the host.
  if (!GroupKeyLengthValid(groupKeyLength))
    return Fail("CCKM Reassociation Response contains invalid group key length\n");

  if (installedPtk_.Length() != ptk.Length() ||
      std::memcmp(installedPtk_.Data(), ptk.Data(), ptk.Length()) != 0) {
    installedPtk_.Assign(ptk.Data(), ptk.Length());
    pairwiseKeyInstalled_ = false;
  }
  if (cckm_.state == 1) {
    KeyTrace(kTraceEvent, nullptr, 0, "CCKM Result: fast handoff successful\n");
    services_.CckmResult(0);
  }

  // The group key: RC4 keyed with RN | KEK, 256 keystream bytes discarded.
  uint8_t rc4Key[4 + 16];
  PutLittle32(rc4Key, expectedRn);
  std::memcpy(rc4Key + 4, installedPtk_.Data() + 16, 16);
  SecureByteArray groupKey;
  groupKey.Resize(groupKeyLength);
  Rc4Skip256(rc4Key, sizeof rc4Key, r + kResponseGroupKey, groupKeyLength, groupKey.Data());
  dcfWipe(rc4Key, sizeof rc4Key);

  InstallPairwiseKey(cckm_.keyLength, r[kResponsePairwiseIndex] | kPairwiseKeyIndex, 0, 0);
  InstallGroupKey(groupKey.Data(), groupKeyLength, r[kResponseGroupIndex] | kKeyIndexRscGiven,
                  Little32(r + kResponseRsc), Little32(r + kResponseRsc + 4));
  groupSecured_ = 1;
  return true;
}
