#pragma once
// WEP: RC4 over (IV ‖ key) and the CRC-32 integrity check value. Works on the 802.11 frame
// body of a protected frame: 3 IV bytes, 1 key-id byte, the encrypted data, a 4-byte ICV.
#include <cstdint>

namespace zelnic::core {

constexpr std::uint32_t kWepHeaderBytes = 4;  // IV (3) and key id (1)
constexpr std::uint32_t kWepIcvBytes = 4;
constexpr std::uint32_t kWepMaxKeyBytes = 13;  // WEP-104

// The IEEE 802.3 CRC-32 (reflected, init and final XOR all ones) from a fixed table.
std::uint32_t WepCrc32(const std::uint8_t* data, std::uint32_t length);

// The ICV (CRC-32, least significant byte first) of `length` plaintext bytes written after
// them, and checked there; TKIP shares both.
void WepAppendIcv(std::uint8_t* data, std::uint32_t length);
bool WepIcvMatches(const std::uint8_t* data, std::uint32_t length);
// RC4 keyed with `key` over `length` bytes at `data`, in place: WEP's step, which TKIP and
// CKIP take with their own per-frame keys. The cipher state is wiped afterwards.
void Rc4InPlace(const std::uint8_t* key, std::uint32_t keyLength, std::uint8_t* data, std::uint32_t length);

// The 4 header bytes of a protected body: the 24-bit IV most significant byte first, then
// the key id in the top two bits. CKIP shares the layout.
void WepPutHeader(std::uint8_t* body, std::uint32_t iv, std::uint32_t keyIndex);

// Encrypts `length` data bytes at `body + 4` in place: IV (most significant byte first) and
// key id in the 4 bytes at `body`, the ICV appended after the data (the caller leaves room
// for it). `iv` is the 24-bit initialisation vector. False, and nothing touched, for a key
// that is empty or longer than WEP-104.
bool WepEncrypt(std::uint8_t* body, std::uint32_t length, std::uint32_t iv, std::uint32_t keyIndex,
                const std::uint8_t* key, std::uint32_t keyLength);

// Why a received body was refused.
enum class WepRefusal { kNone, kTooShort, kBadKeyLength, kIcvMismatch };

// Decrypts a received body of `bodyLength` bytes in place with `key`; on success `dataLength`
// is the plaintext length (it starts at `body + 4`). The body is checked to hold the IV,
// key id and ICV before anything is subtracted; receive keys are 1..13 bytes.
WepRefusal WepDecrypt(std::uint8_t* body, std::uint32_t bodyLength, const std::uint8_t* key,
                      std::uint32_t keyLength, std::uint32_t& dataLength);

// The key id (0..3) a received body names; call only on bodies of at least 4 bytes.
inline std::uint32_t WepKeyId(const std::uint8_t* body) { return body[3] >> 6; }

}  // namespace zelnic::core
