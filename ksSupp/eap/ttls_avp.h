// The Diameter-style attribute-value pairs EAP-TTLS carries in its tunnel (RFC 5281 section
// 10): u32 code; u8 flags (0x80 vendor-specific, 0x40 mandatory); u24 length of header and
// data without padding; u32 vendor id only with the vendor flag; the data; zero padding to a
// multiple of 4. AvpReader walks a list from the server; AvpWriter builds ours.
#pragma once

#include <collections/dcfByteArray.h>

#include <cstdint>

inline constexpr std::uint8_t kAvpFlagVendor = 0x80;
inline constexpr std::uint8_t kAvpFlagMandatory = 0x40;
inline constexpr std::uint32_t kAvpHeaderSize = 8;
inline constexpr std::uint32_t kAvpVendorHeaderSize = 12;
inline constexpr std::uint32_t kAvpVendorMicrosoft = 311;

// The AVP codes the inner protocols use (vendor 0 unless the name says Microsoft).
enum AvpCode : std::uint32_t {
  kAvpUserName = 1,
  kAvpUserPassword = 2,
  kAvpChapPassword = 3,
  kAvpReplyMessage = 18,
  kAvpChapChallenge = 60,
  kAvpPrompt = 76,
  kAvpEapMessage = 79,
  kAvpMsChapResponse = 1,
  kAvpMsChapError = 2,
  kAvpMsChapNtEncPw = 6,
  kAvpMsChapDomain = 10,
  kAvpMsChapChallenge = 11,
  kAvpMsChap2Response = 25,
  kAvpMsChap2Success = 26,
  kAvpMsChap2Cpw = 27,
};

struct Avp {
  std::uint32_t code = 0;
  std::uint8_t flags = 0;
  std::uint32_t vendor = 0;  // 0 without the vendor flag
  const std::uint8_t* data = nullptr;
  std::uint32_t dataLength = 0;

  bool Mandatory() const { return (flags & kAvpFlagMandatory) != 0; }
  bool Is(std::uint32_t wantedCode, std::uint32_t wantedVendor) const {
    return code == wantedCode && vendor == wantedVendor;
  }
};

// Walks an AVP list. Each AVP's header and data must lie inside the input; the next one
// starts after its padding, which the last AVP may leave out.
class AvpReader {
 public:
  AvpReader(const std::uint8_t* bytes, std::uint32_t length) : bytes_(bytes), length_(length) {}

  // True with the next AVP; false at the end or at a malformed AVP (then malformed() is true
  // and the walk stays there).
  bool Next(Avp& avp);
  bool malformed() const { return malformed_; }
  // Index of the AVP Next returned last.
  std::uint32_t index() const { return index_ - 1; }

 private:
  const std::uint8_t* bytes_;
  std::uint32_t length_;
  std::uint32_t offset_ = 0;
  std::uint32_t index_ = 0;
  bool malformed_ = false;
};

// Counts the AVPs of a list: false when any is malformed.
bool CountAvps(const std::uint8_t* bytes, std::uint32_t length, std::uint32_t& count);

// Our AVPs, each padded to 4 bytes. The buffer grows from 512 bytes by doubling and wipes
// what it held: the inner protocols put passwords and their hashes into it.
class AvpWriter {
 public:
  // Vendor 0 writes the 8-byte header; any other vendor sets the vendor flag.
  void Append(std::uint32_t code, std::uint32_t vendor, bool mandatory, const std::uint8_t* data,
              std::uint32_t dataLength);
  void AppendText(std::uint32_t code, const char* text);

  const std::uint8_t* Data() const { return buffer_.Data(); }
  std::uint32_t Length() const { return position_; }
  bool Empty() const { return position_ == 0; }

 private:
  std::uint32_t position_ = 0;
  SecureByteArray buffer_;
};
