#include "driver/core/ckip_cipher.h"

#include <cstring>

#include "driver/core/aes128.h"
#include "driver/core/key_table.h"
#include "driver/core/tkip_key_mixing.h"
#include "driver/core/wep_cipher.h"

namespace zelnic::core {
namespace {

std::uint32_t Get32BigEndian(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
         static_cast<std::uint32_t>(p[2]) << 8 | p[3];
}

void Put32BigEndian(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v >> 24);
  p[1] = static_cast<std::uint8_t>(v >> 16);
  p[2] = static_cast<std::uint8_t>(v >> 8);
  p[3] = static_cast<std::uint8_t>(v);
}

// MMH: the message as big-endian 32-bit words (the last padded with zeros), each multiplied
// by the next word of the AES counter keystream, the products summed in 64 bits. One AES
// block serves four words.
class Mmh {
 public:
  explicit Mmh(const std::uint8_t key[16]) { AesExpandKey(key, kAes128KeyBytes, aes_); }
  ~Mmh() {
    WipeKeyBytes(keystream_, sizeof keystream_);
    WipeKeyBytes(pending_, sizeof pending_);
  }
  Mmh(const Mmh&) = delete;
  Mmh& operator=(const Mmh&) = delete;

  void Add(const std::uint8_t* data, std::uint32_t length) {
    for (std::uint32_t i = 0; i < length; ++i) {
      pending_[pendingBytes_++] = data[i];
      if (pendingBytes_ == 4) AddWord();
    }
  }

  std::uint32_t Finish() {
    if (pendingBytes_ != 0) {
      std::memset(pending_ + pendingBytes_, 0, 4 - pendingBytes_);
      AddWord();
    }
    return MmhReduce(sum_);
  }

 private:
  void AddWord() {
    if (words_ % 4 == 0) {
      std::uint8_t counter[16] = {};
      Put32BigEndian(counter + 12, words_ / 4);
      AesEncryptBlock(counter, keystream_, aes_);
    }
    const std::uint64_t keyWord = Get32BigEndian(keystream_ + 4 * (words_ % 4));
    sum_ += static_cast<std::uint64_t>(Get32BigEndian(pending_)) * keyWord;
    ++words_;
    pendingBytes_ = 0;
  }

  AesKeySchedule aes_;
  std::uint8_t keystream_[16] = {};
  std::uint8_t pending_[4] = {};
  std::uint32_t pendingBytes_ = 0;
  std::uint32_t words_ = 0;
  std::uint64_t sum_ = 0;
};

// The 16-byte RC4 key of one frame: the permuted key, or IV ‖ the first 13 key bytes as
// WEP-104 forms it (never the bare key, which would give every frame the same keystream).
void FrameSeed(std::uint8_t seed[16], const CkipKeyRecord& key, bool permute, std::uint32_t direction,
               const std::uint8_t iv[3]) {
  if (permute) {
    CkipKeyPermute(seed, key.key, direction, iv);
    return;
  }
  std::memcpy(seed, iv, 3);
  std::memcpy(seed + 3, key.key, kCkipKeyBytes - 3);
}

}  // namespace

CkipKeyRecord::~CkipKeyRecord() { WipeCkipKey(*this); }

void InstallCkipKey(CkipKeyRecord& record, const std::uint8_t* key, std::uint32_t length) {
  WipeCkipKey(record);
  if (key == nullptr || length == 0) return;
  for (std::uint32_t i = 0; i < kCkipKeyBytes; ++i) record.key[i] = key[i % length];
  record.sequence = 0;
  record.second = 1;
}

void WipeCkipKey(CkipKeyRecord& record) {
  WipeKeyBytes(record.key, sizeof record.key);
  record.sequence = 0;
  record.second = 0;
}

std::uint32_t TakeCkipSequence(CkipKeyRecord& record) {
  const std::uint32_t sequence = record.sequence;
  record.sequence += 2;
  return sequence;
}

void CkipKeyPermute(std::uint8_t out[16], const std::uint8_t key[16], std::uint32_t direction,
                    const std::uint8_t iv[3]) {
  std::uint16_t h[8];
  for (int i = 0; i < 8; ++i) h[i] = static_cast<std::uint16_t>(key[2 * i] | key[2 * i + 1] << 8);
  std::uint16_t left = static_cast<std::uint16_t>(iv[0] << 8 | iv[1]);
  std::uint16_t right = static_cast<std::uint16_t>((direction & 0xFF) << 8 | iv[2]);
  std::uint16_t p[8];
  for (int i = 0; i < 8; ++i) {
    const std::uint16_t t = TkipSbox(static_cast<std::uint16_t>(left ^ h[i]));
    left = static_cast<std::uint16_t>(t ^ right);
    p[i] = left;
    right = t;
  }
  std::uint16_t e = h[0];
  for (int i = 7; i >= 1; --i) {
    e = static_cast<std::uint16_t>(static_cast<std::uint16_t>(e << 1 | e >> 15) + p[i]);
    p[i] = e;
  }
  out[0] = iv[0];
  out[1] = iv[1];
  out[2] = iv[2];
  for (int b = 3; b < 16; ++b) out[b] = static_cast<std::uint8_t>(p[b / 2] >> (8 * (b % 2)));
  WipeKeyBytes(h, sizeof h);
  WipeKeyBytes(p, sizeof p);
}

// 2^32 ≡ -15 modulo 2^32 + 15: hi·2^32 + lo folds to lo - 15·hi. Two folds leave a value in
// [0, 2^32 + 225); one subtraction of the modulus then gives the residue. A value equal to
// the modulus reduces to 0.
std::uint32_t MmhReduce(std::uint64_t sum) {
  constexpr std::int64_t kModulus = (std::int64_t{1} << 32) + 15;
  std::int64_t value = static_cast<std::int64_t>(sum & 0xFFFFFFFFu) - 15 * static_cast<std::int64_t>(sum >> 32);
  value = (value & 0xFFFFFFFF) - 15 * (value >> 32);  // arithmetic shift: hi is -15..0
  if (value >= kModulus) value -= kModulus;
  return static_cast<std::uint32_t>(value);
}

std::uint32_t CkipCmic(const std::uint8_t key[16], const std::uint8_t destination[6], const std::uint8_t source[6],
                       const std::uint8_t* body, std::uint32_t length) {
  Mmh mmh(key);
  const std::uint8_t lengthField[2] = {static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)};
  mmh.Add(destination, 6);
  mmh.Add(source, 6);
  mmh.Add(lengthField, 2);
  mmh.Add(body, kCkipSnapBytes);
  mmh.Add(body + kCkipSeqAt, 4);
  mmh.Add(body + kCkipHeaderBytes, length - kCkipHeaderBytes);
  return mmh.Finish();
}

void CkipSealCmic(const std::uint8_t key[16], const std::uint8_t destination[6], const std::uint8_t source[6],
                  std::uint8_t* body, std::uint32_t length) {
  Put32BigEndian(body + kCkipCmicAt, CkipCmic(key, destination, source, body, length));
}

bool CkipCmicMatches(const std::uint8_t key[16], const std::uint8_t destination[6], const std::uint8_t source[6],
                     const std::uint8_t* body, std::uint32_t length) {
  if (length < kCkipSnapBytes || std::memcmp(body, kCkipSnap, kCkipSnapBytes) != 0) return true;
  if (length < kCkipHeaderBytes) return false;
  return CkipCmic(key, destination, source, body, length) == Get32BigEndian(body + kCkipCmicAt);
}

void CkipEncrypt(std::uint8_t* body, std::uint32_t length, std::uint32_t iv, std::uint32_t keyId,
                 const CkipKeyRecord& key, bool permute, std::uint32_t direction) {
  WepPutHeader(body, iv, keyId);
  std::uint8_t* data = body + kWepHeaderBytes;
  WepAppendIcv(data, length);
  std::uint8_t seed[16];
  FrameSeed(seed, key, permute, direction, body);
  Rc4InPlace(seed, kCkipKeyBytes, data, length + kWepIcvBytes);
  WipeKeyBytes(seed, sizeof seed);
}

CkipRefusal CkipDecrypt(std::uint8_t* body, std::uint32_t bodyLength, const CkipKeyRecord& key, bool permute,
                        std::uint32_t direction, std::uint32_t& dataLength) {
  dataLength = 0;
  if (bodyLength < kWepHeaderBytes + kWepIcvBytes) return CkipRefusal::kTooShort;
  if (!key.Installed()) return CkipRefusal::kNoKey;
  const std::uint32_t length = bodyLength - kWepHeaderBytes - kWepIcvBytes;
  std::uint8_t* data = body + kWepHeaderBytes;
  std::uint8_t seed[16];
  FrameSeed(seed, key, permute, direction, body);
  Rc4InPlace(seed, kCkipKeyBytes, data, length + kWepIcvBytes);
  WipeKeyBytes(seed, sizeof seed);
  if (!WepIcvMatches(data, length)) return CkipRefusal::kIcvMismatch;
  dataLength = length;
  return CkipRefusal::kNone;
}

}  // namespace zelnic::core
