#pragma once
// The access point's key-management crypto, on OpenSSL only: the IEEE 802.11i PRF, the
// pass-phrase PSK, EAPOL-Key MICs and Key Data encryption (RC4 and AES key wrap).
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace air {

using Bytes = std::vector<uint8_t>;

// Overwrites a key buffer before it is released or reused.
void Wipe(Bytes& secret);

// PRF-n of IEEE 802.11i: HMAC-SHA1(key, label | 0 | data | counter) blocks.
Bytes Prf(const Bytes& key, std::string_view label, const Bytes& data, size_t length);

// The same PRF without a label: HMAC-SHA1(key, data | counter) blocks.
Bytes PrfWithoutLabel(const Bytes& key, const Bytes& data, size_t length);

// A pass phrase IEEE 802.11i allows: 8 to 63 printable ASCII characters.
bool IsPskPassphrase(std::string_view passphrase);

// PSK = PBKDF2-HMAC-SHA1(pass phrase, SSID, 4096 iterations, 32 bytes).
Bytes PskFromPassphrase(std::string_view passphrase, std::string_view ssid);

// EAPOL-Key MIC: HMAC-MD5 (descriptor version 1) or HMAC-SHA1 truncated to 16 bytes
// (version 2) over the frame, whose MIC field must already be zero. Empty on failure.
Bytes EapolMic(int descriptorVersion, const uint8_t* kck, const uint8_t* frame, size_t length);

// AES key wrap (RFC 3394) with a 16-byte KEK; plain is a multiple of 8 bytes, at least 16.
Bytes AesKeyWrap(const uint8_t* kek, const Bytes& plain);
// The inverse; empty when the integrity check fails.
Bytes AesKeyUnwrap(const uint8_t* kek, const Bytes& wrapped);

// RC4 with key IV | KEK, the first 256 keystream bytes discarded (encrypts and decrypts).
Bytes Rc4Skip256(const uint8_t* iv, const uint8_t* kek, const Bytes& data);
// RC4 with any key, the first 256 keystream bytes discarded.
Bytes Rc4Skip256(const Bytes& key, const Bytes& data);
// RC4 with any key from the first keystream byte (WEP).
Bytes Rc4(const Bytes& key, const Bytes& data);

// PMKID = the first 16 bytes of HMAC-SHA1(PMK, "PMK Name" | AA | SPA).
Bytes Pmkid(const Bytes& pmk, const uint8_t* aa, const uint8_t* spa);

// HMAC-MD5 of data under key (16 bytes).
Bytes HmacMd5(const Bytes& key, const Bytes& data);

// Random bytes from OpenSSL's generator.
Bytes RandomBytes(size_t count);

}  // namespace air
