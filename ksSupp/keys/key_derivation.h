#pragma once
// Key derivations of IEEE 802.11i over our own HMAC-SHA1: the PRF, PBKDF2 (pass phrase to
// PSK) and the PMKID.
#include <cstdint>

constexpr uint32_t kPmkidLength = 16;
constexpr uint32_t kPskLength = 32;
constexpr uint32_t kPskIterations = 4096;

// PRF-n of IEEE 802.11i: blocks of HMAC-SHA1(key, label | 0x00 | data | counter), counter
// from 0, until outLength bytes are produced. labelLength < 0 takes strlen(label); with no
// label (length 0) each block is HMAC-SHA1(key, data | counter).
void prf_sha1(const uint8_t* key, uint32_t keyLength, const char* label, int labelLength,
              const uint8_t* data, uint32_t dataLength, uint8_t* out, uint32_t outLength);

// The function F of PBKDF2 (RFC 2898) with HMAC-SHA1: U1 xor U2 xor ... xor Uc for block
// blockIndex (from 1).
void pbkdf2_sha1_block(const uint8_t* password, uint32_t passwordLength, const uint8_t* salt,
                       uint32_t saltLength, uint32_t iterations, uint32_t blockIndex,
                       uint8_t out[20]);

// PBKDF2-HMAC-SHA1 of outLength bytes (blocks 1, 2, ...).
void pbkdf2_sha1(const uint8_t* password, uint32_t passwordLength, const uint8_t* salt,
                 uint32_t saltLength, uint32_t iterations, uint8_t* out, uint32_t outLength);

// The 32-byte PSK of a pass phrase and an SSID: PBKDF2-HMAC-SHA1 with 4096 iterations.
void PassphraseToPsk(const char* passphrase, uint32_t passphraseLength, const uint8_t* ssid,
                     uint32_t ssidLength, uint8_t psk[kPskLength]);

// PMKID = first 16 bytes of HMAC-SHA1(PMK, "PMK Name" | AA | SPA).
void compute_pmkid(const uint8_t* pmk, uint32_t pmkLength, const uint8_t aa[6],
                   const uint8_t spa[6], uint8_t pmkid[kPmkidLength]);
