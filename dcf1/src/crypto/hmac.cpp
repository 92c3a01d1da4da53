#include <dcf/hmac.h>

#include <cstring>

#include "dcf1/src/crypto/wipe.h"

using crypto_detail::Wipe;

template <class Digest>
Hmac<Digest>::~Hmac() = default;  // the contexts wipe themselves

template <class Digest>
void Hmac<Digest>::SetKey(const void* key, std::size_t length) {
  std::uint8_t block[kBlockSize] = {};
  if (length > kBlockSize) {
    Digest::Digest(block, key, length);
  } else if (length > 0) {
    std::memcpy(block, key, length);
  }
  std::uint8_t pad[kBlockSize];
  for (std::size_t i = 0; i < kBlockSize; ++i) pad[i] = block[i] ^ 0x36;
  Digest::Init(innerKeyed_);
  Digest::Update(innerKeyed_, pad, kBlockSize);
  for (std::size_t i = 0; i < kBlockSize; ++i) pad[i] = block[i] ^ 0x5c;
  Digest::Init(outerKeyed_);
  Digest::Update(outerKeyed_, pad, kBlockSize);
  Wipe(block);
  Wipe(pad);
}

template <class Digest>
void Hmac<Digest>::Init() {
  inner_ = innerKeyed_;
}

template <class Digest>
void Hmac<Digest>::Update(const void* data, std::size_t length) {
  Digest::Update(inner_, data, length);
}

template <class Digest>
void Hmac<Digest>::Final(std::uint8_t out[kDigestSize]) {
  std::uint8_t innerDigest[kDigestSize];
  Digest::Final(innerDigest, inner_);
  Digest::FinishShortTail(outerKeyed_, innerDigest, kDigestSize, out);
  Wipe(innerDigest);
}

template <class Digest>
void Hmac<Digest>::MacOfDigest(const std::uint8_t message[kDigestSize], std::uint8_t out[kDigestSize]) const {
  std::uint8_t innerDigest[kDigestSize];
  Digest::FinishShortTail(innerKeyed_, message, kDigestSize, innerDigest);
  Digest::FinishShortTail(outerKeyed_, innerDigest, kDigestSize, out);
  Wipe(innerDigest);
}

template class Hmac<Md5Algorithm>;
template class Hmac<Sha1Algorithm>;
