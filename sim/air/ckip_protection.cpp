#include "sim/air/ckip_protection.h"

#include <openssl/evp.h>

#include <algorithm>
#include <memory>
#include <stdexcept>

#include "sim/air/tkip_protection.h"
#include "sim/air/wep_protection.h"

namespace simair {
namespace {

constexpr std::uint8_t kCkipSnap[8] = {0xAA, 0xAA, 0x03, 0x00, 0x40, 0x96, 0x00, 0x02};
constexpr std::uint8_t kRfc1042[6] = {0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00};
constexpr std::uint8_t kTunnel[6] = {0xAA, 0xAA, 0x03, 0x00, 0x00, 0xF8};
constexpr std::uint64_t kMmhPrime = 0x10000000Full;  // 2^32 + 15

std::uint16_t Rotl1(std::uint16_t v) { return static_cast<std::uint16_t>(v << 1 | v >> 15); }

void PutBig32(dot11::Bytes& out, std::uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<std::uint8_t>(v >> shift));
}

std::uint32_t Big32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
         static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

struct CtxFree {
  void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};

// AES-128 of the counter blocks [12 zero bytes, big-endian u32 n] for n = 0..blocks-1.
dot11::Bytes CounterKeystream(const CkipKey& key, std::size_t blocks) {
  dot11::Bytes counters;
  for (std::size_t n = 0; n < blocks; ++n) {
    counters.insert(counters.end(), 12, 0);
    PutBig32(counters, static_cast<std::uint32_t>(n));
  }
  dot11::Bytes out(counters.size());
  std::unique_ptr<EVP_CIPHER_CTX, CtxFree> ctx(EVP_CIPHER_CTX_new());
  int written = 0;
  if (!ctx || EVP_EncryptInit_ex(ctx.get(), EVP_aes_128_ecb(), nullptr, key.data(), nullptr) != 1 ||
      EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1 ||
      EVP_EncryptUpdate(ctx.get(), out.data(), &written, counters.data(), static_cast<int>(counters.size())) != 1)
    throw std::runtime_error("AES-128 failed");
  return out;
}

// MMH: the message as big-endian words (the last padded with zeros) times the keystream
// words, summed in 64 bits, then reduced modulo 2^32 + 15; the low 32 bits, big-endian.
std::array<std::uint8_t, 4> Mmh(const CkipKey& key, const dot11::Bytes& message) {
  dot11::Bytes padded = message;
  padded.resize((padded.size() + 3) / 4 * 4, 0);
  const std::size_t words = padded.size() / 4;
  const dot11::Bytes keystream = CounterKeystream(key, (words + 3) / 4);
  std::uint64_t sum = 0;
  for (std::size_t j = 0; j < words; ++j)
    sum += static_cast<std::uint64_t>(Big32(&padded[4 * j])) * Big32(&keystream[4 * j]);
  const auto result = static_cast<std::uint32_t>(sum % kMmhPrime);
  return {static_cast<std::uint8_t>(result >> 24), static_cast<std::uint8_t>(result >> 16),
          static_cast<std::uint8_t>(result >> 8), static_cast<std::uint8_t>(result)};
}

bool StartsWith(std::span<const std::uint8_t> body, std::span<const std::uint8_t> prefix) {
  return body.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), body.begin());
}

}  // namespace

CkipKey CkipKeyOf(std::span<const std::uint8_t> key) {
  CkipKey out{};
  for (std::size_t i = 0; i < out.size() && !key.empty(); ++i) out[i] = key[i % key.size()];
  return out;
}

std::array<std::uint8_t, 16> CkipKeyPermute(const CkipKey& key, std::uint8_t direction,
                                            std::span<const std::uint8_t, 3> iv) {
  std::array<std::uint16_t, 8> h{};
  for (std::size_t i = 0; i < 8; ++i) h[i] = static_cast<std::uint16_t>(key[2 * i] | key[2 * i + 1] << 8);
  // Two 16-bit halves mixed through the S-box with every key word in turn.
  auto left = static_cast<std::uint16_t>(iv[0] << 8 | iv[1]);
  auto right = static_cast<std::uint16_t>(direction << 8 | iv[2]);
  std::array<std::uint16_t, 8> p{};
  for (std::size_t i = 0; i < 8; ++i) {
    const std::uint16_t t = TkipS(static_cast<std::uint16_t>(left ^ h[i]));
    left = static_cast<std::uint16_t>(t ^ right);
    p[i] = left;
    right = t;
  }
  // Then a chain from the last word down to the second, seeded with the first key word.
  std::uint16_t e = h[0];
  for (std::size_t i = 7; i >= 1; --i) {
    e = static_cast<std::uint16_t>(Rotl1(e) + p[i]);
    p[i] = e;
  }
  std::array<std::uint8_t, 16> out{};
  for (std::size_t i = 0; i < 8; ++i) {
    out[2 * i] = static_cast<std::uint8_t>(p[i]);
    out[2 * i + 1] = static_cast<std::uint8_t>(p[i] >> 8);
  }
  std::copy(iv.begin(), iv.end(), out.begin());
  h.fill(0);
  p.fill(0);
  return out;
}

dot11::Bytes CkipSeal(const CkipKey& key, std::uint8_t direction, std::uint32_t iv, std::uint8_t keyId,
                      std::span<const std::uint8_t> plain) {
  auto seed = CkipKeyPermute(key, direction, IvBytes(iv));
  dot11::Bytes body = SealUnderSeed(seed, iv, keyId, plain);
  seed.fill(0);
  return body;
}

std::optional<dot11::Bytes> CkipOpen(const CkipKey& key, std::uint8_t direction, std::span<const std::uint8_t> body) {
  if (body.size() < kWepHeaderBytes + kWepIcvBytes) return std::nullopt;
  auto seed = CkipKeyPermute(key, direction, body.first<3>());
  auto data = OpenUnderSeed(seed, body);
  seed.fill(0);
  return data;
}

std::array<std::uint8_t, 4> Cmic(const CkipKey& key, const MacAddress& destination, const MacAddress& source,
                                 std::uint32_t sequence, std::span<const std::uint8_t> data) {
  dot11::Bytes message(destination.begin(), destination.end());
  message.insert(message.end(), source.begin(), source.end());
  const std::size_t length = kCkipHeaderBytes + data.size();
  message.push_back(static_cast<std::uint8_t>(length >> 8));
  message.push_back(static_cast<std::uint8_t>(length));
  message.insert(message.end(), std::begin(kCkipSnap), std::end(kCkipSnap));
  PutBig32(message, sequence);
  message.insert(message.end(), data.begin(), data.end());
  return Mmh(key, message);
}

bool AddCkipHeader(const CkipKey& key, const MacAddress& destination, const MacAddress& source,
                   std::uint32_t sequence, dot11::Bytes& body) {
  const bool snap = body.size() >= 8 && (StartsWith(body, kRfc1042) || StartsWith(body, kTunnel));
  if (!snap || (body[6] == 0x88 && body[7] == 0x8E)) return false;
  const std::span<const std::uint8_t> data(body.data() + 6, body.size() - 6);  // EtherType on
  const auto cmic = Cmic(key, destination, source, sequence, data);
  dot11::Bytes out(std::begin(kCkipSnap), std::end(kCkipSnap));
  out.insert(out.end(), cmic.begin(), cmic.end());
  PutBig32(out, sequence);
  out.insert(out.end(), data.begin(), data.end());
  body = std::move(out);
  return true;
}

std::optional<dot11::Bytes> RemoveCkipHeader(const CkipKey& key, const MacAddress& destination,
                                             const MacAddress& source, std::span<const std::uint8_t> body) {
  if (!StartsWith(body, kCkipSnap)) return dot11::Bytes(body.begin(), body.end());
  if (body.size() < kCkipHeaderBytes + 2) return std::nullopt;  // no EtherType
  const auto data = body.subspan(kCkipHeaderBytes);
  const auto cmic = Cmic(key, destination, source, Big32(&body[12]), data);
  if (!std::equal(cmic.begin(), cmic.end(), body.begin() + 8)) return std::nullopt;
  dot11::Bytes out(std::begin(kRfc1042), std::end(kRfc1042));
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

}  // namespace simair
