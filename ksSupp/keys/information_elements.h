#pragma once
// The IEEE 802.11 information elements and EAPOL-Key key-data elements (KDEs) that the key
// handlers understand. Each element object keeps a copy of the bytes routed to it, whether
// anything was routed (present) and whether its last parse succeeded (valid), and decodes
// its own fields. Raw copies are wiped: a GTK KDE holds a group key.
#include <cstdint>

#include <collections/dcfArray.h>
#include <collections/dcfByteArray.h>

// Suite selectors as u32 values: OUI (3 bytes) | type (1 byte), read big-endian.
constexpr uint32_t kRsnSuiteNone = 0x000FAC00;
constexpr uint32_t kRsnCipherWep40 = 0x000FAC01;
constexpr uint32_t kRsnCipherTkip = 0x000FAC02;
constexpr uint32_t kRsnCipherCcmp = 0x000FAC04;
constexpr uint32_t kRsnCipherWep104 = 0x000FAC05;
constexpr uint32_t kRsnAkm8021X = 0x000FAC01;
constexpr uint32_t kRsnAkmPsk = 0x000FAC02;
constexpr uint32_t kWpaSuiteNone = 0x0050F200;
constexpr uint32_t kWpaOuiType = 0x0050F201;  // vendor element of the WPA IE
constexpr uint32_t kWpaCipherTkip = 0x0050F202;
constexpr uint32_t kWpaAkm8021X = 0x0050F201;
constexpr uint32_t kCckmSuite = 0x00409600;
constexpr uint32_t kPmkidKdeSelector = 0x000FAC04;
constexpr uint32_t kGtkKdeSelector = 0x000FAC01;

constexpr uint8_t kElementIdRsn = 48;
constexpr uint8_t kElementIdCckm = 156;
constexpr uint8_t kElementIdVendor = 221;

class IeElement {
 public:
  IeElement() = default;
  IeElement(const IeElement&) = delete;
  IeElement& operator=(const IeElement&) = delete;
  virtual ~IeElement() = default;

  // Checks and decodes the stored bytes; the result becomes the valid flag.
  virtual bool Parse(const uint8_t* bytes, uint32_t length) = 0;

  // Replaces the stored bytes, marks the slot present and parses.
  void Store(const uint8_t* bytes, uint32_t length);
  // Appends bytes without parsing again (continuation elements).
  void Extend(const uint8_t* bytes, uint32_t length) { raw_.Append(bytes, length); }
  // Wipes and frees the stored bytes and the parsed fields.
  virtual void Clear();

  const uint8_t* Bytes() const { return raw_.Data(); }
  uint32_t Length() const { return raw_.Length(); }
  bool Present() const { return present_ != 0; }
  bool Valid() const { return valid_ != 0; }

 private:
  SecureByteArray raw_;
  uint8_t present_ = 0;
  uint8_t valid_ = 0;
};

// The fields the RSN element and the WPA element share.
class SecurityElement : public IeElement {
 public:
  uint16_t Version() const { return version_; }
  uint32_t GroupSuite() const { return groupSuite_; }
  const dcfU32Array& PairwiseSuites() const { return pairwiseSuites_; }
  const dcfU32Array& AkmSuites() const { return akmSuites_; }
  uint16_t Capabilities() const { return capabilities_; }
  void Clear() override;

 protected:
  // Decodes from the group suite on; `ouiDefault` gives the defaults (00-0F-AC for RSN,
  // 00-50-F2 for WPA). Returns the position after the capabilities, or 0 when invalid.
  uint32_t ParseSuites(const uint8_t* bytes, uint32_t position, uint32_t end, uint32_t oui,
                       uint32_t defaultAkm);

  uint16_t version_ = 0;
  uint32_t groupSuite_ = 0;
  dcfU32Array pairwiseSuites_;
  dcfU32Array akmSuites_;
  uint16_t capabilities_ = 0;
};

class RsnIeElement : public SecurityElement {
 public:
  bool Parse(const uint8_t* bytes, uint32_t length) override;
  void Clear() override;
  // PMKIDs of 16 bytes each.
  const dcfByteArray& Pmkids() const { return pmkids_; }

 private:
  dcfByteArray pmkids_;
};

class WpaIeElement : public SecurityElement {
 public:
  bool Parse(const uint8_t* bytes, uint32_t length) override;
};

class PmkidKdeElement : public IeElement {
 public:
  bool Parse(const uint8_t* bytes, uint32_t length) override;
  const uint8_t* Pmkid() const { return Bytes() + 6; }  // valid elements only
};

class GtkKdeElement : public IeElement {
 public:
  bool Parse(const uint8_t* bytes, uint32_t length) override;
  uint32_t KeyIndex() const { return Bytes()[6] & 3u; }
  bool Transmit() const { return (Bytes()[6] >> 2 & 1u) != 0; }
  const uint8_t* Key() const { return Bytes() + 8; }
  uint32_t KeyLength() const { return Length() - 8; }
};

class CckmElement : public IeElement {
 public:
  bool Parse(const uint8_t* bytes, uint32_t length) override;
  const uint8_t* Body() const { return Bytes() + 6; }
  uint32_t BodyLength() const { return Length() - 6; }
};

// The vendor elements of the pre-association fast-reconnect scheme; only stored and
// checked for their least length.
class FlitElement : public IeElement {
 public:
  bool Parse(const uint8_t* bytes, uint32_t length) override;

 protected:
  explicit FlitElement(uint32_t leastLength) : leastLength_(leastLength) {}

 private:
  uint32_t leastLength_;
};

// One class a FLIT element kind, by its least length; kind 3 is stored as kind 2, and
// kinds 6 to 9 are stored without their 2-byte header, so any length is valid.
class FlitElement1 : public FlitElement {
 public:
  FlitElement1() : FlitElement(11) {}
};
class FlitElement2 : public FlitElement {
 public:
  FlitElement2() : FlitElement(7) {}
};
class FlitElement4 : public FlitElement {
 public:
  FlitElement4() : FlitElement(22) {}
};
class FlitElement5 : public FlitElement {
 public:
  FlitElement5() : FlitElement(30) {}
};
class FlitElement6 : public FlitElement {
 public:
  FlitElement6() : FlitElement(0) {}
};
class FlitElement7 : public FlitElement {
 public:
  FlitElement7() : FlitElement(0) {}
};
class FlitElement8 : public FlitElement {
 public:
  FlitElement8() : FlitElement(0) {}
};
class FlitElement9 : public FlitElement {
 public:
  FlitElement9() : FlitElement(0) {}
};
class FlitElement10 : public FlitElement {
 public:
  FlitElement10() : FlitElement(29) {}
};
