#pragma once
// Keyed-hash message authentication (RFC 2104) over MD5 and SHA-1.
//
// Use: build the object, SetKey, Init, Update as often as needed, Final once; a new key
// needs a new object. The pads and both digest contexts are wiped when it is destroyed.
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

 private:
  std::uint8_t innerPad_[kBlockSize] = {};
  std::uint8_t outerPad_[kBlockSize] = {};
  typename Digest::Context inner_;
  typename Digest::Context outer_;
};

// The digest operations Hmac is built over.
struct Md5Algorithm {
  using Context = Md5Context;
  static constexpr std::size_t kSize = kMd5DigestSize;
  static void Init(Context& c) { Md5Init(c); }
  static void Update(Context& c, const void* data, std::size_t length) { Md5Update(c, data, length); }
  static void Final(std::uint8_t* out, Context& c) { Md5Final(out, c); }
  static void Digest(std::uint8_t* out, const void* data, std::size_t length) { Md5Digest(out, data, length); }
};

struct Sha1Algorithm {
  using Context = Sha1Context;
  static constexpr std::size_t kSize = kSha1DigestSize;
  static void Init(Context& c) { Sha1Init(c); }
  static void Update(Context& c, const void* data, std::size_t length) { Sha1Update(c, data, length); }
  static void Final(std::uint8_t* out, Context& c) { Sha1Final(out, c); }
  static void Digest(std::uint8_t* out, const void* data, std::size_t length) { Sha1Digest(out, data, length); }
};

extern template class Hmac<Md5Algorithm>;
extern template class Hmac<Sha1Algorithm>;

using HmacMd5 = Hmac<Md5Algorithm>;
using HmacSha1 = Hmac<Sha1Algorithm>;
