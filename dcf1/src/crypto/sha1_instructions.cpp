// SHA-1's compression on the CPU's SHA instructions (SHA-NI): four steps per instruction,
// the message schedule in vector registers. Every function here carries the target
// attribute, so the library stays built for the baseline CPU; they run only after CPUID said
// the CPU has the instructions.
#include <utility>

#include "dcf1/src/crypto/sha1_compress.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>

#define ZL_SHA_INLINE __attribute__((target("sha,ssse3"), always_inline)) inline

namespace {

// The working words a..d in one register (a in the top column), e kept beside them in the
// top column of another, and the last four message vectors (w[4i..4i+3], first word on top).
struct Rounds {
  __m128i abcd;
  __m128i e;
  __m128i before;  // abcd as it was before the last group of four steps
  __m128i m[4];
};

ZL_SHA_INLINE __m128i LoadWords(const std::uint8_t* p) {
  // The block's big-endian words, the first on top: all 16 bytes reversed.
  const __m128i reverse = _mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15);
  return _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), reverse);
}

// Steps 4g..4g+3: the message words (loaded or scheduled), e added to the first, then four
// steps with the function and constant of steps 20·(g/5).
template <int kGroup>
ZL_SHA_INLINE void Group(Rounds& r, const std::uint8_t* block) {
  __m128i& w = r.m[kGroup & 3];
  if constexpr (kGroup < 4) {
    w = LoadWords(block + 16 * kGroup);
  } else {  // w[t] = (w[t-3] ^ w[t-8] ^ w[t-14] ^ w[t-16]) <<< 1, four at a time
    w = _mm_sha1msg2_epu32(_mm_xor_si128(_mm_sha1msg1_epu32(w, r.m[(kGroup + 1) & 3]), r.m[(kGroup + 2) & 3]),
                           r.m[(kGroup + 3) & 3]);
  }
  // The e of steps 4g.. is a of four steps earlier rotated by 30 (sha1nexte), save the first.
  const __m128i we = kGroup == 0 ? _mm_add_epi32(r.e, w) : _mm_sha1nexte_epu32(r.before, w);
  r.before = r.abcd;
  r.abcd = _mm_sha1rnds4_epu32(r.abcd, we, kGroup / 5);
}

template <int... kGroups>
ZL_SHA_INLINE void AllGroups(Rounds& r, const std::uint8_t* block, std::integer_sequence<int, kGroups...>) {
  (Group<kGroups>(r, block), ...);
}

}  // namespace

bool crypto_detail::CpuHasShaExtensions() {
  static const bool has = [] {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0 || (ecx & bit_SSSE3) == 0) return false;
    return __get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) != 0 && (ebx & bit_SHA) != 0;
  }();
  return has;
}

__attribute__((target("sha,ssse3"))) void crypto_detail::Sha1InstructionsCompress(std::uint32_t state[5],
                                                                                 const std::uint8_t* blocks,
                                                                                 std::size_t count) {
  Rounds r;
  r.abcd = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0x1B);  // a on top
  r.e = _mm_set_epi32(static_cast<int>(state[4]), 0, 0, 0);
  for (; count > 0; --count, blocks += 64) {
    const __m128i abcdBefore = r.abcd, eBefore = r.e;
    AllGroups(r, blocks, std::make_integer_sequence<int, 20>{});
    r.e = _mm_sha1nexte_epu32(r.before, eBefore);  // the last e, added to the block's first
    r.abcd = _mm_add_epi32(r.abcd, abcdBefore);
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_shuffle_epi32(r.abcd, 0x1B));
  state[4] = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(r.e, 12)));
}

#else  // no SHA instructions on this architecture: the portable code always

bool crypto_detail::CpuHasShaExtensions() { return false; }
void crypto_detail::Sha1InstructionsCompress(std::uint32_t*, const std::uint8_t*, std::size_t) {}

#endif
