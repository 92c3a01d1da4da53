#include "sim/air/wep_protection.h"

#include <algorithm>
#include <array>

#include "sim/air/authenticator_crypto.h"

namespace simair {
namespace {

// The reflected polynomial 0xEDB88320, one table built at first use.
const std::array<std::uint32_t, 256>& CrcTable() {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) != 0 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[n] = c;
    }
    return t;
  }();
  return table;
}

// IV | key, the WEP seed (wiped by the caller once used).
air::Bytes WepSeed(std::span<const std::uint8_t, 3> iv, std::span<const std::uint8_t> key) {
  air::Bytes seed(iv.size() + key.size());
  std::copy(iv.begin(), iv.end(), seed.begin());
  std::copy(key.begin(), key.end(), seed.begin() + 3);
  return seed;
}

// RC4 under a per-frame key (its copy is wiped once used).
dot11::Bytes Rc4Under(std::span<const std::uint8_t> seed, const dot11::Bytes& data) {
  air::Bytes key(seed.begin(), seed.end());
  dot11::Bytes out = air::Rc4(key, data);
  air::Wipe(key);
  return out;
}

}  // namespace

std::uint32_t Crc32(std::span<const std::uint8_t> data) {
  const auto& table = CrcTable();
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::uint8_t byte : data) crc = table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

std::array<std::uint8_t, 3> IvBytes(std::uint32_t iv) {
  return {static_cast<std::uint8_t>(iv >> 16), static_cast<std::uint8_t>(iv >> 8), static_cast<std::uint8_t>(iv)};
}

dot11::Bytes SealUnderSeed(std::span<const std::uint8_t> seed, std::uint32_t iv, std::uint8_t keyId,
                           std::span<const std::uint8_t> plain) {
  const auto ivBytes = IvBytes(iv);
  dot11::Bytes data(plain.begin(), plain.end());
  const std::uint32_t icv = Crc32(plain);
  for (int i = 0; i < 4; ++i) data.push_back(static_cast<std::uint8_t>(icv >> (8 * i)));
  dot11::Bytes body{ivBytes[0], ivBytes[1], ivBytes[2], static_cast<std::uint8_t>((keyId & 0x03) << 6)};
  const dot11::Bytes sealed = Rc4Under(seed, data);
  body.insert(body.end(), sealed.begin(), sealed.end());
  return body;
}

std::optional<dot11::Bytes> OpenUnderSeed(std::span<const std::uint8_t> seed, std::span<const std::uint8_t> body) {
  if (body.size() < kWepHeaderBytes + kWepIcvBytes) return std::nullopt;
  dot11::Bytes data = Rc4Under(seed, dot11::Bytes(body.begin() + kWepHeaderBytes, body.end()));
  const std::size_t length = data.size() - kWepIcvBytes;
  std::uint32_t icv = 0;
  for (int i = 3; i >= 0; --i) icv = icv << 8 | data[length + static_cast<std::size_t>(i)];
  if (icv != Crc32(std::span(data).first(length))) return std::nullopt;
  data.resize(length);
  return data;
}

dot11::Bytes WepSeal(std::span<const std::uint8_t> key, std::uint32_t iv, std::uint8_t keyId,
                     std::span<const std::uint8_t> plain) {
  air::Bytes seed = WepSeed(IvBytes(iv), key);
  dot11::Bytes body = SealUnderSeed(seed, iv, keyId, plain);
  air::Wipe(seed);
  return body;
}

std::optional<std::uint8_t> WepKeyIdOf(std::span<const std::uint8_t> body) {
  if (body.size() < kWepHeaderBytes + kWepIcvBytes) return std::nullopt;
  return static_cast<std::uint8_t>(body[3] >> 6);
}

std::optional<dot11::Bytes> WepOpen(std::span<const std::uint8_t> key, std::span<const std::uint8_t> body) {
  if (body.size() < kWepHeaderBytes + kWepIcvBytes || key.empty()) return std::nullopt;
  air::Bytes seed = WepSeed(body.first<3>(), key);
  auto data = OpenUnderSeed(seed, body);
  air::Wipe(seed);
  return data;
}

}  // namespace simair
