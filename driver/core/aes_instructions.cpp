// Every function that uses the AES instructions carries the target attribute, so the rest of
// the driver is compiled for the baseline CPU and runs where they are missing; they are
// called only after CPUID said the CPU has them.
#include "driver/core/aes_instructions.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>

#define ZL_AES_TARGET __attribute__((target("aes")))
#define ZL_AES_INLINE __attribute__((target("aes"), always_inline)) inline

namespace zelnic::core {
namespace {

// One step of the key expansion: w[i..i+3] from w[i-4..i-1], the round constant fixed at
// compile time as the instruction wants it.
template <int kRoundConstant>
ZL_AES_INLINE __m128i NextRoundKey(__m128i key) {
  __m128i t = _mm_aeskeygenassist_si128(key, kRoundConstant);
  t = _mm_shuffle_epi32(t, 0xFF);  // RotWord(SubWord(w[i-1])) xor the constant, in every column
  key = _mm_xor_si128(key, _mm_slli_si128(key, 4));
  key = _mm_xor_si128(key, _mm_slli_si128(key, 8));  // each column now the xor of those before it
  return _mm_xor_si128(key, t);
}

const __m128i* Keys(const AesKeySchedule& schedule) { return reinterpret_cast<const __m128i*>(schedule.roundKeys); }

ZL_AES_INLINE __m128i Encrypt(__m128i x, const __m128i* k) {
  x = _mm_xor_si128(x, _mm_load_si128(k));
  for (int round = 1; round < 10; ++round) x = _mm_aesenc_si128(x, _mm_load_si128(k + round));
  return _mm_aesenclast_si128(x, _mm_load_si128(k + 10));
}

// Two blocks round by round: the second's rounds run in the first's latency.
ZL_AES_INLINE void EncryptTwo(__m128i& a, __m128i& b, const __m128i* k) {
  const __m128i k0 = _mm_load_si128(k);
  a = _mm_xor_si128(a, k0);
  b = _mm_xor_si128(b, k0);
  for (int round = 1; round < 10; ++round) {
    const __m128i kr = _mm_load_si128(k + round);
    a = _mm_aesenc_si128(a, kr);
    b = _mm_aesenc_si128(b, kr);
  }
  const __m128i k10 = _mm_load_si128(k + 10);
  a = _mm_aesenclast_si128(a, k10);
  b = _mm_aesenclast_si128(b, k10);
}

ZL_AES_INLINE __m128i LoadBlock(const std::uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }
ZL_AES_INLINE void StoreBlock(std::uint8_t* p, __m128i x) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), x); }

// Counter block i: A0 with its last two bytes (big-endian) set to i.
ZL_AES_INLINE __m128i CounterBlock(__m128i a0, std::uint32_t i) {
  return _mm_insert_epi16(a0, static_cast<int>((i >> 8 & 0xFF) | (i & 0xFF) << 8), 7);
}

}  // namespace

bool CpuHasAesInstructions() {
  static const bool has = [] {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    return __get_cpuid(1, &eax, &ebx, &ecx, &edx) != 0 && (ecx & bit_AES) != 0;
  }();
  return has;
}

ZL_AES_TARGET void AesInstructionsExpandKey(const std::uint8_t key[16], AesKeySchedule& schedule) {
  __m128i* k = reinterpret_cast<__m128i*>(schedule.roundKeys);
  __m128i w = LoadBlock(key);
  _mm_store_si128(k, w);
  _mm_store_si128(k + 1, w = NextRoundKey<0x01>(w));
  _mm_store_si128(k + 2, w = NextRoundKey<0x02>(w));
  _mm_store_si128(k + 3, w = NextRoundKey<0x04>(w));
  _mm_store_si128(k + 4, w = NextRoundKey<0x08>(w));
  _mm_store_si128(k + 5, w = NextRoundKey<0x10>(w));
  _mm_store_si128(k + 6, w = NextRoundKey<0x20>(w));
  _mm_store_si128(k + 7, w = NextRoundKey<0x40>(w));
  _mm_store_si128(k + 8, w = NextRoundKey<0x80>(w));
  _mm_store_si128(k + 9, w = NextRoundKey<0x1B>(w));
  _mm_store_si128(k + 10, NextRoundKey<0x36>(w));
}

ZL_AES_TARGET void AesInstructionsEncryptBlock(const std::uint8_t in[16], std::uint8_t out[16],
                                               const AesKeySchedule& schedule) {
  StoreBlock(out, Encrypt(LoadBlock(in), Keys(schedule)));
}

ZL_AES_TARGET void AesInstructionsEncryptTwoBlocks(const std::uint8_t a[16], std::uint8_t aOut[16],
                                                   const std::uint8_t b[16], std::uint8_t bOut[16],
                                                   const AesKeySchedule& schedule) {
  __m128i x = LoadBlock(a), y = LoadBlock(b);
  EncryptTwo(x, y, Keys(schedule));
  StoreBlock(aOut, x);
  StoreBlock(bOut, y);
}

// The pass of PortableCcmPass with the MAC and the counter in registers: the MAC's chain of
// rounds sets the pace, and the next counter block's rounds run in its waits.
ZL_AES_TARGET void AesInstructionsCcmPass(const AesKeySchedule& schedule, const CcmFirstBlocks& first,
                                          CcmDirection direction, std::uint8_t* data, std::uint32_t length,
                                          std::uint8_t mic[kCcmMicBytes]) {
  const __m128i* k = Keys(schedule);
  const __m128i a0 = LoadBlock(first.a0);
  __m128i x = LoadBlock(first.b0), s0 = a0;
  EncryptTwo(x, s0, k);
  x = Encrypt(_mm_xor_si128(x, LoadBlock(first.aad)), k);
  x = _mm_xor_si128(x, LoadBlock(first.aad + 16));
  __m128i s = CounterBlock(a0, 1);
  EncryptTwo(x, s, k);

  const bool encrypt = direction == CcmDirection::kEncrypt;
  std::uint32_t at = 0, block = 1;
  for (; at + 16 <= length; at += 16, ++block) {
    const __m128i in = LoadBlock(data + at);
    const __m128i out = _mm_xor_si128(in, s);
    StoreBlock(data + at, out);
    x = _mm_xor_si128(x, encrypt ? in : out);  // the MAC runs over the plaintext
    if (at + 16 < length) {
      s = CounterBlock(a0, block + 1);
      EncryptTwo(x, s, k);
    } else {
      x = Encrypt(x, k);
    }
  }
  if (at < length) {  // a last partial block, zero-padded for the MAC
    const std::uint32_t n = length - at;
    alignas(16) std::uint8_t tail[16] = {};
    std::memcpy(tail, data + at, n);
    const __m128i in = _mm_load_si128(reinterpret_cast<const __m128i*>(tail));
    _mm_store_si128(reinterpret_cast<__m128i*>(tail), _mm_xor_si128(in, s));
    std::memcpy(data + at, tail, n);
    if (encrypt) {
      x = _mm_xor_si128(x, in);
    } else {
      std::memset(tail + n, 0, 16 - n);
      x = _mm_xor_si128(x, _mm_load_si128(reinterpret_cast<const __m128i*>(tail)));
    }
    x = Encrypt(x, k);
  }
  alignas(16) std::uint8_t tag[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(tag), _mm_xor_si128(x, s0));
  std::memcpy(mic, tag, kCcmMicBytes);
}

}  // namespace zelnic::core

#else  // no AES instructions on this architecture: the table code always

namespace zelnic::core {

bool CpuHasAesInstructions() { return false; }
void AesInstructionsExpandKey(const std::uint8_t*, AesKeySchedule&) {}
void AesInstructionsEncryptBlock(const std::uint8_t*, std::uint8_t*, const AesKeySchedule&) {}
void AesInstructionsEncryptTwoBlocks(const std::uint8_t*, std::uint8_t*, const std::uint8_t*, std::uint8_t*,
                                     const AesKeySchedule&) {}
void AesInstructionsCcmPass(const AesKeySchedule&, const CcmFirstBlocks&, CcmDirection, std::uint8_t*, std::uint32_t,
                            std::uint8_t*) {}

}  // namespace zelnic::core

#endif
