#pragma once
// Keyed-hash message authentication (RFC 2104) over MD5 and SHA-1.
//
// Use: build the object, SetKey, Init, Update as often as needed, Final once; Init again
// starts another message under the same key. SetKey hashes the key's inner and outer pads
// once, so each message costs only its own blocks. Every context is wiped when it is
// destroyed.
#include <cstddef>
#include <cstdint>

#include <dcf/md5.h>
#include <dcf/sha1.h>

template <class Digest>
class Hmac {
 public:
  static constexpr std::size_t kBlockSize = 64;
  static constexpr std::size_t kDigestSize = Digest::kSize;

  Hmac() = default;
  Hmac(const Hmac&) = delete;
  Hmac& operator=(const Hmac&) = delete;
  virtual ~Hmac();

  // A key longer than the 64-byte block is replaced by its digest.
  void SetKey(const void* key, std::size_t length);
  void Init();
  // Message data goes into the inner digest.
  void Update(const void* data, std::size_t length);
  void Final(std::uint8_t out[kDigestSize]);
  // The MAC of a message exactly one digest long, from the keyed states and nothing else:
  // each hash is one padded block (PBKDF2's chain U(i+1) = HMAC(P, U(i))). out may be message.
  void MacOfDigest(const std::uint8_t message[kDigestSize], std::uint8_t out[kDigestSize]) const;

 private:
  typename Digest::Context innerKeyed_{};  // after the block key ^ 0x36
  typename Digest::Context outerKeyed_{};  // after the block key ^ 0x5c
  typename Digest::Context inner_{};
};

// The digest operations Hmac is built over.
struct Md5Algorithm {
  using Context = Md5Context;
  static constexpr std::size_t kSize = kMd5DigestSize;
  static void Init(Context& c) { Md5Init(c); }
  static void Update(Context& c, const void* data, std::size_t length) { Md5Update(c, data, length); }
  static void Final(std::uint8_t* out, Context& c) { Md5Final(out, c); }
  static void Digest(std::uint8_t* out, const void* data, std::size_t length) { Md5Digest(out, data, length); }
  static void FinishShortTail(const Context& c, const void* tail, std::size_t length, std::uint8_t* out) {
    Context copy = c;
    Md5Update(copy, tail, length);
    Md5Final(out, copy);
  }
};

struct Sha1Algorithm {
  using Context = Sha1Context;
  static constexpr std::size_t kSize = kSha1DigestSize;
  static void Init(Context& c) { Sha1Init(c); }
  static void Update(Context& c, const void* data, std::size_t length) { Sha1Update(c, data, length); }
  static void Final(std::uint8_t* out, Context& c) { Sha1Final(out, c); }
  static void Digest(std::uint8_t* out, const void* data, std::size_t length) { Sha1Digest(out, data, length); }
  static void FinishShortTail(const Context& c, const void* tail, std::size_t length, std::uint8_t* out) {
    Sha1FinishShortTail(c, tail, length, out);
  }
};

extern template class Hmac<Md5Algorithm>;
extern template class Hmac<Sha1Algorithm>;

using HmacMd5 = Hmac<Md5Algorithm>;
using HmacSha1 = Hmac<Sha1Algorithm>;
