#include <dcf/hmac.h>

#include <cstring>

#include "dcf1/src/crypto/wipe.h"

using crypto_detail::Wipe;

template <class Digest>
Hmac<Digest>::~Hmac() {
  Wipe(innerPad_);
  Wipe(outerPad_);
}

template <class Digest>
void Hmac<Digest>::SetKey(const void* key, std::size_t length) {
  std::uint8_t block[kBlockSize] = {};
  if (length > kBlockSize) {
    Digest::Digest(block, key, length);
  } else if (length > 0) {
    std::memcpy(block, key, length);
  }
  for (std::size_t i = 0; i < kBlockSize; ++i) {
    innerPad_[i] = block[i] ^ 0x36;
    outerPad_[i] = block[i] ^ 0x5c;
  }
  Wipe(block);
}

template <class Digest>
void Hmac<Digest>::Init() {
  Digest::Init(inner_);
  Digest::Update(inner_, innerPad_, kBlockSize);
  Digest::Init(outer_);
  Digest::Update(outer_, outerPad_, kBlockSize);
}

template <class Digest>
void Hmac<Digest>::Update(const void* data, std::size_t length) {
  Digest::Update(inner_, data, length);
}

template <class Digest>
void Hmac<Digest>::Final(std::uint8_t out[kDigestSize]) {
  std::uint8_t innerDigest[kDigestSize];
  Digest::Final(innerDigest, inner_);
  Digest::Update(outer_, innerDigest, kDigestSize);
  Digest::Final(out, outer_);
  Wipe(innerDigest);
}

template class Hmac<Md5Algorithm>;
template class Hmac<Sha1Algorithm>;
