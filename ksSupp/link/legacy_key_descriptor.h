#pragma once
// The IEEE 802.1X-2001 EAPOL-Key descriptor (type 1) of dynamic WEP: a WEP key RC4-encrypted
// under IV | the session's encryption key and signed with HMAC-MD5 under its signature key.
// Offsets from the start of the EAPOL frame, multi-byte fields big-endian:
//   0 EAPOL header, 4 descriptor type, 5 key length (2), 7 replay counter (8), 15 key IV
//   (16), 31 key index (bit 7 unicast), 32 key signature (16), 48 encrypted key (body
//   length - 44 bytes; absent: the key is the encryption key itself).
#include <cstdint>

#include <collections/dcfByteArray.h>

struct LegacyKey {
  SecureByteArray key;
  std::uint32_t index = 0;  // bit 31: unicast (transmit) key; low bits: the index
  std::uint64_t replayCounter = 0;
};

// Checks the frame against the session's keys and decrypts its WEP key into out. False,
// with the reason traced, when it is malformed, not signed with signatureKey, or asks for
// more key bytes than it or the encryption key holds.
bool ReadLegacyKeyDescriptor(const std::uint8_t* frame, std::uint32_t length,
                             const dcfByteArray& encryptionKey, const dcfByteArray& signatureKey,
                             LegacyKey& out);
