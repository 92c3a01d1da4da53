#pragma once
// Decryption of EAPOL-Key Key Data: RC4 with the first 256 keystream bytes discarded
// (descriptor version 1) and AES key unwrap (RFC 3394, version 2).
#include <cstdint>

class EapolKeyFrame;
class IeSet;
class SecureByteArray;

constexpr uint32_t kRc4KeystreamDiscard = 256;

// RFC 3394 key unwrap with a 16-byte KEK over single-block AES-128 (OpenSSL EVP). The input
// is a multiple of 8 bytes, at least 16; the output, 8 bytes shorter, is written only when
// the integrity value A6A6A6A6A6A6A6A6 checks out.
bool AesKeyUnwrap(const uint8_t kek[16], const uint8_t* wrapped, uint32_t wrappedLength,
                  uint8_t* out);

// RC4 with the first 256 keystream bytes discarded, over length bytes.
void Rc4Skip256(const uint8_t* key, uint32_t keyLength, const uint8_t* in, uint32_t length,
                uint8_t* out);

// RC4 keyed with IV (16) | KEK (16), 256 keystream bytes discarded, over length bytes.
void Rc4KeyData(const uint8_t iv[16], const uint8_t kek[16], const uint8_t* in, uint32_t length,
                uint8_t* out);

// Decrypts the frame's Key Data when it is flagged as encrypted (else takes it as it is) and
// walks it into keyData. ptk must hold at least KCK | KEK (32 bytes).
bool DecryptKeyData(const EapolKeyFrame& frame, const SecureByteArray& ptk, IeSet& keyData);

// The group key of a WPA group message: Key Length bytes from the Key Data, RC4 (descriptor
// version 1) over the first Key Length bytes, or AES key unwrap (version 2) of the Key Data
// truncated to a multiple of 8 bytes, whose result must hold Key Length bytes. False when
// the Key Data is too short for the key or does not unwrap.
bool DecryptWpaGroupKey(const EapolKeyFrame& frame, const SecureByteArray& ptk, SecureByteArray& key);
