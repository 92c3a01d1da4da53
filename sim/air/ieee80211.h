#pragma once
// The few pieces of IEEE 802.11 framing the simulated air needs: frame control fields, the
// addresses of a MAC header, elements, and channel frequencies. Every read is bounds-checked:
// frames come from the station under test and may be anything.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sim/air/radio.h"

namespace simair::dot11 {

using Bytes = std::vector<std::uint8_t>;

// Frame control, first byte: type in bits 2-3, subtype in bits 4-7.
enum class FrameType : std::uint8_t { Management = 0, Control = 1, Data = 2 };

namespace subtype {
inline constexpr std::uint8_t AssociationRequest = 0, AssociationResponse = 1,
                              ReassociationRequest = 2, ReassociationResponse = 3,
                              ProbeRequest = 4, ProbeResponse = 5, Beacon = 8,
                              Disassociation = 10, Authentication = 11, Deauthentication = 12;
inline constexpr std::uint8_t PsPoll = 10;  // control
inline constexpr std::uint8_t Data = 0, NullData = 4;
}  // namespace subtype

// Frame control, second byte.
namespace flag {
inline constexpr std::uint8_t ToDs = 0x01, FromDs = 0x02, MoreFragments = 0x04, Retry = 0x08,
                              PowerManagement = 0x10, MoreData = 0x20, Protected = 0x40;
}

namespace element {
inline constexpr std::uint8_t Ssid = 0, SupportedRates = 1, DsParameter = 3, Tim = 5,
                              IbssParameter = 6, Erp = 42, Rsn = 48, ExtendedRates = 50,
                              Vendor = 221;
}

// Capability information bits.
namespace capability {
inline constexpr std::uint16_t Ess = 0x0001, Ibss = 0x0002, Privacy = 0x0010,
                               ShortPreamble = 0x0020;
}

inline constexpr MacAddress kBroadcast{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
inline bool IsGroup(const MacAddress& address) { return (address[0] & 0x01) != 0; }

// A received frame seen through its header; every accessor says when the frame is too short.
class FrameView {
public:
  explicit FrameView(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  bool hasFrameControl() const { return bytes_.size() >= 2; }
  FrameType type() const;
  std::uint8_t subtype() const;
  std::uint8_t flags() const;
  bool is(FrameType type, std::uint8_t subtype) const;
  // Address 1 (receiver) exists in every frame of 10 bytes or more; 2 and 3 after it.
  std::optional<MacAddress> address1() const { return addressAt(4); }
  std::optional<MacAddress> address2() const { return addressAt(10); }
  std::optional<MacAddress> address3() const { return addressAt(16); }
  // The bytes after the 24-byte header of a management frame (empty when shorter).
  std::span<const std::uint8_t> managementBody() const;
  std::span<const std::uint8_t> bytes() const { return bytes_; }

private:
  std::optional<MacAddress> addressAt(std::size_t offset) const;
  std::span<const std::uint8_t> bytes_;
};

// The body of the first element with this id in a run of elements, or nothing. A run cut
// short ends the search.
std::optional<std::span<const std::uint8_t>> FindElement(std::span<const std::uint8_t> elements,
                                                         std::uint8_t id);

// Writes a frame front to back, little-endian as 802.11 wants.
class FrameWriter {
public:
  void u8(std::uint8_t value) { bytes_.push_back(value); }
  void u16(std::uint16_t value);
  void u64(std::uint64_t value);
  void address(const MacAddress& address);
  void raw(std::span<const std::uint8_t> data);
  // id, length, body; bodies longer than 255 bytes are the caller's fault and are cut.
  void element(std::uint8_t id, std::span<const std::uint8_t> body);
  // A 24-byte management or data header: frame control, duration 0, three addresses, and
  // the sequence control (sequence number << 4, fragment 0).
  void header(FrameType type, std::uint8_t subtype, std::uint8_t flags, const MacAddress& a1,
              const MacAddress& a2, const MacAddress& a3, std::uint16_t sequence);
  Bytes take() { return std::move(bytes_); }

private:
  Bytes bytes_;
};

// Centre frequency of a 2.4 GHz channel (1..14), 0 for anything else.
int ChannelFrequencyMhz(std::uint8_t channel);

// "02:00:00:00:01:01"
std::string FormatAddress(const MacAddress& address);
std::optional<MacAddress> ParseAddress(std::string_view text);

}  // namespace simair::dot11
