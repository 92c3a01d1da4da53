#pragma once
// Small helpers of the crypto tests: hex text, reproducible pseudo-random bytes, known answers
// shared by independent implementations.
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace crypto_test {

// "0a 1B..." -> bytes; spaces are ignored.
inline std::vector<std::uint8_t> FromHex(std::string_view text) {
  std::vector<std::uint8_t> out;
  int high = -1;
  for (char ch : text) {
    if (ch == ' ') continue;
    const int v = (ch >= '0' && ch <= '9') ? ch - '0' : (ch | 0x20) - 'a' + 10;
    if (high < 0) {
      high = v;
    } else {
      out.push_back(static_cast<std::uint8_t>(high << 4 | v));
      high = -1;
    }
  }
  return out;
}

inline std::string Hex(const std::uint8_t* data, std::size_t length) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (std::size_t i = 0; i < length; ++i) {
    out += kDigits[data[i] >> 4];
    out += kDigits[data[i] & 15];
  }
  return out;
}

inline std::string Hex(const std::vector<std::uint8_t>& data) { return Hex(data.data(), data.size()); }

inline std::vector<std::uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }

// Michael's annex chain (IEEE 802.11i): each step's key is the MIC of the step before,
// starting from eight zero bytes.
struct MichaelChainStep {
  const char* message;
  const char* mic;
};
inline constexpr MichaelChainStep kMichaelAnnexChain[] = {
    {"", "82925c1ca1d130b8"},   {"M", "434721ca40639b3f"},    {"Mi", "e8f9becae97e5d29"},
    {"Mic", "90038fc6cf13c1db"}, {"Mich", "d55e100510128986"}, {"Michael", "0a942b124ecaa546"}};

// A fixed seed keeps a failure reproducible.
inline std::vector<std::uint8_t> RandomBytes(std::mt19937& rng, std::size_t length) {
  std::vector<std::uint8_t> out(length);
  for (auto& b : out) b = static_cast<std::uint8_t>(rng());
  return out;
}

// Message lengths worth crossing: around one and two blocks, where the padding spills into
// an extra block (56), and a few longer ones.
inline std::vector<std::size_t> InterestingLengths() {
  std::vector<std::size_t> lengths;
  for (std::size_t n = 0; n <= 130; ++n) lengths.push_back(n);
  for (std::size_t n : {183, 191, 192, 193, 255, 256, 1000, 1500, 4096 + 13}) lengths.push_back(n);
  return lengths;
}

}  // namespace crypto_test
