#pragma once
// RADIUS packets as they cross the wire (RFC 2865): the header, the attribute list, the
// EAP-Message attribute run (RFC 3579) and Microsoft's vendor attributes (RFC 2548). The
// parser checks every length against the datagram before it reads a byte.
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace simair {

using RadiusBytes = std::vector<std::uint8_t>;

enum class RadiusCode : std::uint8_t {
  AccessRequest = 1,
  AccessAccept = 2,
  AccessReject = 3,
  AccessChallenge = 11,
};

namespace radius_attribute {
constexpr std::uint8_t kUserName = 1;
constexpr std::uint8_t kNasIpAddress = 4;
constexpr std::uint8_t kFramedMtu = 12;
constexpr std::uint8_t kState = 24;
constexpr std::uint8_t kVendorSpecific = 26;
constexpr std::uint8_t kCalledStationId = 30;
constexpr std::uint8_t kCallingStationId = 31;
constexpr std::uint8_t kNasIdentifier = 32;
constexpr std::uint8_t kNasPortType = 61;
constexpr std::uint8_t kEapMessage = 79;
constexpr std::uint8_t kMessageAuthenticator = 80;
}  // namespace radius_attribute

constexpr std::uint32_t kMicrosoftVendorId = 311;
constexpr std::uint8_t kMsMppeSendKey = 16;
constexpr std::uint8_t kMsMppeRecvKey = 17;
constexpr std::uint32_t kNasPortTypeWireless80211 = 19;

constexpr std::size_t kRadiusHeaderSize = 20;
constexpr std::size_t kRadiusMaxPacketSize = 4096;
constexpr std::size_t kRadiusMaxAttributeValue = 253;

struct RadiusAttribute {
  std::uint8_t type = 0;
  RadiusBytes value;
};

struct RadiusPacket {
  RadiusCode code = RadiusCode::AccessRequest;
  std::uint8_t identifier = 0;
  std::array<std::uint8_t, 16> authenticator{};
  std::vector<RadiusAttribute> attributes;

  const RadiusAttribute* Find(std::uint8_t type) const;
  void Add(std::uint8_t type, std::span<const std::uint8_t> value);
  void Add(std::uint8_t type, const std::string& text);
  void AddInteger(std::uint8_t type, std::uint32_t value);
  // EAP-Message attributes of at most 253 bytes each, in order.
  void AddEapMessage(std::span<const std::uint8_t> eap);
  // The EAP-Message attributes joined; empty when there are none.
  RadiusBytes JoinedEapMessage() const;
  // The value of a Microsoft vendor attribute of that vendor type; nullopt when absent.
  std::optional<RadiusBytes> FindMicrosoft(std::uint8_t vendorType) const;
};

// The packet on the wire. Throws std::length_error past 4,096 bytes or for an attribute
// value above 253 bytes.
RadiusBytes EncodeRadiusPacket(const RadiusPacket& packet);

// The packet, or nullopt with the reason in `why`: shorter than its header, a Length
// outside 20..4096 or beyond the datagram, an attribute shorter than 2 bytes or running
// past the Length. Bytes past the Length are padding and ignored (RFC 2865).
std::optional<RadiusPacket> ParseRadiusPacket(std::span<const std::uint8_t> datagram,
                                              std::string& why);

}  // namespace simair
