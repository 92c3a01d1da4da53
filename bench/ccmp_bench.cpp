// The driver's CCMP cipher alone against OpenSSL's AES-128-CCM doing the same work on the
// same MPDU in the same run: per frame the key is expanded, the nonce and the additional
// authentication data are built from the MAC header, and the data is encrypted with its MIC
// appended, or decrypted in place with its MIC checked (a fresh copy of the sealed frame
// each time, on both sides). OpenSSL is used at its cheapest: one context, the cipher
// fetched once. Both sides use the CPU's AES instructions, then the program runs again with
// them masked on both sides (bench/cpu_instructions.h). The ratio is ours/OpenSSL in CPU
// time (below 1: ours is faster).
#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/best_times_reporter.h"
#include "bench/cpu_instructions.h"
#include "driver/core/aes128.h"
#include "driver/core/ccmp_cipher.h"

namespace {

using namespace zelnic::core;

constexpr std::size_t kSizes[] = {64, 576, 1500};
const std::uint8_t kKey[16] = {0x0b, 0x1c, 0x2d, 0x3e, 0x4f, 0x50, 0x61, 0x72,
                               0x83, 0x94, 0xa5, 0xb6, 0xc7, 0xd8, 0xe9, 0xfa};
// A data frame toward the access point: frame control, duration, A1..A3, sequence control.
const std::uint8_t kHeader[24] = {0x08, 0x41, 0x00, 0x00, 0x02, 0x1b, 0x2c, 0x3d, 0x4e, 0x5f, 0x00, 0x0a,
                                  0x0b, 0x0c, 0x0d, 0x0e, 0x02, 0x00, 0x00, 0x00, 0x09, 0x01, 0x30, 0x00};
constexpr std::uint64_t kPn = 0x0000123456ull;

// A sealed MPDU body (CCMP header, data, MIC) of `size` data bytes.
std::vector<std::uint8_t> Sealed(std::size_t size) {
  std::vector<std::uint8_t> body(kCcmpHeaderBytes + size + kCcmpMicBytes, 0x5a);
  CcmpEncrypt(kKey, kHeader, sizeof kHeader, kPn, 0, body.data(), static_cast<std::uint32_t>(size));
  return body;
}

void Ours(benchmark::State& state, bool encrypt, std::size_t size) {
  const std::vector<std::uint8_t> sealed = Sealed(size);
  std::vector<std::uint8_t> body(sealed.size(), 0x5a);
  std::uint64_t pn = kPn;
  for (auto _ : state) {
    bool ok;
    if (encrypt) {
      ok = CcmpEncrypt(kKey, kHeader, sizeof kHeader, ++pn, 0, body.data(), static_cast<std::uint32_t>(size)) ==
           CcmpRefusal::kNone;
    } else {
      std::memcpy(body.data(), sealed.data(), sealed.size());
      std::uint32_t length = 0;
      ok = CcmpDecrypt(kKey, kHeader, sizeof kHeader, 0, false, body.data(), static_cast<std::uint32_t>(body.size()),
                       length) == CcmpRefusal::kNone;
    }
    if (!ok) {
      state.SkipWithError("refused");
      break;
    }
    benchmark::DoNotOptimize(body.data());
    benchmark::ClobberMemory();
  }
}

// The nonce and AAD as CCMP builds them for kHeader (no QoS, three addresses).
void NonceAndAad(std::uint64_t pn, std::uint8_t nonce[13], std::uint8_t aad[22]) {
  nonce[0] = 0;
  std::memcpy(nonce + 1, kHeader + 10, 6);
  for (int i = 0; i < 6; ++i) nonce[7 + i] = static_cast<std::uint8_t>(pn >> (8 * (5 - i)));
  aad[0] = static_cast<std::uint8_t>(kHeader[0] & 0x8F);
  aad[1] = static_cast<std::uint8_t>((kHeader[1] & 0xC7) | 0x40);
  std::memcpy(aad + 2, kHeader + 4, 18);
  aad[20] = static_cast<std::uint8_t>(kHeader[22] & 0x0F);
  aad[21] = 0;
}

void OpenSsl(benchmark::State& state, bool encrypt, std::size_t size) {
  const std::vector<std::uint8_t> sealed = Sealed(size);
  std::vector<std::uint8_t> body(sealed.size(), 0x5a);
  EVP_CIPHER* ccm = EVP_CIPHER_fetch(nullptr, "AES-128-CCM", nullptr);
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  const int length = static_cast<int>(size);
  std::uint8_t* data = body.data() + kCcmpHeaderBytes;
  std::uint8_t* tag = data + size;
  std::uint64_t pn = kPn;
  bool ok = ccm != nullptr && ctx != nullptr && EVP_CipherInit_ex2(ctx, ccm, nullptr, nullptr, encrypt ? 1 : 0, nullptr) == 1;
  for (auto _ : state) {
    if (!ok) break;
    std::uint8_t nonce[13], aad[22];
    if (!encrypt) std::memcpy(body.data(), sealed.data(), sealed.size());
    NonceAndAad(encrypt ? ++pn : kPn, nonce, aad);
    int n = 0;
    ok = EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_SET_IVLEN, 13, nullptr) == 1 &&
         EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_SET_TAG, kCcmpMicBytes, encrypt ? nullptr : tag) == 1 &&
         EVP_CipherInit_ex2(ctx, nullptr, kKey, nonce, encrypt ? 1 : 0, nullptr) == 1 &&
         EVP_CipherUpdate(ctx, nullptr, &n, nullptr, length) == 1 &&
         EVP_CipherUpdate(ctx, nullptr, &n, aad, sizeof aad) == 1 &&
         EVP_CipherUpdate(ctx, data, &n, data, length) == 1;  // decryption: fails on a wrong MIC
    if (ok && encrypt) {
      ok = EVP_CipherFinal_ex(ctx, tag, &n) == 1 && EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_GET_TAG, kCcmpMicBytes, tag) == 1;
    }
    benchmark::DoNotOptimize(body.data());
    benchmark::ClobberMemory();
  }
  if (!ok) state.SkipWithError("OpenSSL's AES-128-CCM failed");
  EVP_CIPHER_CTX_free(ctx);
  EVP_CIPHER_free(ccm);
}

std::string Name(const char* side, bool encrypt, std::size_t size) {
  return std::string(side) + "/" + (encrypt ? "encrypt" : "decrypt") + "/" + std::to_string(size);
}

int Run(InstructionRun run, int argc, char** argv) {
  for (bool encrypt : {true, false}) {
    for (std::size_t size : kSizes) {
      benchmark::RegisterBenchmark(Name("ours", encrypt, size).c_str(),
                                   [=](benchmark::State& s) { Ours(s, encrypt, size); });
      benchmark::RegisterBenchmark(Name("openssl", encrypt, size).c_str(),
                                   [=](benchmark::State& s) { OpenSsl(s, encrypt, size); });
    }
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  PrintRunHeader(run);
  BestTimesReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nCCMP ours/OpenSSL AES-128-CCM CPU-time ratio, %s; ours on AES-NI: %s\n", Describe(run),
              CpuAesInstructionsInUse() ? "yes" : "no");
  for (bool encrypt : {true, false}) {
    for (std::size_t size : kSizes) {
      if (const auto ratio = reporter.ratio(Name("ours", encrypt, size), Name("openssl", encrypt, size)))
        std::printf("ratio %s %5zu B: %.2f\n", encrypt ? "encrypt" : "decrypt", size, *ratio);
    }
  }
  return FinishBenchmarks(reporter);
}

}  // namespace

int main(int argc, char** argv) {
  return RunWithAndWithoutCpuInstructions(argc, argv, [] { AllowCpuAesInstructions(false); }, Run);
}
