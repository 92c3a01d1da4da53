#include "ksSupp/keys/information_elements.h"

#include <dcf/dcfBytes.h>

namespace {

// A suite selector whose 4 bytes the caller has checked.
uint32_t ReadSuite(const uint8_t* p) {
  uint32_t suite = 0;
  return ByteSwapCopy32(p, suite);
}

uint16_t ReadLittle16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

// A little-endian u16 count and that many whole 4-byte suites.
bool ReadSuiteList(const uint8_t* bytes, uint32_t& position, uint32_t end, dcfU32Array& out) {
  if (end - position < 2) return false;
  uint32_t count = ReadLittle16(bytes + position);
  position += 2;
  if (count > (end - position) / 4) return false;
  out.Clear();
  for (uint32_t i = 0; i < count; ++i, position += 4) {
    uint32_t suite = ReadSuite(bytes + position);
    out.Append(&suite, 1);
  }
  return true;
}

// The element's own extent: its length byte must be covered by the stored bytes.
bool HasWholeBody(const uint8_t* bytes, uint32_t length) {
  return length >= static_cast<uint32_t>(bytes[1]) + 2;
}

}  // namespace

void IeElement::Store(const uint8_t* bytes, uint32_t length) {
  raw_.Assign(bytes, length);
  present_ = 1;
  valid_ = Parse(raw_.Data(), raw_.Length()) ? 1 : 0;
}

void IeElement::Clear() {
  raw_.Clear();
  present_ = 0;
  valid_ = 0;
}

void SecurityElement::Clear() {
  IeElement::Clear();
  version_ = 0;
  groupSuite_ = 0;
  pairwiseSuites_.Clear();
  akmSuites_.Clear();
  capabilities_ = 0;
}

uint32_t SecurityElement::ParseSuites(const uint8_t* bytes, uint32_t position, uint32_t end,
                                      uint32_t oui, uint32_t defaultAkm) {
  // Every field may be left out from some point on; what is left out takes its default.
  const uint32_t defaultCipher = oui | (oui == kRsnSuiteNone ? 0x04 : 0x02);
  groupSuite_ = defaultCipher;
  pairwiseSuites_.Assign(&defaultCipher, 1);
  akmSuites_.Assign(&defaultAkm, 1);
  capabilities_ = 0;
  if (position == end) return end;
  if (end - position < 4) return 0;
  groupSuite_ = ReadSuite(bytes + position);
  position += 4;
  if (position == end) return end;
  if (!ReadSuiteList(bytes, position, end, pairwiseSuites_)) return 0;
  if (position == end) return end;
  if (!ReadSuiteList(bytes, position, end, akmSuites_)) return 0;
  if (position == end) return end;
  if (end - position < 2) return 0;
  capabilities_ = ReadLittle16(bytes + position);
  return position + 2;
}

bool RsnIeElement::Parse(const uint8_t* bytes, uint32_t length) {
  pmkids_.Clear();
  if (length <= 3 || bytes[0] != kElementIdRsn || !HasWholeBody(bytes, length)) return false;
  const uint32_t end = static_cast<uint32_t>(bytes[1]) + 2;
  version_ = ReadLittle16(bytes + 2);
  uint32_t position = ParseSuites(bytes, 4, end, kRsnSuiteNone, kRsnAkm8021X);
  if (position == 0) return false;
  if (position == end) return true;
  if (end - position < 2) return false;
  uint32_t count = ReadLittle16(bytes + position);
  position += 2;
  if (count > (end - position) / 16) return false;
  pmkids_.Assign(bytes + position, count * 16);
  return true;
}

void RsnIeElement::Clear() {
  SecurityElement::Clear();
  pmkids_.Clear();
}

bool WpaIeElement::Parse(const uint8_t* bytes, uint32_t length) {
  if (length <= 7 || bytes[0] != kElementIdVendor || ReadSuite(bytes + 2) != kWpaOuiType ||
      !HasWholeBody(bytes, length))
    return false;
  const uint32_t end = static_cast<uint32_t>(bytes[1]) + 2;
  version_ = ReadLittle16(bytes + 6);
  return ParseSuites(bytes, 8, end, kWpaSuiteNone, kWpaAkm8021X) != 0;
}

bool PmkidKdeElement::Parse(const uint8_t*, uint32_t length) { return length >= 22; }
bool GtkKdeElement::Parse(const uint8_t*, uint32_t length) { return length >= 8; }
bool CckmElement::Parse(const uint8_t*, uint32_t length) { return length >= 6; }
bool FlitElement::Parse(const uint8_t*, uint32_t length) { return length >= leastLength_; }
