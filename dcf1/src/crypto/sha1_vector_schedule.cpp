// SHA-1's compression with the message schedule computed in AVX2 vector registers, four
// words of two blocks at a time (one block in each 128-bit half), each word with its step's
// constant already added, so that the 80 steps in ordinary registers (sha1_ordered_steps.h)
// do only the steps' own work. For CPUs without the SHA instructions (or with them denied).
// Every function here carries the target attribute; they run only after CPUID said the CPU
// and the system have AVX2, BMI1 and BMI2.
//
// The blocks go in pairs. A pair's schedule is computed while the steps run, so that no step
// waits for the vector units: the second block's steps of the pair before carry its groups 0
// to 7, its own first block's steps groups 8 to 19. The first pair's words are loaded before
// the steps start, and its first block carries groups 4 to 19.
#include <utility>

#include "dcf1/src/crypto/block_hash.h"
#include "dcf1/src/crypto/sha1_compress.h"
#include "dcf1/src/crypto/sha1_steps.h"

#if defined(__x86_64__)
#include <cpuid.h>
#include <immintrin.h>

#include "dcf1/src/crypto/sha1_ordered_steps.h"

#define ZL_SCHEDULE_TARGET __attribute__((target("avx2,bmi,bmi2")))
#define ZL_SCHEDULE_INLINE __attribute__((target("avx2,bmi,bmi2"), always_inline)) inline

namespace crypto_detail {
namespace {

constexpr std::uint32_t kConstants[4] = {kSha1K0, kSha1K1, kSha1K2, kSha1K3};

// Two blocks scheduled together; a block without a partner is paired with itself.
struct Pair {
  const std::uint8_t* first;
  const std::uint8_t* second;
};

// The schedules of a pair: w[4g..4g+3] of both blocks side by side (the first word in the
// lowest column of each half), the last eight groups kept in a ring, and their sums with the
// steps' constants stored for the steps, group by group: wk[8g..8g+3] the first block's,
// wk[8g+4..8g+7] the second's.
struct Schedules {
  __m256i w[8];
  std::uint32_t* wk;
};

template <int kBits>
ZL_SCHEDULE_INLINE __m256i RotateLeft(__m256i x) {
  return _mm256_or_si256(_mm256_slli_epi32(x, kBits), _mm256_srli_epi32(x, 32 - kBits));
}

template <int kGroup>
ZL_SCHEDULE_INLINE void Schedule(Schedules& s, Pair pair) {
  __m256i& x = s.w[kGroup & 7];
  const __m256i back1 = s.w[(kGroup - 1) & 7], back2 = s.w[(kGroup - 2) & 7], back3 = s.w[(kGroup - 3) & 7],
                back4 = s.w[(kGroup - 4) & 7], back7 = s.w[(kGroup - 7) & 7];
  if constexpr (kGroup < 4) {
    const __m256i swap = _mm256_broadcastsi128_si256(
        _mm_set_epi8(12, 13, 14, 15, 8, 9, 10, 11, 4, 5, 6, 7, 0, 1, 2, 3));  // big-endian words
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pair.first + 16 * kGroup));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pair.second + 16 * kGroup));
    x = _mm256_shuffle_epi8(_mm256_inserti128_si256(_mm256_castsi128_si256(a), b, 1), swap);
  } else if constexpr (kGroup < 8) {
    // w[t] = (w[t-3] ^ w[t-8] ^ w[t-14] ^ w[t-16]) <<< 1 for t = 4g..4g+3. The last word's
    // w[t-3] is this group's first word: left out at first, then its rotated contribution
    // is added.
    const __m256i minus3 = _mm256_srli_si256(back1, 4);           // w[t-3..t-1], 0
    const __m256i minus14 = _mm256_alignr_epi8(back3, back4, 8);  // w[t-14..t-11]
    const __m256i r =
        RotateLeft<1>(_mm256_xor_si256(_mm256_xor_si256(minus3, back2), _mm256_xor_si256(minus14, back4)));
    x = _mm256_xor_si256(r, RotateLeft<1>(_mm256_slli_si256(r, 12)));
  } else {
    // From t = 32 on, the recurrence applied to itself gives
    // w[t] = (w[t-6] ^ w[t-16] ^ w[t-28] ^ w[t-32]) <<< 2, where no word depends on another of
    // its group: fewer operations and a shorter chain from group to group. x, this group's
    // place in the ring, still holds w[t-32..t-29].
    const __m256i minus6 = _mm256_alignr_epi8(back1, back2, 8);  // w[t-6..t-3]
    x = RotateLeft<2>(_mm256_xor_si256(_mm256_xor_si256(minus6, back4), _mm256_xor_si256(back7, x)));
  }
  const __m256i sum = _mm256_add_epi32(x, _mm256_set1_epi32(static_cast<int>(kConstants[kGroup / 5])));
  _mm256_store_si256(reinterpret_cast<__m256i*>(s.wk + 8 * kGroup), sum);
}

// The steps read their words from memory, as an operand: through a pointer the compiler
// cannot trace back to the vector stores, or it would take the words out of the vector
// registers one at a time, which costs more.
ZL_SCHEDULE_INLINE const std::uint32_t* Opaque(const std::uint32_t* p) {
  __asm__("" : "+r"(p));
  return p;
}

// The first block's group of four steps beside a group of its pair's schedule, four groups
// or more ahead of the steps that read it: the groups from kFrom on (those before were
// computed beside the blocks before).
template <int kFrom, int kGroup>
ZL_SCHEDULE_INLINE void FirstBlockGroup(Sha1StepWords& words, Schedules& s, Pair pair) {
  if constexpr (kFrom + kGroup < 20) Schedule<kFrom + kGroup>(s, pair);
  Sha1FourOrderedSteps<kGroup>(words, Opaque(s.wk) + 8 * kGroup);
}

// The second block's group of four steps, then, in the place of the group they read, that
// group of the next pair's schedule (groups 0 to 7).
template <int kGroup>
ZL_SCHEDULE_INLINE void SecondBlockGroup(Sha1StepWords& words, Schedules& s, Pair next) {
  Sha1FourOrderedSteps<kGroup>(words, Opaque(s.wk) + 8 * kGroup + 4);
  if constexpr (kGroup < 8) Schedule<kGroup>(s, next);
}

template <int kFrom, int... kGroups>
ZL_SCHEDULE_INLINE void FirstBlock(std::uint32_t* state, Sha1StepWords& words, Schedules& s, Pair pair,
                                   std::integer_sequence<int, kGroups...>) {
  (FirstBlockGroup<kFrom, kGroups>(words, s, pair), ...);
  AddSha1StepsToState(words, state);
}

template <int... kGroups>
ZL_SCHEDULE_INLINE void SecondBlock(std::uint32_t* state, Sha1StepWords& words, Schedules& s, Pair next,
                                    std::integer_sequence<int, kGroups...>) {
  (SecondBlockGroup<kGroups>(words, s, next), ...);
  AddSha1StepsToState(words, state);
}

template <int... kGroups>
ZL_SCHEDULE_INLINE void LoadGroups(Schedules& s, Pair pair, std::integer_sequence<int, kGroups...>) {
  (Schedule<kGroups>(s, pair), ...);
}

}  // namespace

ZL_SCHEDULE_TARGET void Sha1VectorScheduleCompress(std::uint32_t state[5], const std::uint8_t* blocks,
                                                   std::size_t count, const std::uint8_t* last) {
  const std::size_t total = count + (last != nullptr ? 1 : 0);
  if (total == 0) return;
  const auto block = [&](std::size_t i) { return i < count ? blocks + i * kBlockSize : last; };
  const auto pairAt = [&](std::size_t i) { return Pair{block(i), block(i + 1 < total ? i + 1 : i)}; };
  alignas(32) std::uint32_t wk[2 * 80];  // wiped at the end: the message may be a secret
  Schedules s{{}, wk};
  Sha1StepWords words = BeginSha1Steps(state);
  Pair pair = pairAt(0);
  LoadGroups(s, pair, std::make_integer_sequence<int, 4>{});
  FirstBlock<4>(state, words, s, pair, std::make_integer_sequence<int, 20>{});
  for (std::size_t i = 1; i < total; i += 2) {
    const Pair next = i + 1 < total ? pairAt(i + 1) : pair;  // after the last pair: computed for nothing
    SecondBlock(state, words, s, next, std::make_integer_sequence<int, 20>{});
    if (i + 1 == total) break;
    FirstBlock<8>(state, words, s, next, std::make_integer_sequence<int, 20>{});
  }
  dcfWipe(wk, sizeof wk);
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

void Sha1VectorScheduleCompress(std::uint32_t*, const std::uint8_t*, std::size_t, const std::uint8_t*) {}
bool CpuHasAvx2AndBmi() { return false; }

}  // namespace crypto_detail

#endif
