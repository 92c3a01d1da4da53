#include "driver/core/tkip_key_mixing.h"

#include <array>

#include "driver/core/aes_sbox.h"

namespace zelnic::core {
namespace {

// TKIP's 16-bit S-box: each entry is (2·S[x]) << 8 | 3·S[x].
constexpr std::array<std::uint16_t, 256> MakeTkipSbox() {
  const std::array<std::uint8_t, 256>& aes = kAesSbox;
  std::array<std::uint16_t, 256> table{};
  for (int x = 0; x < 256; ++x) {
    const std::uint8_t two = AesTimes2(aes[x]);
    table[x] = static_cast<std::uint16_t>(two << 8 | static_cast<std::uint8_t>(two ^ aes[x]));
  }
  return table;
}
constexpr std::array<std::uint16_t, 256> kSbox = MakeTkipSbox();

constexpr std::uint16_t S(std::uint16_t v) {
  const std::uint16_t high = kSbox[v >> 8];
  return static_cast<std::uint16_t>(kSbox[v & 0xFF] ^ static_cast<std::uint16_t>(high << 8 | high >> 8));
}
constexpr std::uint16_t Mk16(std::uint8_t high, std::uint8_t low) { return static_cast<std::uint16_t>(high << 8 | low); }
constexpr std::uint16_t RotR1(std::uint16_t v) { return static_cast<std::uint16_t>(v >> 1 | v << 15); }
inline std::uint16_t Key16(const std::uint8_t* tk, int i) { return Mk16(tk[i + 1], tk[i]); }

}  // namespace

std::uint16_t TkipSbox(std::uint16_t value) { return S(value); }

void TkipPhase1(const std::uint8_t tk[16], const std::uint8_t ta[6], std::uint32_t iv32, TkipPhase1Key& out) {
  std::uint16_t* p = out.ttak;
  p[0] = static_cast<std::uint16_t>(iv32);
  p[1] = static_cast<std::uint16_t>(iv32 >> 16);
  p[2] = Mk16(ta[1], ta[0]);
  p[3] = Mk16(ta[3], ta[2]);
  p[4] = Mk16(ta[5], ta[4]);
  for (int i = 0; i < 8; ++i) {
    const int j = 2 * (i & 1);
    p[0] = static_cast<std::uint16_t>(p[0] + S(p[4] ^ Key16(tk, 0 + j)));
    p[1] = static_cast<std::uint16_t>(p[1] + S(p[0] ^ Key16(tk, 4 + j)));
    p[2] = static_cast<std::uint16_t>(p[2] + S(p[1] ^ Key16(tk, 8 + j)));
    p[3] = static_cast<std::uint16_t>(p[3] + S(p[2] ^ Key16(tk, 12 + j)));
    p[4] = static_cast<std::uint16_t>(p[4] + S(p[3] ^ Key16(tk, 0 + j)) + i);
  }
}

void TkipPhase2(const std::uint8_t tk[16], const TkipPhase1Key& phase1, std::uint16_t iv16, std::uint8_t rc4Key[16]) {
  std::uint16_t ppk[6];
  for (int i = 0; i < 5; ++i) ppk[i] = phase1.ttak[i];
  ppk[5] = static_cast<std::uint16_t>(phase1.ttak[4] + iv16);
  for (int i = 0; i < 6; ++i) ppk[i] = static_cast<std::uint16_t>(ppk[i] + S(ppk[(i + 5) % 6] ^ Key16(tk, 2 * i)));
  ppk[0] = static_cast<std::uint16_t>(ppk[0] + RotR1(ppk[5] ^ Key16(tk, 12)));
  ppk[1] = static_cast<std::uint16_t>(ppk[1] + RotR1(ppk[0] ^ Key16(tk, 14)));
  for (int i = 2; i < 6; ++i) ppk[i] = static_cast<std::uint16_t>(ppk[i] + RotR1(ppk[i - 1]));
  rc4Key[0] = static_cast<std::uint8_t>(iv16 >> 8);
  rc4Key[1] = static_cast<std::uint8_t>(((iv16 >> 8) | 0x20) & 0x7F);  // avoids the weak RC4 keys
  rc4Key[2] = static_cast<std::uint8_t>(iv16);
  rc4Key[3] = static_cast<std::uint8_t>((ppk[5] ^ Key16(tk, 0)) >> 1);
  for (int i = 0; i < 6; ++i) {
    rc4Key[4 + 2 * i] = static_cast<std::uint8_t>(ppk[i]);
    rc4Key[5 + 2 * i] = static_cast<std::uint8_t>(ppk[i] >> 8);
  }
  volatile std::uint16_t* wipe = ppk;
  for (int i = 0; i < 6; ++i) wipe[i] = 0;
}

}  // namespace zelnic::core
