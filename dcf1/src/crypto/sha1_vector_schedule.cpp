// SHA-1's compression with the message schedule computed in AVX2 vector registers, four
// words of two blocks at a time (one block in each 128-bit half), each word with its step's
// constant already added, so that the 80 steps in ordinary registers do only the steps' own
// work. For CPUs without the SHA instructions (or with them denied). Every function here
// carries the target attribute; they run only after CPUID said the CPU and the system have
// AVX2, BMI1 and BMI2.
#include <utility>

#include "dcf1/src/crypto/block_hash.h"
#include "dcf1/src/crypto/sha1_compress.h"
#include "dcf1/src/crypto/sha1_steps.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>

#define ZL_SCHEDULE_TARGET __attribute__((target("avx2,bmi,bmi2")))
#define ZL_SCHEDULE_INLINE __attribute__((target("avx2,bmi,bmi2"), always_inline)) inline

namespace crypto_detail {
namespace {

constexpr std::uint32_t kConstants[4] = {kSha1K0, kSha1K1, kSha1K2, kSha1K3};

// The schedules of two blocks: their w[4g..4g+3] side by side (the first word in the lowest
// column of each half), the last four groups kept in a ring, and their sums with the steps'
// constants for the steps (wk[0] the first block's, wk[1] the second's).
struct Schedules {
  __m256i w[4];
  std::uint32_t* wk[2];
};

ZL_SCHEDULE_INLINE __m256i RotateLeft1(__m256i x) {
  return _mm256_or_si256(_mm256_slli_epi32(x, 1), _mm256_srli_epi32(x, 31));
}

template <int kGroup, bool kSecond>
ZL_SCHEDULE_INLINE void Schedule(Schedules& s, const std::uint8_t* first, const std::uint8_t* second) {
  __m256i& x = s.w[kGroup & 3];
  if constexpr (kGroup < 4) {
    const __m256i swap = _mm256_broadcastsi128_si256(
        _mm_set_epi8(12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3));  // big-endian words
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(first + 16 * kGroup));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(second + 16 * kGroup));
    x = _mm256_shuffle_epi8(_mm256_inserti128_si256(_mm256_castsi128_si256(a), b, 1), swap);
  } else {
    // w[t] = (w[t-3] ^ w[t-8] ^ w[t-14] ^ w[t-16]) <<< 1 for t = 4g..4g+3, where x holds
    // w[t-16..t-13]. The last word's w[t-3] is this group's first word: left out at first,
    // then its rotated contribution is added.
    const __m256i minus12 = s.w[(kGroup + 1) & 3], minus8 = s.w[(kGroup + 2) & 3], minus4 = s.w[(kGroup + 3) & 3];
    const __m256i minus3 = _mm256_srli_si256(minus4, 4);        // w[t-3..t-1], 0
    const __m256i minus14 = _mm256_alignr_epi8(minus12, x, 8);  // w[t-14..t-11]
    const __m256i r =
        RotateLeft1(_mm256_xor_si256(_mm256_xor_si256(minus3, minus8), _mm256_xor_si256(minus14, x)));
    x = _mm256_xor_si256(r, RotateLeft1(_mm256_slli_si256(r, 12)));
  }
  const __m256i sum = _mm256_add_epi32(x, _mm256_set1_epi32(static_cast<int>(kConstants[kGroup / 5])));
  _mm_store_si128(reinterpret_cast<__m128i*>(s.wk[0] + 4 * kGroup), _mm256_castsi256_si128(sum));
  if constexpr (kSecond) {
    _mm_store_si128(reinterpret_cast<__m128i*>(s.wk[1] + 4 * kGroup), _mm256_extracti128_si256(sum, 1));
  }
}

// Step t on the working words v, a..e named in their rotated order.
template <int t>
ZL_SCHEDULE_INLINE void StepAt(std::uint32_t (&v)[5], const std::uint32_t* wk) {
  constexpr int a = (100 - t) % 5, b = (101 - t) % 5, c = (102 - t) % 5, d = (103 - t) % 5, e = (104 - t) % 5;
  const std::uint32_t oldB = v[b];
  std::uint32_t f;
  if constexpr (t < 20) {
    f = (oldB & v[c]) + (~oldB & v[d]);  // Choose with BMI's and-not: the two terms share no bit
  } else if constexpr (t >= 40 && t < 60) {
    f = Sha1Majority(oldB, v[c], v[d]);
  } else {
    f = Sha1Parity(oldB, v[c], v[d]);
  }
  v[b] = std::rotl(oldB, 30);
  v[e] = v[e] + wk[t] + f + std::rotl(v[a], 5);  // a's term last: only it waits for the step before
}

// The steps read their scheduled words from memory, as an operand of their adds: through a
// pointer the compiler cannot trace back to the vector stores, or it would pull the words
// out of the vector registers one at a time, which costs more.
ZL_SCHEDULE_INLINE const std::uint32_t* Opaque(const std::uint32_t* p) {
  __asm__("" : "+r"(p));
  return p;
}

template <int... kSteps>
ZL_SCHEDULE_INLINE void Steps(std::uint32_t (&v)[5], const std::uint32_t* wk, std::integer_sequence<int, kSteps...>) {
  (StepAt<kSteps>(v, wk), ...);
}

// The schedule runs kAhead groups of four words before the steps that use them, so that its
// chain of vector operations overlaps the steps instead of preceding them.
constexpr int kAhead = 3;

template <bool kSecond, int kGroup>
ZL_SCHEDULE_INLINE void Group(Schedules& s, const std::uint8_t* first, const std::uint8_t* second,
                              std::uint32_t (&v)[5]) {
  if constexpr (kGroup + kAhead < 20) Schedule<kGroup + kAhead, kSecond>(s, first, second);
  Steps(v, Opaque(s.wk[0]), std::integer_sequence<int, 4 * kGroup, 4 * kGroup + 1, 4 * kGroup + 2, 4 * kGroup + 3>{});
}

// The first block's steps with both blocks' schedules beside them.
template <bool kSecond, int... kFirst, int... kGroups>
ZL_SCHEDULE_INLINE void FirstBlock(Schedules& s, const std::uint8_t* first, const std::uint8_t* second,
                                   std::uint32_t (&v)[5], std::integer_sequence<int, kFirst...>,
                                   std::integer_sequence<int, kGroups...>) {
  (Schedule<kFirst, kSecond>(s, first, second), ...);
  (Group<kSecond, kGroups>(s, first, second, v), ...);
}

template <bool kSecond>
ZL_SCHEDULE_INLINE void Compress(std::uint32_t state[5], Schedules& s, const std::uint8_t* first,
                                 const std::uint8_t* second) {
  std::uint32_t v[5] = {state[0], state[1], state[2], state[3], state[4]};
  FirstBlock<kSecond>(s, first, second, v, std::make_integer_sequence<int, kAhead>{},
                      std::make_integer_sequence<int, 20>{});
  for (int i = 0; i < 5; ++i) state[i] = v[i] += state[i];
  if constexpr (kSecond) {
    Steps(v, Opaque(s.wk[1]), std::make_integer_sequence<int, 80>{});
    for (int i = 0; i < 5; ++i) state[i] += v[i];
  }
}

}  // namespace

ZL_SCHEDULE_TARGET void Sha1VectorScheduleCompress(std::uint32_t state[5], const std::uint8_t* blocks,
                                                   std::size_t count, const std::uint8_t* last) {
  alignas(16) std::uint32_t wk[2][80];  // wiped at the end: the message may be a secret
  Schedules s{{}, {wk[0], wk[1]}};
  bool pairs = false;
  for (; count >= 2; count -= 2, blocks += 2 * kBlockSize, pairs = true) {
    Compress<true>(state, s, blocks, blocks + kBlockSize);
  }
  if (count == 1 && last != nullptr) {  // the odd block and the one kept elsewhere as a pair
    Compress<true>(state, s, blocks, last);
    pairs = true;
  } else if (count == 1 || last != nullptr) {
    const std::uint8_t* block = count == 1 ? blocks : last;
    Compress<false>(state, s, block, block);
  }
  dcfWipe(wk, pairs ? sizeof wk : sizeof wk[0]);
}

bool CpuHasAvx2AndBmi() {
  static const bool has = [] {
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) return false;
    const bool avx = (ecx & bit_AVX) != 0 && (ecx & bit_OSXSAVE) != 0;
    if (!avx || __get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) == 0) return false;
    if ((ebx & bit_AVX2) == 0 || (ebx & bit_BMI) == 0 || (ebx & bit_BMI2) == 0) return false;
    unsigned low = 0, high = 0;  // the system saves the vector registers' upper halves
    __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    return (low & 0x6) == 0x6;
  }();
  return has;
}

}  // namespace crypto_detail

#else  // no vector schedule on this architecture: the portable code always

namespace crypto_detail {

void Sha1VectorScheduleCompress(std::uint32_t*, const std::uint8_t*, std::size_t) {}
bool CpuHasAvx2AndBmi() { return false; }

}  // namespace crypto_detail

#endif
