#pragma once
// CKIP: WEP's frame layout with a per-frame RC4 key made by key permutation (the TKIP S-box
// over the key, the IV and the direction) and, inside the encrypted body, the CKIP SNAP
// header, a 4-byte CMIC and a 4-byte sequence number. CMIC is an MMH hash modulo 2^32 + 15
// over an AES-128 counter keystream.
//
// Protected body: IV (3) | key id << 6 | encrypted { SNAP (8) | CMIC (4, big-endian) |
// SEQ (4, big-endian) | payload } | encrypted ICV (4).
#include <cstdint>

namespace zelnic::core {

constexpr std::uint8_t kCkipSnap[8] = {0xAA, 0xAA, 0x03, 0x00, 0x40, 0x96, 0x00, 0x02};
constexpr std::uint32_t kCkipSnapBytes = 8;
constexpr std::uint32_t kCkipHeaderBytes = 16;  // SNAP, CMIC, SEQ
constexpr std::uint32_t kCkipCmicAt = 8;
constexpr std::uint32_t kCkipSeqAt = 12;
constexpr std::uint32_t kCkipKeyBytes = 16;

// The Aironet element's CKIP flags.
constexpr std::uint8_t kCkipKeyPermutation = 0x10;
constexpr std::uint8_t kCkipCmic = 0x08;

// The key as CKIP uses it: always 16 bytes, a shorter key repeated from its start. The first
// word is the next sequence number to send, restarted at every install.
struct CkipKeyRecord {
  std::uint32_t sequence = 0;
  std::uint32_t second = 0;  // 1 while a key is installed
  std::uint8_t key[kCkipKeyBytes] = {};

  CkipKeyRecord() = default;
  CkipKeyRecord(const CkipKeyRecord&) = default;
  CkipKeyRecord& operator=(const CkipKeyRecord&) = default;
  ~CkipKeyRecord();
  bool Installed() const { return second != 0; }
};

// Installs `length` key bytes (the first 16 when longer; nothing for an empty key).
void InstallCkipKey(CkipKeyRecord& record, const std::uint8_t* key, std::uint32_t length);
void WipeCkipKey(CkipKeyRecord& record);
// The sequence number for the next frame sent under the key: 0, 2, 4, ...
std::uint32_t TakeCkipSequence(CkipKeyRecord& record);

// Direction of the permutation: 1 when sending; a received frame's ToDS/FromDS bits.
void CkipKeyPermute(std::uint8_t out[16], const std::uint8_t key[16], std::uint32_t direction,
                    const std::uint8_t iv[3]);

// MMH's final step: a 64-bit sum reduced modulo 2^32 + 15 to 32 bits.
std::uint32_t MmhReduce(std::uint64_t sum);

// The CMIC of a plaintext CKIP body (starting at its SNAP header, `length` >= 16) sent from
// `source` to `destination`; the CMIC field itself is left out of the message.
std::uint32_t CkipCmic(const std::uint8_t key[16], const std::uint8_t destination[6], const std::uint8_t source[6],
                       const std::uint8_t* body, std::uint32_t length);
// Writes the CMIC into the body's field.
void CkipSealCmic(const std::uint8_t key[16], const std::uint8_t destination[6], const std::uint8_t source[6],
                  std::uint8_t* body, std::uint32_t length);
// A body that starts with the CKIP SNAP header must carry the right CMIC; any other body
// passes unchecked. Sequence numbers are not checked for replays.
bool CkipCmicMatches(const std::uint8_t key[16], const std::uint8_t destination[6], const std::uint8_t source[6],
                     const std::uint8_t* body, std::uint32_t length);

// Encrypts `length` data bytes at `body + 4` in place (IV, key id and the appended ICV as
// WEP lays them out; the caller leaves 4 bytes of room after the data). With `permute` the
// RC4 key is the permuted key for the frame's ToDS/FromDS bits `direction` (1 from a station),
// else IV and the first 13 key bytes.
void CkipEncrypt(std::uint8_t* body, std::uint32_t length, std::uint32_t iv, std::uint32_t keyId,
                 const CkipKeyRecord& key, bool permute, std::uint32_t direction);

enum class CkipRefusal { kNone, kTooShort, kNoKey, kIcvMismatch };

// Decrypts a received body of `bodyLength` bytes in place; on success the plaintext of
// `dataLength` bytes starts at `body + 4`. `direction` is the frame's ToDS/FromDS bits.
CkipRefusal CkipDecrypt(std::uint8_t* body, std::uint32_t bodyLength, const CkipKeyRecord& key, bool permute,
                        std::uint32_t direction, std::uint32_t& dataLength);

}  // namespace zelnic::core
