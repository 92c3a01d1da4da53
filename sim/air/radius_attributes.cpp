#include "sim/air/radius_attributes.h"

#include <stdexcept>

namespace simair {

const RadiusAttribute* RadiusPacket::Find(std::uint8_t type) const {
  for (const RadiusAttribute& attribute : attributes) {
    if (attribute.type == type) return &attribute;
  }
  return nullptr;
}

void RadiusPacket::Add(std::uint8_t type, std::span<const std::uint8_t> value) {
  if (value.size() > kRadiusMaxAttributeValue) throw std::length_error("RADIUS attribute too long");
  attributes.push_back({type, RadiusBytes(value.begin(), value.end())});
}

void RadiusPacket::Add(std::uint8_t type, const std::string& text) {
  Add(type, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

void RadiusPacket::AddInteger(std::uint8_t type, std::uint32_t value) {
  const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(value >> 24),
                                 static_cast<std::uint8_t>(value >> 16),
                                 static_cast<std::uint8_t>(value >> 8),
                                 static_cast<std::uint8_t>(value)};
  Add(type, bytes);
}

void RadiusPacket::AddEapMessage(std::span<const std::uint8_t> eap) {
  for (std::size_t at = 0; at < eap.size(); at += kRadiusMaxAttributeValue) {
    Add(radius_attribute::kEapMessage,
        eap.subspan(at, std::min(kRadiusMaxAttributeValue, eap.size() - at)));
  }
}

RadiusBytes RadiusPacket::JoinedEapMessage() const {
  RadiusBytes eap;
  for (const RadiusAttribute& attribute : attributes) {
    if (attribute.type == radius_attribute::kEapMessage) {
      eap.insert(eap.end(), attribute.value.begin(), attribute.value.end());
    }
  }
  return eap;
}

std::optional<RadiusBytes> RadiusPacket::FindMicrosoft(std::uint8_t vendorType) const {
  for (const RadiusAttribute& attribute : attributes) {
    if (attribute.type != radius_attribute::kVendorSpecific) continue;
    const RadiusBytes& v = attribute.value;
    if (v.size() < 4) continue;
    const std::uint32_t vendor = (std::uint32_t{v[0]} << 24) | (std::uint32_t{v[1]} << 16) |
                                 (std::uint32_t{v[2]} << 8) | v[3];
    if (vendor != kMicrosoftVendorId) continue;
    // Microsoft's sub-attributes: type, length (counting both), value.
    for (std::size_t at = 4; at + 2 <= v.size();) {
      const std::uint8_t type = v[at];
      const std::size_t length = v[at + 1];
      if (length < 2 || at + length > v.size()) break;
      if (type == vendorType) return RadiusBytes(v.begin() + at + 2, v.begin() + at + length);
      at += length;
    }
  }
  return std::nullopt;
}

RadiusBytes EncodeRadiusPacket(const RadiusPacket& packet) {
  RadiusBytes wire(kRadiusHeaderSize);
  wire[0] = static_cast<std::uint8_t>(packet.code);
  wire[1] = packet.identifier;
  std::copy(packet.authenticator.begin(), packet.authenticator.end(), wire.begin() + 4);
  for (const RadiusAttribute& attribute : packet.attributes) {
    if (attribute.value.size() > kRadiusMaxAttributeValue) {
      throw std::length_error("RADIUS attribute too long");
    }
    wire.push_back(attribute.type);
    wire.push_back(static_cast<std::uint8_t>(attribute.value.size() + 2));
    wire.insert(wire.end(), attribute.value.begin(), attribute.value.end());
  }
  if (wire.size() > kRadiusMaxPacketSize) throw std::length_error("RADIUS packet too long");
  wire[2] = static_cast<std::uint8_t>(wire.size() >> 8);
  wire[3] = static_cast<std::uint8_t>(wire.size());
  return wire;
}

std::optional<RadiusPacket> ParseRadiusPacket(std::span<const std::uint8_t> datagram,
                                              std::string& why) {
  if (datagram.size() < kRadiusHeaderSize) {
    why = "shorter than the RADIUS header";
    return std::nullopt;
  }
  const std::size_t length = (std::size_t{datagram[2]} << 8) | datagram[3];
  if (length < kRadiusHeaderSize || length > kRadiusMaxPacketSize) {
    why = "Length " + std::to_string(length) + " outside 20..4096";
    return std::nullopt;
  }
  if (length > datagram.size()) {
    why = "Length " + std::to_string(length) + " beyond the " +
          std::to_string(datagram.size()) + "-byte datagram";
    return std::nullopt;
  }
  RadiusPacket packet;
  packet.code = static_cast<RadiusCode>(datagram[0]);
  packet.identifier = datagram[1];
  std::copy(datagram.begin() + 4, datagram.begin() + 20, packet.authenticator.begin());
  for (std::size_t at = kRadiusHeaderSize; at < length;) {
    if (length - at < 2) {
      why = "attribute header cut off at byte " + std::to_string(at);
      return std::nullopt;
    }
    const std::size_t attributeLength = datagram[at + 1];
    if (attributeLength < 2 || attributeLength > length - at) {
      why = "attribute " + std::to_string(datagram[at]) + " of length " +
            std::to_string(attributeLength) + " at byte " + std::to_string(at);
      return std::nullopt;
    }
    packet.attributes.push_back(
        {datagram[at], RadiusBytes(datagram.begin() + at + 2, datagram.begin() + at + attributeLength)});
    at += attributeLength;
  }
  return packet;
}

}  // namespace simair
