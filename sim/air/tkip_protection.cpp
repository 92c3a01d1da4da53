#include "sim/air/tkip_protection.h"

#include "sim/air/authenticator_crypto.h"
#include "sim/air/wep_protection.h"

namespace simair {
namespace {

std::uint8_t GfDouble(std::uint8_t x) { return static_cast<std::uint8_t>(x << 1 ^ ((x & 0x80) != 0 ? 0x1B : 0)); }

// The AES S-box from its definition: the inverse in GF(2^8), then the affine map.
std::array<std::uint8_t, 256> AesSbox() {
  std::array<std::uint8_t, 256> box{};
  for (int x = 0; x < 256; ++x) {
    std::uint8_t inverse = 0;
    for (int y = 1; y < 256 && x != 0; ++y) {
      std::uint8_t product = 0, a = static_cast<std::uint8_t>(x), b = static_cast<std::uint8_t>(y);
      for (; b != 0; b >>= 1, a = GfDouble(a))
        if ((b & 1) != 0) product ^= a;
      if (product == 1) {
        inverse = static_cast<std::uint8_t>(y);
        break;
      }
    }
    std::uint8_t s = inverse;
    for (int shift = 1; shift <= 4; ++shift)
      s ^= static_cast<std::uint8_t>(inverse << shift | inverse >> (8 - shift));
    box[static_cast<std::size_t>(x)] = static_cast<std::uint8_t>(s ^ 0x63);
  }
  return box;
}

// TKIP's 16-bit S-box: 2·S(x) in the high byte, 3·S(x) in the low byte.
const std::array<std::uint16_t, 256>& TkipSbox() {
  static const std::array<std::uint16_t, 256> table = [] {
    const auto s = AesSbox();
    std::array<std::uint16_t, 256> t{};
    for (std::size_t i = 0; i < 256; ++i)
      t[i] = static_cast<std::uint16_t>(GfDouble(s[i]) << 8 | (GfDouble(s[i]) ^ s[i]));
    return t;
  }();
  return table;
}

std::uint16_t S(std::uint16_t v) { return TkipS(v); }

std::uint16_t Tk16(TemporalKey tk, int n) {
  return static_cast<std::uint16_t>(tk[static_cast<std::size_t>(2 * n + 1)] << 8 | tk[static_cast<std::size_t>(2 * n)]);
}

std::uint16_t RotR1(std::uint16_t v) { return static_cast<std::uint16_t>(v >> 1 | v << 15); }

std::array<std::uint8_t, 8> ExtendedIvHeader(std::uint64_t tsc, std::uint8_t keyId) {
  const auto b = [tsc](int n) { return static_cast<std::uint8_t>(tsc >> (8 * n)); };
  return {b(1), static_cast<std::uint8_t>((b(1) | 0x20) & 0x7F), b(0),
          static_cast<std::uint8_t>(0x20 | (keyId & 0x03) << 6), b(2), b(3), b(4), b(5)};
}

dot11::Bytes Rc4Frame(TemporalKey tk, const MacAddress& transmitter, std::uint64_t tsc, const dot11::Bytes& data) {
  const auto p1k = TkipPhase1(tk, transmitter, static_cast<std::uint32_t>(tsc >> 16));
  auto rc4Key = TkipPhase2(tk, p1k, static_cast<std::uint16_t>(tsc));
  air::Bytes key(rc4Key.begin(), rc4Key.end());
  dot11::Bytes out = air::Rc4(key, data);
  air::Wipe(key);
  rc4Key.fill(0);
  return out;
}

}  // namespace

std::uint16_t TkipS(std::uint16_t v) {
  const auto& t = TkipSbox();
  const std::uint16_t high = t[v >> 8];
  return static_cast<std::uint16_t>(t[v & 0xFF] ^ static_cast<std::uint16_t>(high << 8 | high >> 8));
}

std::array<std::uint16_t, 5> TkipPhase1(TemporalKey tk, const MacAddress& ta, std::uint32_t iv32) {
  std::array<std::uint16_t, 5> p{static_cast<std::uint16_t>(iv32), static_cast<std::uint16_t>(iv32 >> 16),
                                 static_cast<std::uint16_t>(ta[1] << 8 | ta[0]),
                                 static_cast<std::uint16_t>(ta[3] << 8 | ta[2]),
                                 static_cast<std::uint16_t>(ta[5] << 8 | ta[4])};
  for (int i = 0; i < 8; ++i) {
    const int j = i & 1;  // key words 0, 2, 4, 6 or 1, 3, 5, 7
    p[0] = static_cast<std::uint16_t>(p[0] + S(p[4] ^ Tk16(tk, j)));
    p[1] = static_cast<std::uint16_t>(p[1] + S(p[0] ^ Tk16(tk, j + 2)));
    p[2] = static_cast<std::uint16_t>(p[2] + S(p[1] ^ Tk16(tk, j + 4)));
    p[3] = static_cast<std::uint16_t>(p[3] + S(p[2] ^ Tk16(tk, j + 6)));
    p[4] = static_cast<std::uint16_t>(p[4] + S(p[3] ^ Tk16(tk, j)) + i);
  }
  return p;
}

std::array<std::uint8_t, 16> TkipPhase2(TemporalKey tk, const std::array<std::uint16_t, 5>& p1k, std::uint16_t iv16) {
  std::array<std::uint16_t, 6> p{p1k[0], p1k[1], p1k[2], p1k[3], p1k[4], static_cast<std::uint16_t>(p1k[4] + iv16)};
  for (int i = 0; i < 6; ++i)
    p[static_cast<std::size_t>(i)] = static_cast<std::uint16_t>(
        p[static_cast<std::size_t>(i)] + S(p[static_cast<std::size_t>((i + 5) % 6)] ^ Tk16(tk, i)));
  p[0] = static_cast<std::uint16_t>(p[0] + RotR1(p[5] ^ Tk16(tk, 6)));
  p[1] = static_cast<std::uint16_t>(p[1] + RotR1(p[0] ^ Tk16(tk, 7)));
  for (std::size_t i = 2; i < 6; ++i) p[i] = static_cast<std::uint16_t>(p[i] + RotR1(p[i - 1]));
  std::array<std::uint8_t, 16> key{};
  key[0] = static_cast<std::uint8_t>(iv16 >> 8);
  key[1] = static_cast<std::uint8_t>(((iv16 >> 8) | 0x20) & 0x7F);
  key[2] = static_cast<std::uint8_t>(iv16);
  key[3] = static_cast<std::uint8_t>((p[5] ^ Tk16(tk, 0)) >> 1);
  for (std::size_t i = 0; i < 6; ++i) {
    key[4 + 2 * i] = static_cast<std::uint8_t>(p[i]);
    key[5 + 2 * i] = static_cast<std::uint8_t>(p[i] >> 8);
  }
  return key;
}

dot11::Bytes TkipSeal(TemporalKey tk, const MacAddress& transmitter, std::uint64_t tsc, std::uint8_t keyId,
                      std::span<const std::uint8_t> plain) {
  dot11::Bytes data(plain.begin(), plain.end());
  const std::uint32_t icv = Crc32(plain);
  for (int i = 0; i < 4; ++i) data.push_back(static_cast<std::uint8_t>(icv >> (8 * i)));
  const auto header = ExtendedIvHeader(tsc, keyId);
  dot11::Bytes body(header.begin(), header.end());
  const dot11::Bytes sealed = Rc4Frame(tk, transmitter, tsc, data);
  body.insert(body.end(), sealed.begin(), sealed.end());
  return body;
}

std::optional<TkipOpened> TkipOpen(TemporalKey tk, const MacAddress& transmitter, std::optional<std::uint64_t> last,
                                   std::span<const std::uint8_t> body, Refusal& why) {
  why = Refusal::TooShort;
  if (body.size() < kTkipHeaderBytes + kTkipIcvBytes) return std::nullopt;
  why = Refusal::NoExtendedIv;
  if ((body[3] & 0x20) == 0) return std::nullopt;
  const std::uint64_t tsc = TkipTsc(body.first<8>());
  why = Refusal::Replay;
  if (last && tsc <= *last) return std::nullopt;
  dot11::Bytes data = Rc4Frame(tk, transmitter, tsc, dot11::Bytes(body.begin() + kTkipHeaderBytes, body.end()));
  const std::size_t length = data.size() - kTkipIcvBytes;
  std::uint32_t icv = 0;
  for (int i = 3; i >= 0; --i) icv = icv << 8 | data[length + static_cast<std::size_t>(i)];
  why = Refusal::Integrity;
  if (icv != Crc32(std::span(data).first(length))) return std::nullopt;
  data.resize(length);
  why = Refusal::None;
  return TkipOpened{std::move(data), tsc};
}

}  // namespace simair
