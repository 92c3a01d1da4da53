#pragma once
// Frames as an access point or a peer sends them, in the chip layout the core receives: for
// the core's tests and the seeds of its fuzz harnesses.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace zelnic::core::testing {

using Address = std::array<std::uint8_t, 6>;

inline constexpr Address kApAddress = {0x00, 0x0C, 0x41, 0x10, 0x20, 0x30};
inline constexpr Address kOtherAp = {0x00, 0x0C, 0x41, 0x40, 0x50, 0x60};
inline constexpr Address kBroadcast = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// A beacon or probe response: fixed fields, then the elements in the order added.
struct TestBeacon {
  std::uint8_t subtype = 8;  // 5 for a probe response
  Address bssid = kApAddress;
  Address destination = kBroadcast;
  std::uint16_t interval = 100;
  std::uint16_t capability = 0x0001;  // ESS
  std::uint64_t timestamp = 0x0102030405060708;
  std::vector<std::uint8_t> elements;

  TestBeacon& element(std::uint8_t id, const std::vector<std::uint8_t>& content) {
    elements.push_back(id);
    elements.push_back(static_cast<std::uint8_t>(content.size()));
    elements.insert(elements.end(), content.begin(), content.end());
    return *this;
  }
  TestBeacon& ssid(const std::string& name) { return element(0, std::vector<std::uint8_t>(name.begin(), name.end())); }
  TestBeacon& rates(const std::vector<std::uint8_t>& codes) { return element(1, codes); }
  TestBeacon& extendedRates(const std::vector<std::uint8_t>& codes) { return element(50, codes); }
  TestBeacon& channel(std::uint8_t number) { return element(3, {number}); }
  // The usual beacon of an 802.11g access point.
  static TestBeacon Typical(const std::string& name, std::uint8_t channelNumber) {
    TestBeacon b;
    b.ssid(name).rates({0x82, 0x84, 0x8B, 0x96, 0x0C, 0x12, 0x18, 0x24}).channel(channelNumber);
    b.element(5, {0x00, 0x01, 0x00, 0x00}).element(42, {0x00}).extendedRates({0x30, 0x48, 0x60, 0x6C});
    return b;
  }

  // The chip layout: u16 body length, frame control, duration, addresses 1-3, sequence
  // control, address 4, body.
  std::vector<std::uint8_t> chipFrame() const {
    std::vector<std::uint8_t> f(32, 0);
    f[2] = static_cast<std::uint8_t>(subtype << 4);
    std::copy(destination.begin(), destination.end(), f.begin() + 6);
    std::copy(bssid.begin(), bssid.end(), f.begin() + 12);
    std::copy(bssid.begin(), bssid.end(), f.begin() + 18);
    for (int i = 0; i < 8; ++i) f.push_back(static_cast<std::uint8_t>(timestamp >> (8 * i)));
    f.push_back(static_cast<std::uint8_t>(interval));
    f.push_back(static_cast<std::uint8_t>(interval >> 8));
    f.push_back(static_cast<std::uint8_t>(capability));
    f.push_back(static_cast<std::uint8_t>(capability >> 8));
    f.insert(f.end(), elements.begin(), elements.end());
    const std::size_t body = f.size() - 32;
    f[0] = static_cast<std::uint8_t>(body);
    f[1] = static_cast<std::uint8_t>(body >> 8);
    return f;
  }
};

// A data frame from the access point (FromDS), in the chip layout.
inline std::vector<std::uint8_t> DataFrame(const Address& transmitter, std::uint16_t sequence, int fragment, bool more,
                                           std::uint32_t bodyBytes, std::uint8_t fill) {
  std::vector<std::uint8_t> f(32 + bodyBytes, fill);
  std::fill(f.begin(), f.begin() + 32, 0);
  f[0] = static_cast<std::uint8_t>(bodyBytes);
  f[1] = static_cast<std::uint8_t>(bodyBytes >> 8);
  f[2] = 0x08;
  f[3] = static_cast<std::uint8_t>(0x02 | (more ? 0x04 : 0));
  std::copy(transmitter.begin(), transmitter.end(), f.begin() + 12);
  const std::uint16_t control = static_cast<std::uint16_t>(sequence << 4 | fragment);
  f[24] = static_cast<std::uint8_t>(control);
  f[25] = static_cast<std::uint8_t>(control >> 8);
  return f;
}

}  // namespace zelnic::core::testing
