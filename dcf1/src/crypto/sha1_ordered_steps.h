#pragma once
// SHA-1's 80 steps in ordinary registers on message words already scheduled in memory (each
// with its step's constant added), every step in an instruction order fixed by inline
// assembly. For x86-64 with BMI1 and BMI2 (andn, rorx): call only where CPUID said so.
//
// Why assembly: from one step to the next the chain is a rotate and an add, 2 cycles, and the
// step's other instructions must stay off it. Written in C++, GCC and Clang reassociate the
// step's adds (putting its function on the chain) and reorder its instructions: their builds
// of the same steps ran 8 to 9 % slower than this order.
//
// Each step also prepares the next step's function of b, c and d, whose b is this step's a:
// known a step early, so the function is ready before the next step's a is.
#include <bit>
#include <cstdint>

namespace crypto_detail {

// The working words between steps: a..e named in their rotated order (see Sha1OrderedStep), b already
// rotated by 30, and f the next step's function of b, c and d.
struct Sha1StepWords {
  std::uint32_t v[5];
  std::uint32_t f;
};

// Before step 0: b rotated and step 0's Choose (its two terms share no bit). The words stay
// in ordinary registers: left alone, the compilers' vectorizers pack them into a vector
// register and take them apart again, through memory, on the steps' chain.
[[gnu::always_inline]] inline void PrepareSha1Steps(Sha1StepWords& words) {
  std::uint32_t* v = words.v;
  __asm__("" : "+r"(v[0]), "+r"(v[1]), "+r"(v[2]), "+r"(v[3]), "+r"(v[4]));
  words.f = (v[1] & v[2]) + (~v[1] & v[3]);
  v[1] = std::rotl(v[1], 30);
}

[[gnu::always_inline]] inline Sha1StepWords BeginSha1Steps(const std::uint32_t* state) {
  Sha1StepWords words{{state[0], state[1], state[2], state[3], state[4]}, 0};
  PrepareSha1Steps(words);
  return words;
}

// After step 79: the words added into the state, and the sums taken on, in registers, as the
// next block's words. In assembly too: the compilers' vectorizers gather the words into a
// vector register for these adds and take them apart again, on the steps' chain.
[[gnu::always_inline]] inline void AddSha1StepsToState(Sha1StepWords& words, std::uint32_t* state) {
  std::uint32_t* v = words.v;
  __asm__("add (%[s]), %[v0]\n\tmov %[v0], (%[s])\n\t"
          "add 4(%[s]), %[v1]\n\tmov %[v1], 4(%[s])\n\t"
          "add 8(%[s]), %[v2]\n\tmov %[v2], 8(%[s])\n\t"
          "add 12(%[s]), %[v3]\n\tmov %[v3], 12(%[s])\n\t"
          "add 16(%[s]), %[v4]\n\tmov %[v4], 16(%[s])"
          : [v0] "+r"(v[0]), [v1] "+r"(v[1]), [v2] "+r"(v[2]), [v3] "+r"(v[3]), [v4] "+r"(v[4]),
            "+m"(*reinterpret_cast<std::uint32_t(*)[5]>(state))
          : [s] "r"(state));
  PrepareSha1Steps(words);
}

// Step t, wk its word. Instead of moving the words along, each step names them one place
// further on; after step 79 they are back in place, b not rotated.
template <int t>
[[gnu::always_inline]] inline void Sha1OrderedStep(Sha1StepWords& words, const std::uint32_t& wk) {
  constexpr int a = (100 - t) % 5, b = (101 - t) % 5, c = (102 - t) % 5, e = (104 - t) % 5;
  std::uint32_t* v = words.v;
  std::uint32_t a5;
  if constexpr (t == 79) {
    __asm__("add %[wk], %[e]\n\t"
            "add %[f], %[e]\n\t"
            "rorx $27, %[a], %[a5]\n\t"
            "add %[a5], %[e]"
            : [e] "+r"(v[e]), [a5] "=&r"(a5)
            : [a] "r"(v[a]), [f] "r"(words.f), [wk] "m"(wk));
  } else if constexpr (t + 1 < 20) {  // the next step's Choose: (a & b) + (~a & c)
    std::uint32_t t1;
    __asm__("add %[wk], %[e]\n\t"
            "add %[f], %[e]\n\t"
            "rorx $27, %[a], %[a5]\n\t"
            "andn %[c], %[a], %[t1]\n\t"
            "mov %[a], %[f]\n\t"
            "and %[b], %[f]\n\t"
            "add %[t1], %[f]\n\t"
            "rorx $2, %[a], %[a]\n\t"
            "add %[a5], %[e]"
            : [e] "+r"(v[e]), [f] "+r"(words.f), [a] "+r"(v[a]), [a5] "=&r"(a5), [t1] "=&r"(t1)
            : [b] "r"(v[b]), [c] "r"(v[c]), [wk] "m"(wk));
  } else if constexpr (t + 1 >= 40 && t + 1 < 60) {  // the next step's Majority: (a & (b ^ c)) + (b & c)
    std::uint32_t t1;
    __asm__("add %[wk], %[e]\n\t"
            "add %[f], %[e]\n\t"
            "rorx $27, %[a], %[a5]\n\t"
            "mov %[b], %[t1]\n\t"
            "xor %[c], %[t1]\n\t"
            "and %[a], %[t1]\n\t"
            "mov %[b], %[f]\n\t"
            "and %[c], %[f]\n\t"
            "add %[t1], %[f]\n\t"
            "rorx $2, %[a], %[a]\n\t"
            "add %[a5], %[e]"
            : [e] "+r"(v[e]), [f] "+r"(words.f), [a] "+r"(v[a]), [a5] "=&r"(a5), [t1] "=&r"(t1)
            : [b] "r"(v[b]), [c] "r"(v[c]), [wk] "m"(wk));
  } else {  // the next step's Parity: a ^ b ^ c, in a's register once a is rotated
    std::uint32_t rotated, function = v[a];
    __asm__("add %[wk], %[e]\n\t"
            "add %[f], %[e]\n\t"
            "rorx $27, %[a], %[a5]\n\t"
            "rorx $2, %[a], %[rot]\n\t"
            "xor %[b], %[a]\n\t"
            "xor %[c], %[a]\n\t"
            "add %[a5], %[e]"
            : [e] "+r"(v[e]), [a] "+r"(function), [a5] "=&r"(a5), [rot] "=&r"(rotated)
            : [b] "r"(v[b]), [c] "r"(v[c]), [f] "r"(words.f), [wk] "m"(wk));
    words.f = function;
    v[a] = rotated;
  }
}

// Steps 4g..4g+3, wk their four words.
template <int kGroup>
[[gnu::always_inline]] inline void Sha1FourOrderedSteps(Sha1StepWords& words, const std::uint32_t* wk) {
  Sha1OrderedStep<4 * kGroup>(words, wk[0]);
  Sha1OrderedStep<4 * kGroup + 1>(words, wk[1]);
  Sha1OrderedStep<4 * kGroup + 2>(words, wk[2]);
  Sha1OrderedStep<4 * kGroup + 3>(words, wk[3]);
}

}  // namespace crypto_detail
