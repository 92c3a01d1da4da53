#include "sim/air/ccmp_protection.h"

#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <memory>
#include <stdexcept>

namespace simair {
namespace {

struct CtxFree {
  void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};

// Nonce: priority, transmitter address (address 2), PN5..PN0.
std::array<std::uint8_t, 13> Nonce(std::span<const std::uint8_t> header, std::uint64_t pn) {
  std::array<std::uint8_t, 13> nonce{};
  nonce[0] = DataPriority(header);
  std::copy_n(header.begin() + 10, 6, nonce.begin() + 1);
  for (int i = 0; i < 6; ++i) nonce[static_cast<std::size_t>(7 + i)] = static_cast<std::uint8_t>(pn >> (8 * (5 - i)));
  return nonce;
}

// AAD: frame control with subtype bits 4-6, Retry, Power Management and More Data cleared
// and Protected set; addresses 1-3; sequence control with only the fragment number;
// address 4 and the QoS TID where the header has them.
dot11::Bytes Aad(std::span<const std::uint8_t> header) {
  dot11::Bytes aad;
  aad.push_back(static_cast<std::uint8_t>(header[0] & 0x8F));
  aad.push_back(static_cast<std::uint8_t>((header[1] & 0xC7) | 0x40));
  aad.insert(aad.end(), header.begin() + 4, header.begin() + 22);
  aad.push_back(static_cast<std::uint8_t>(header[22] & 0x0F));
  aad.push_back(0);
  std::size_t at = 24;
  if ((header[1] & 0x03) == 0x03) {
    aad.insert(aad.end(), header.begin() + 24, header.begin() + 30);
    at = 30;
  }
  if (header.size() >= at + 2) {
    aad.push_back(static_cast<std::uint8_t>(header[at] & 0x0F));
    aad.push_back(0);
  }
  return aad;
}

// One AES-128-CCM pass; in decryption `tag` is checked, in encryption it is written.
bool Ccm(bool encrypt, CcmpKey key, std::span<const std::uint8_t> header, std::uint64_t pn,
         std::span<const std::uint8_t> in, std::uint8_t* out, std::uint8_t* tag) {
  std::unique_ptr<EVP_CIPHER_CTX, CtxFree> ctx(EVP_CIPHER_CTX_new());
  if (!ctx) throw std::runtime_error("no cipher context");
  const auto nonce = Nonce(header, pn);
  const dot11::Bytes aad = Aad(header);
  const int enc = encrypt ? 1 : 0;
  int n = 0;
  const int length = static_cast<int>(in.size());
  if (EVP_CipherInit_ex(ctx.get(), EVP_aes_128_ccm(), nullptr, nullptr, nullptr, enc) != 1 ||
      EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_AEAD_SET_IVLEN, 13, nullptr) != 1 ||
      EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_AEAD_SET_TAG, kCcmpMicBytes, encrypt ? nullptr : tag) != 1 ||
      EVP_CipherInit_ex(ctx.get(), nullptr, nullptr, key.data(), nonce.data(), enc) != 1 ||
      EVP_CipherUpdate(ctx.get(), nullptr, &n, nullptr, length) != 1 ||
      EVP_CipherUpdate(ctx.get(), nullptr, &n, aad.data(), static_cast<int>(aad.size())) != 1)
    throw std::runtime_error("AES-128-CCM setup failed");
  // In decryption the update fails when the MIC does not verify.
  if (EVP_CipherUpdate(ctx.get(), out, &n, in.data(), length) != 1) return false;
  if (encrypt && EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_AEAD_GET_TAG, kCcmpMicBytes, tag) != 1)
    throw std::runtime_error("AES-128-CCM tag failed");
  return true;
}

}  // namespace

dot11::Bytes CcmpSeal(CcmpKey key, std::span<const std::uint8_t> header, std::uint64_t pn, std::uint8_t keyId,
                      std::span<const std::uint8_t> plain) {
  const auto b = [pn](int n) { return static_cast<std::uint8_t>(pn >> (8 * n)); };
  dot11::Bytes body{b(0), b(1), 0, static_cast<std::uint8_t>(0x20 | (keyId & 0x03) << 6), b(2), b(3), b(4), b(5)};
  body.resize(kCcmpHeaderBytes + plain.size() + kCcmpMicBytes);
  Ccm(true, key, header, pn, plain, body.data() + kCcmpHeaderBytes, body.data() + kCcmpHeaderBytes + plain.size());
  return body;
}

std::optional<CcmpOpened> CcmpOpen(CcmpKey key, std::span<const std::uint8_t> header, std::optional<std::uint64_t> last,
                                   std::span<const std::uint8_t> body, Refusal& why) {
  why = Refusal::TooShort;
  if (header.size() < 24 || body.size() < kCcmpHeaderBytes + kCcmpMicBytes) return std::nullopt;
  why = Refusal::NoExtendedIv;
  if ((body[3] & 0x20) == 0) return std::nullopt;
  const std::uint64_t pn = CcmpPn(body.first<8>());
  why = Refusal::Replay;
  if (last && pn <= *last) return std::nullopt;
  const auto sealed = body.subspan(kCcmpHeaderBytes, body.size() - kCcmpHeaderBytes - kCcmpMicBytes);
  std::array<std::uint8_t, kCcmpMicBytes> tag{};
  std::copy_n(body.end() - kCcmpMicBytes, kCcmpMicBytes, tag.begin());
  dot11::Bytes plain(sealed.size());
  why = Refusal::Integrity;
  if (!Ccm(false, key, header, pn, sealed, plain.data(), tag.data())) return std::nullopt;
  why = Refusal::None;
  return CcmpOpened{std::move(plain), pn};
}

}  // namespace simair
