#include "ksLib_OSSL/tls_prf.h"

#include <cstring>
#include <memory>
#include <new>

#include <openssl/ssl.h>

#include <dcf/dcfWipe.h>
#include <dcf/hmac.h>

#include "ksLib_OSSL/openssl_eap_tls_peer.h"

namespace {

// P_hash of RFC 2246: A(0) = seed, A(i) = HMAC(secret, A(i-1)); output HMAC(secret, A(i) ||
// seed), joined and cut to length.
template <class Digest>
void PHash(const std::uint8_t* secret, std::size_t secretLength, const std::uint8_t* seed,
           std::size_t seedLength, std::uint8_t* out, std::size_t length) {
  constexpr std::size_t kSize = Hmac<Digest>::kDigestSize;
  std::uint8_t a[kSize];
  std::uint8_t block[kSize];
  {
    Hmac<Digest> mac;
    mac.SetKey(secret, secretLength);
    mac.Init();
    mac.Update(seed, seedLength);
    mac.Final(a);
  }
  for (std::size_t done = 0; done < length;) {
    Hmac<Digest> mac;
    mac.SetKey(secret, secretLength);
    mac.Init();
    mac.Update(a, kSize);
    mac.Update(seed, seedLength);
    mac.Final(block);
    const std::size_t take = std::min(kSize, length - done);
    std::memcpy(out + done, block, take);
    done += take;
    Hmac<Digest> next;
    next.SetKey(secret, secretLength);
    next.Init();
    next.Update(a, kSize);
    next.Final(a);
  }
  dcfWipe(a, sizeof a);
  dcfWipe(block, sizeof block);
}

}  // namespace

void TlsPrfCore(const std::uint8_t* secret, std::size_t secretLength, const std::uint8_t* seed,
                std::size_t seedLength, std::uint8_t* out, std::size_t length) {
  const std::size_t half = (secretLength + 1) / 2;
  const std::uint8_t* second = secret + (secretLength - half);
  std::unique_ptr<std::uint8_t[]> scratch(new std::uint8_t[length > 0 ? length : 1]);
  PHash<Md5Algorithm>(secret, half, seed, seedLength, out, length);
  PHash<Sha1Algorithm>(second, half, seed, seedLength, scratch.get(), length);
  for (std::size_t i = 0; i < length; ++i) out[i] ^= scratch[i];
  dcfWipe(scratch.get(), length);
}

std::int32_t TlsPrf(const OpenSslEapTlsPeer& peer, const char* label, std::uint8_t* out,
                    std::uint32_t length) {
  if (label == nullptr || out == nullptr) return -1;
  const std::size_t labelLength = strnlen(label, kTlsPrfMaxLabel + 1);
  if (labelLength > kTlsPrfMaxLabel) return -1;
  const TlsConnection* connection = peer.connection();
  if (connection == nullptr || connection->state() != TlsConnection::kEstablished) return -1;
  const SSL* ssl = connection->ssl();
  try {
    if (SSL_version(ssl) >= TLS1_2_VERSION) {
      return SSL_export_keying_material(const_cast<SSL*>(ssl), out, length, label, labelLength,
                                        nullptr, 0, 0) == 1
                 ? 0
                 : -1;
    }
    const TlsKeyBlock& keys = connection->keyBlock();
    std::uint8_t seed[kTlsPrfMaxLabel + 64];
    std::memcpy(seed, label, labelLength);
    std::memcpy(seed + labelLength, keys.clientRandom, sizeof keys.clientRandom);
    std::memcpy(seed + labelLength + 32, keys.serverRandom, sizeof keys.serverRandom);
    TlsPrfCore(keys.masterSecret, sizeof keys.masterSecret, seed, labelLength + 64, out, length);
    dcfWipe(seed, sizeof seed);
    return 0;
  } catch (const std::bad_alloc&) {
    return -1;
  }
}
