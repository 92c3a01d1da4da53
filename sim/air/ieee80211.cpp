#include "sim/air/ieee80211.h"

#include <algorithm>
#include <cstdio>

namespace simair::dot11 {

FrameType FrameView::type() const {
  return hasFrameControl() ? static_cast<FrameType>((bytes_[0] >> 2) & 0x03) : FrameType::Management;
}

std::uint8_t FrameView::subtype() const { return hasFrameControl() ? bytes_[0] >> 4 : 0; }

std::uint8_t FrameView::flags() const { return hasFrameControl() ? bytes_[1] : 0; }

bool FrameView::is(FrameType wanted, std::uint8_t wantedSubtype) const {
  // Protocol version other than 0 is not a frame we understand.
  return hasFrameControl() && (bytes_[0] & 0x03) == 0 && type() == wanted && subtype() == wantedSubtype;
}

std::span<const std::uint8_t> FrameView::managementBody() const {
  return bytes_.size() > 24 ? bytes_.subspan(24) : std::span<const std::uint8_t>{};
}

std::optional<MacAddress> FrameView::addressAt(std::size_t offset) const {
  if (bytes_.size() < offset + 6) return std::nullopt;
  MacAddress address;
  std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), 6, address.begin());
  return address;
}

std::optional<std::span<const std::uint8_t>> FindElement(std::span<const std::uint8_t> elements,
                                                         std::uint8_t id) {
  std::size_t at = 0;
  while (at + 2 <= elements.size()) {
    const std::size_t length = elements[at + 1];
    if (at + 2 + length > elements.size()) return std::nullopt;
    if (elements[at] == id) return elements.subspan(at + 2, length);
    at += 2 + length;
  }
  return std::nullopt;
}

void FrameWriter::u16(std::uint16_t value) {
  u8(static_cast<std::uint8_t>(value));
  u8(static_cast<std::uint8_t>(value >> 8));
}

void FrameWriter::u64(std::uint64_t value) {
  for (int i = 0; i < 8; ++i) u8(static_cast<std::uint8_t>(value >> (8 * i)));
}

void FrameWriter::address(const MacAddress& address) { raw(address); }

void FrameWriter::raw(std::span<const std::uint8_t> data) { bytes_.insert(bytes_.end(), data.begin(), data.end()); }

void FrameWriter::element(std::uint8_t id, std::span<const std::uint8_t> body) {
  const std::size_t length = std::min<std::size_t>(body.size(), 255);
  u8(id);
  u8(static_cast<std::uint8_t>(length));
  raw(body.first(length));
}

void FrameWriter::header(FrameType type, std::uint8_t subtype, std::uint8_t flags, const MacAddress& a1,
                         const MacAddress& a2, const MacAddress& a3, std::uint16_t sequence) {
  u8(static_cast<std::uint8_t>((static_cast<unsigned>(type) << 2) | (subtype << 4)));
  u8(flags);
  u16(0);  // duration: the medium keeps no NAV
  address(a1);
  address(a2);
  address(a3);
  u16(static_cast<std::uint16_t>((sequence & 0x0FFF) << 4));
}

int ChannelFrequencyMhz(std::uint8_t channel) {
  if (channel >= 1 && channel <= 13) return 2407 + 5 * channel;
  if (channel == 14) return 2484;
  return 0;
}

std::string FormatAddress(const MacAddress& address) {
  char text[18];
  std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", address[0], address[1], address[2],
                address[3], address[4], address[5]);
  return text;
}

std::optional<MacAddress> ParseAddress(std::string_view text) {
  // Six pairs of hex digits separated by ':' or '-'.
  if (text.size() != 17) return std::nullopt;
  MacAddress address;
  for (std::size_t i = 0; i < 6; ++i) {
    if (i > 0 && text[3 * i - 1] != ':' && text[3 * i - 1] != '-') return std::nullopt;
    int value = 0;
    for (std::size_t j = 0; j < 2; ++j) {
      const char c = text[3 * i + j];
      int digit;
      if (c >= '0' && c <= '9') digit = c - '0';
      else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
      else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
      else return std::nullopt;
      value = value * 16 + digit;
    }
    address[i] = static_cast<std::uint8_t>(value);
  }
  return address;
}

}  // namespace simair::dot11
