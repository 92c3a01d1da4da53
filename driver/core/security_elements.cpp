#include "driver/core/security_elements.h"

#include <cstring>

#include "driver/core/bss_elements.h"
#include "driver/core/elements.h"

namespace zelnic::core {
namespace {

constexpr std::uint8_t kRsnOui[3] = {0x00, 0x0F, 0xAC};
constexpr std::uint8_t kWpaOui[3] = {0x00, 0x50, 0xF2};
constexpr std::uint8_t kCipherTkip = 2;
constexpr std::uint8_t kCipherCcmp = 4;
constexpr std::uint8_t kAkm8021x = 1;
constexpr std::uint8_t kAkmPsk = 2;

// Suites of a BSS element body after its version (and OUI/type for WPA): group, then the
// pairwise list. Bounds-checked: a short element yields nothing.
struct Suites {
  bool valid = false;
  std::uint8_t group = 0;
  bool pairwiseCcmp = false;
  bool pairwiseTkip = false;
  bool akm8021x = false;
  bool akmPsk = false;
  std::uint16_t capabilities = 0;  // 0 when the element ends before them
};

Suites ReadSuites(const std::uint8_t* body, std::uint32_t length, const std::uint8_t* oui) {
  Suites s;
  if (length < 4 + 2 + 4) return s;
  if (std::memcmp(body, oui, 3) != 0) return s;
  s.group = body[3];
  const std::uint32_t count = body[4] | body[5] << 8;
  if (count == 0 || 6 + 4 * count > length) return s;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::uint8_t* suite = body + 6 + 4 * i;
    if (std::memcmp(suite, oui, 3) != 0) continue;
    if (suite[3] == kCipherCcmp) s.pairwiseCcmp = true;
    if (suite[3] == kCipherTkip) s.pairwiseTkip = true;
  }
  // The key-management list follows; it must lie within the element too.
  const std::uint32_t akmAt = 6 + 4 * count;
  if (akmAt + 2 > length) return s;
  const std::uint32_t akms = body[akmAt] | body[akmAt + 1] << 8;
  if (akmAt + 2 + 4 * akms > length) return s;
  for (std::uint32_t i = 0; i < akms; ++i) {
    const std::uint8_t* suite = body + akmAt + 2 + 4 * i;
    if (std::memcmp(suite, oui, 3) != 0) continue;
    if (suite[3] == kAkm8021x) s.akm8021x = true;
    if (suite[3] == kAkmPsk) s.akmPsk = true;
  }
  const std::uint32_t capabilitiesAt = akmAt + 2 + 4 * akms;
  if (capabilitiesAt + 2 <= length)
    s.capabilities = static_cast<std::uint16_t>(body[capabilitiesAt] | body[capabilitiesAt + 1] << 8);
  s.valid = s.pairwiseCcmp || s.pairwiseTkip;
  return s;
}

// The body bytes of an element as its slot holds them: a long element was cut to the slot.
std::uint32_t KeptBodyLength(const std::uint8_t* element) {
  return element[1] < kSecurityElementSlotBytes - 2 ? element[1] : kSecurityElementSlotBytes - 2;
}

bool IsRsnElement(const std::uint8_t* e, std::uint32_t size) {
  return e[0] == kElementRsn && size >= 2 + 20 && e[2] == 1 && e[3] == 0;
}

bool IsWpaElement(const std::uint8_t* e, std::uint32_t size) {
  return e[0] == kElementVendor && size > 2 + 21 && std::memcmp(e + 2, kWpaOui, 3) == 0 && e[5] == 1 && e[6] == 1 &&
         e[7] == 0;
}

void KeepInSlot(const std::uint8_t* e, std::uint32_t size, std::uint8_t (&slot)[kSecurityElementSlotBytes]) {
  if (slot[0] != 0) return;  // the first one counts
  std::memcpy(slot, e, size < sizeof slot ? size : sizeof slot);
}

bool IsPsk(std::uint32_t authMode) { return authMode == 4 || authMode == 7; }

// The access point must offer the key management the authentication mode asks for.
bool OffersKeyManagement(const Suites& s, std::uint32_t authMode) { return IsPsk(authMode) ? s.akmPsk : s.akm8021x; }

// WEP-40 and WEP-104 are equal, below TKIP, below CCMP; 0 for a suite the station lacks.
int Strength(std::uint8_t suite) {
  switch (suite) {
    case 1: case 5: return 1;
    case kCipherTkip: return 2;
    case kCipherCcmp: return 3;
    default: return 0;
  }
}

std::uint32_t EncryptionStatusOf(std::uint8_t suite) {
  return suite == kCipherCcmp ? 6 : suite == kCipherTkip ? 4 : 0;
}

// The pairwise suite for the encryption status (0 when the BSS does not offer it), and the
// group suite checked against it.
std::uint8_t ChoosePairwise(const Suites& s, std::uint32_t encryptionStatus, ChosenCiphers& chosen) {
  std::uint8_t pairwise = 0;
  if (encryptionStatus == 4) {
    pairwise = s.pairwiseTkip ? kCipherTkip : 0;
  } else if (encryptionStatus == 6) {
    pairwise = s.pairwiseCcmp ? kCipherCcmp : 0;
  } else {
    pairwise = s.pairwiseCcmp ? kCipherCcmp : kCipherTkip;
  }
  if (pairwise == 0 || Strength(s.group) == 0 || Strength(s.group) > Strength(pairwise)) return 0;
  chosen.pairwise = EncryptionStatusOf(pairwise);
  chosen.group = EncryptionStatusOf(s.group);
  return pairwise;
}

std::uint8_t* PutSuite(std::uint8_t* at, const std::uint8_t* oui, std::uint8_t type) {
  std::memcpy(at, oui, 3);
  at[3] = type;
  return at + 4;
}

std::uint8_t* PutCount1(std::uint8_t* at) {
  at[0] = 1;
  at[1] = 0;
  return at + 2;
}

}  // namespace

const std::uint8_t* FindSecurityElement(const std::uint8_t* block, std::uint32_t length, bool rsn) {
  for (std::uint32_t at = kFixedFieldBytes; at + 2 <= length;) {
    const std::uint8_t id = block[at];
    const std::uint32_t size = 2u + block[at + 1];
    if (size > length - at) return nullptr;
    if (rsn && id == kElementRsn) return block + at;
    if (!rsn && id == kElementVendor && size >= 6 && std::memcmp(block + at + 2, kWpaOui, 3) == 0 &&
        block[at + 5] == 1)
      return block + at;
    at += size;
  }
  return nullptr;
}

void ExtractSecurityElements(const std::uint8_t* block, std::uint32_t length, std::uint8_t (&wpa)[64],
                             std::uint8_t (&rsn)[64]) {
  std::memset(wpa, 0, sizeof wpa);
  std::memset(rsn, 0, sizeof rsn);
  for (std::uint32_t at = kFixedFieldBytes; at + 2 <= length;) {
    const std::uint8_t* e = block + at;
    const std::uint32_t size = 2u + e[1];
    if (size > length - at) return;  // runs past the block
    if (IsRsnElement(e, size)) KeepInSlot(e, size, rsn);
    if (IsWpaElement(e, size)) KeepInSlot(e, size, wpa);
    at += size;
  }
}

bool OffersPreauthentication(const std::uint8_t* rsnSlot) {
  if (rsnSlot[0] != kElementRsn) return false;
  const std::uint32_t body = KeptBodyLength(rsnSlot);
  const Suites s = ReadSuites(rsnSlot + 2 + 2, body >= 2 ? body - 2 : 0, kRsnOui);
  return s.valid && (s.capabilities & kRsnCapabilityPreauthentication) != 0;
}

std::uint32_t BuildIbssRsnElement(const IbssCiphers& ciphers, std::uint8_t* at) {
  std::uint8_t group = 0;
  if ((ciphers.group & kIbssCipherCcmp) != 0) group = kCipherCcmp;
  else if ((ciphers.group & kIbssCipherTkip) != 0) group = kCipherTkip;
  else if ((ciphers.group & kIbssCipherWep104) != 0) group = 5;
  else if ((ciphers.group & kIbssCipherWep40) != 0) group = 1;
  else return 0;
  std::uint8_t pairwise[2] = {};
  std::uint32_t count = 0;
  if (group == kCipherTkip) {
    if ((ciphers.pairwise & kIbssCipherCcmp) != 0) pairwise[count++] = kCipherCcmp;
    pairwise[count++] = kCipherTkip;
  } else {
    pairwise[count++] = group == kCipherCcmp ? kCipherCcmp : 0;  // WEP: "use the group cipher"
  }
  std::uint8_t* p = at + 2;
  *p++ = 1;
  *p++ = 0;
  p = PutSuite(p, kRsnOui, group);
  *p++ = static_cast<std::uint8_t>(count);
  *p++ = 0;
  for (std::uint32_t i = 0; i < count; ++i) p = PutSuite(p, kRsnOui, pairwise[i]);
  p = PutCount1(p);
  p = PutSuite(p, kRsnOui, kAkmPsk);
  at[0] = kElementRsn;
  at[1] = static_cast<std::uint8_t>(p - at - 2);  // 14 + 4 x pairwise count
  return static_cast<std::uint32_t>(p - at);
}

std::uint32_t BuildStationRsnElement(const std::uint8_t* bssElement, std::uint32_t authMode,
                                     std::uint32_t encryptionStatus, std::uint8_t* at, ChosenCiphers& chosen,
                                     const TargetPmkids& pmkids) {
  // Body: version (2), group suite, pairwise count and suites.
  const std::uint32_t body = KeptBodyLength(bssElement);
  const Suites s = ReadSuites(bssElement + 2 + 2, body >= 2 ? body - 2 : 0, kRsnOui);
  if (!s.valid || !OffersKeyManagement(s, authMode)) return 0;
  const std::uint8_t pairwise = ChoosePairwise(s, encryptionStatus, chosen);
  if (pairwise == 0) return 0;
  std::uint8_t* p = at + 2;
  *p++ = 1;
  *p++ = 0;
  p = PutSuite(p, kRsnOui, s.group);
  p = PutCount1(p);
  p = PutSuite(p, kRsnOui, pairwise);
  p = PutCount1(p);
  p = PutSuite(p, kRsnOui, IsPsk(authMode) ? kAkmPsk : kAkm8021x);
  *p++ = 0;  // RSN capabilities
  *p++ = 0;
  const std::uint32_t count = pmkids.count < TargetPmkids::kMax ? pmkids.count : TargetPmkids::kMax;
  *p++ = static_cast<std::uint8_t>(count);
  *p++ = 0;
  for (std::uint32_t i = 0; i < count; ++i, p += 16) std::memcpy(p, pmkids.pmkids[i], 16);
  at[0] = kElementRsn;
  at[1] = static_cast<std::uint8_t>(p - at - 2);
  return static_cast<std::uint32_t>(p - at);
}

std::uint32_t BuildStationWpaElement(const std::uint8_t* bssElement, std::uint32_t authMode,
                                     std::uint32_t encryptionStatus, std::uint8_t* at, ChosenCiphers& chosen) {
  // Body: OUI and type (4), version (2), then the suites.
  const std::uint32_t body = KeptBodyLength(bssElement);
  const Suites s = ReadSuites(bssElement + 2 + 6, body >= 6 ? body - 6 : 0, kWpaOui);
  if (!s.valid || !OffersKeyManagement(s, authMode)) return 0;
  // WPA's own order of preference: TKIP unless the status asks for CCMP.
  const std::uint8_t pairwise = ChoosePairwise(s, encryptionStatus == 6 || !s.pairwiseTkip ? 6 : 4, chosen);
  if (pairwise == 0) return 0;
  std::uint8_t* p = at + 2;
  p = PutSuite(p, kWpaOui, 1);
  *p++ = 1;
  *p++ = 0;
  p = PutSuite(p, kWpaOui, s.group);
  p = PutCount1(p);
  p = PutSuite(p, kWpaOui, pairwise);
  p = PutCount1(p);
  p = PutSuite(p, kWpaOui, IsPsk(authMode) ? kAkmPsk : kAkm8021x);
  at[0] = kElementVendor;
  at[1] = static_cast<std::uint8_t>(p - at - 2);
  return static_cast<std::uint32_t>(p - at);
}

}  // namespace zelnic::core
