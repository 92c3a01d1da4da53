// Throughput of our MD5, SHA-1, HMAC-SHA1, MD4, DES and RC4 against OpenSSL's EVP (legacy
// provider for MD4, DES and RC4) in the same run, on 64-byte and 1,500-byte messages. After
// the usual table, one line per pair gives the CPU-time ratio ours/OpenSSL (below 1: ours is
// faster).
//
// Both sides use the CPU's SHA instructions where it has them; the program then runs again
// with them masked on both sides (bench/cpu_instructions.h).
#include <benchmark/benchmark.h>
#include <dcf/des.h>
#include <dcf/hmac.h>
#include <dcf/md4.h>
#include <dcf/md5.h>
#include <dcf/rc4.h>
#include <dcf/sha1.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "bench/best_times_reporter.h"
#include "bench/cpu_instructions.h"
#include "dcf1/src/crypto/openssl_reference.h"

namespace {

constexpr std::size_t kSizes[] = {64, 1500};
const std::uint8_t kKey[32] = {0x0b, 0x1c, 0x2d, 0x3e, 0x4f, 0x50, 0x61, 0x72, 0x83, 0x94, 0xa5,
                               0xb6, 0xc7, 0xd8, 0xe9, 0xfa, 0x01, 0x12, 0x23, 0x34, 0x45, 0x56,
                               0x67, 0x78, 0x89, 0x9a, 0xab, 0xbc, 0xcd, 0xde, 0xef, 0xf0};

// Runs body(input, output, length) once per iteration over a buffer of length bytes.
void Measure(benchmark::State& state, std::size_t length,
             const std::function<void(const std::uint8_t*, std::uint8_t*, std::size_t)>& body) {
  std::vector<std::uint8_t> input(length, 0x5a), output(length + 64);
  for (auto _ : state) {
    body(input.data(), output.data(), length);
    benchmark::DoNotOptimize(output.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * length));
}

// OpenSSL's digest with one context reused for every message, its cheapest use.
void OpenSslDigest(benchmark::State& state, const char* name, std::size_t length) {
  const EVP_MD* md = openssl_reference::FetchDigest(name);
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  Measure(state, length, [&](const std::uint8_t* in, std::uint8_t* out, std::size_t n) {
    EVP_DigestInit_ex2(ctx, md, nullptr);
    EVP_DigestUpdate(ctx, in, n);
    EVP_DigestFinal_ex(ctx, out, nullptr);
  });
  EVP_MD_CTX_free(ctx);
}

// A keyed cipher context; every iteration encrypts the buffer with the running state.
void OpenSslCipher(benchmark::State& state, const char* name, std::size_t keyLength, std::size_t length) {
  openssl_reference::Cipher cipher(name, kKey, keyLength);
  Measure(state, length, [&](const std::uint8_t* in, std::uint8_t* out, std::size_t n) { cipher.Update(in, n, out); });
}

void OpenSslHmacSha1(benchmark::State& state, std::size_t length) {
  openssl_reference::LoadProviders();
  EVP_MAC* mac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
  EVP_MAC_CTX* ctx = EVP_MAC_CTX_new(mac);
  char digest[] = "SHA1";
  const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                               OSSL_PARAM_construct_end()};
  EVP_MAC_CTX_set_params(ctx, params);
  Measure(state, length, [&](const std::uint8_t* in, std::uint8_t* out, std::size_t n) {
    std::size_t written = 0;
    EVP_MAC_init(ctx, kKey, sizeof kKey, nullptr);
    EVP_MAC_update(ctx, in, n);
    EVP_MAC_final(ctx, out, &written, 64);
  });
  EVP_MAC_CTX_free(ctx);
  EVP_MAC_free(mac);
}

using Runner = std::function<void(benchmark::State&, std::size_t)>;

struct Pair {
  const char* name;
  Runner ours;
  Runner openssl;
};

// DES works on whole blocks: 1,500 bytes are run as 1,496.
std::size_t WholeBlocks(std::size_t length) { return length / 8 * 8; }

std::vector<Pair> Pairs() {
  return {
      {"MD5",
       [](benchmark::State& s, std::size_t n) {
         Measure(s, n, [](const std::uint8_t* in, std::uint8_t* out, std::size_t len) { Md5Digest(out, in, len); });
       },
       [](benchmark::State& s, std::size_t n) { OpenSslDigest(s, "MD5", n); }},
      {"SHA-1",
       [](benchmark::State& s, std::size_t n) {
         Measure(s, n, [](const std::uint8_t* in, std::uint8_t* out, std::size_t len) { Sha1Digest(out, in, len); });
       },
       [](benchmark::State& s, std::size_t n) { OpenSslDigest(s, "SHA1", n); }},
      {"HMAC-SHA1",
       [](benchmark::State& s, std::size_t n) {
         Measure(s, n, [](const std::uint8_t* in, std::uint8_t* out, std::size_t len) {
           HmacSha1 hmac;
           hmac.SetKey(kKey, sizeof kKey);
           hmac.Init();
           hmac.Update(in, len);
           hmac.Final(out);
         });
       },
       [](benchmark::State& s, std::size_t n) { OpenSslHmacSha1(s, n); }},
      {"MD4",
       [](benchmark::State& s, std::size_t n) {
         Measure(s, n, [](const std::uint8_t* in, std::uint8_t* out, std::size_t len) { Md4Digest(out, in, len); });
       },
       [](benchmark::State& s, std::size_t n) { OpenSslDigest(s, "MD4", n); }},
      {"DES",
       [](benchmark::State& s, std::size_t n) {
         DesKeySchedule schedule;
         DesSetKey(kKey, schedule, kDesEncrypt);
         Measure(s, WholeBlocks(n), [&](const std::uint8_t* in, std::uint8_t* out, std::size_t len) {
           for (std::size_t i = 0; i < len; i += 8) DesEncryptBlock(in + i, out + i, schedule);
         });
       },
       [](benchmark::State& s, std::size_t n) { OpenSslCipher(s, "DES-ECB", 8, WholeBlocks(n)); }},
      {"RC4",
       [](benchmark::State& s, std::size_t n) {
         Rc4State state;
         Rc4SetKey(state, 16, kKey);
         Measure(s, n, [&](const std::uint8_t* in, std::uint8_t* out, std::size_t len) { Rc4Crypt(state, len, in, out); });
       },
       [](benchmark::State& s, std::size_t n) { OpenSslCipher(s, "RC4", 16, n); }},
  };
}

std::string Name(const char* primitive, const char* side, std::size_t size) {
  return std::string(primitive) + "/" + side + "/" + std::to_string(size);
}

void PrintRatios(const BestTimesReporter& reporter, const std::vector<Pair>& pairs, InstructionRun run) {
  std::printf("\nours/OpenSSL CPU-time ratio (below 1: ours is faster), %s; ours on SHA-NI: %s\n", Describe(run),
              Sha1CompressionInUse() == Sha1Compression::kShaInstructions ? "yes" : "no");
  for (const Pair& pair : pairs) {
    for (std::size_t size : kSizes) {
      if (const auto ratio = reporter.ratio(Name(pair.name, "ours", size), Name(pair.name, "openssl", size)))
        std::printf("ratio %-10s %5zu B: %.2f\n", pair.name, size, *ratio);
    }
  }
}

int Run(InstructionRun run, int argc, char** argv) {
  const std::vector<Pair> pairs = Pairs();
  for (const Pair& pair : pairs) {
    for (std::size_t size : kSizes) {
      benchmark::RegisterBenchmark(Name(pair.name, "ours", size).c_str(),
                                   [run = pair.ours, size](benchmark::State& s) { run(s, size); });
      benchmark::RegisterBenchmark(Name(pair.name, "openssl", size).c_str(),
                                   [run = pair.openssl, size](benchmark::State& s) { run(s, size); });
    }
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  PrintRunHeader(run);
  BestTimesReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintRatios(reporter, pairs, run);
  return FinishBenchmarks(reporter);
}

}  // namespace

int main(int argc, char** argv) {
  return RunWithAndWithoutCpuInstructions(argc, argv, [] { LimitSha1Compression(Sha1Compression::kVectorSchedule); }, Run);
}
