#pragma once
// The EAPOL-Key frame of the WPA (descriptor type 254) and RSN (type 2) handshakes: its
// layout, a read-only view of a frame that passed the length checks, the MIC, and the
// writer that builds, signs and sends one.
#include <cstdint>

#include <dcf/dcfBytes.h>

class KeyHandlerServices;

namespace eapol_key {
// Offsets from the start of the EAPOL header; multi-byte fields big-endian.
constexpr uint32_t kDescriptorType = 4;
constexpr uint32_t kKeyInformation = 5;
constexpr uint32_t kKeyLength = 7;
constexpr uint32_t kReplayCounter = 9;
constexpr uint32_t kNonce = 17;
constexpr uint32_t kIv = 49;
constexpr uint32_t kRsc = 65;
constexpr uint32_t kMic = 81;
constexpr uint32_t kKeyDataLength = 97;
constexpr uint32_t kKeyData = 99;  // = the length of a frame without Key Data
constexpr uint32_t kNonceLength = 32;
constexpr uint32_t kIvLength = 16;
constexpr uint32_t kMicLength = 16;

constexpr uint8_t kDescriptorRsn = 2;
constexpr uint8_t kDescriptorWpa = 254;

// Key Information bits.
constexpr uint16_t kInfoVersionMask = 0x0007;
constexpr uint16_t kInfoPairwise = 0x0008;
constexpr uint16_t kInfoWpaKeyIndexMask = 0x0030;
constexpr uint16_t kInfoInstall = 0x0040;
constexpr uint16_t kInfoAck = 0x0080;
constexpr uint16_t kInfoMic = 0x0100;
constexpr uint16_t kInfoSecure = 0x0200;
constexpr uint16_t kInfoError = 0x0400;
constexpr uint16_t kInfoRequest = 0x0800;
constexpr uint16_t kInfoEncryptedKeyData = 0x1000;

// Key indexes handed to the host carry the NDIS add-key flags.
constexpr uint32_t kKeyIndexTransmit = 0x80000000;
constexpr uint32_t kKeyIndexPairwise = 0x40000000;
constexpr uint32_t kKeyIndexRscGiven = 0x20000000;
constexpr uint32_t kPairwiseKeyIndex = kKeyIndexTransmit | kKeyIndexPairwise | kKeyIndexRscGiven;
}  // namespace eapol_key

// A frame of at least 99 bytes whose Key Data lies within it (checked by the handler).
class EapolKeyFrame {
 public:
  EapolKeyFrame(const uint8_t* bytes, uint32_t length) : bytes_(bytes), length_(length) {}

  const uint8_t* Bytes() const { return bytes_; }
  uint32_t Length() const { return length_; }
  uint8_t EapolVersion() const { return bytes_[0]; }
  uint16_t KeyInformation() const { return Read16(eapol_key::kKeyInformation); }
  uint32_t DescriptorVersion() const { return KeyInformation() & eapol_key::kInfoVersionMask; }
  uint16_t KeyLength() const { return Read16(eapol_key::kKeyLength); }
  uint64_t ReplayCounter() const;
  const uint8_t* Nonce() const { return bytes_ + eapol_key::kNonce; }
  const uint8_t* Iv() const { return bytes_ + eapol_key::kIv; }
  const uint8_t* Rsc() const { return bytes_ + eapol_key::kRsc; }
  // The RSC as the host takes it: two u32 words in the frame's byte order, low word first.
  uint32_t RscLow() const { return ReadLittle32(eapol_key::kRsc); }
  uint32_t RscHigh() const { return ReadLittle32(eapol_key::kRsc + 4); }
  uint16_t KeyDataLength() const { return Read16(eapol_key::kKeyDataLength); }
  const uint8_t* KeyData() const { return bytes_ + eapol_key::kKeyData; }
  // The bytes the MIC covers: the header through the Key Data.
  uint32_t SignedLength() const { return eapol_key::kKeyData + KeyDataLength(); }

 private:
  uint16_t Read16(uint32_t at) const { return ReadBigEndian16(bytes_ + at); }
  uint32_t ReadLittle32(uint32_t at) const;

  const uint8_t* bytes_;
  uint32_t length_;
};

// MIC of an EAPOL-Key frame: HMAC-MD5 (descriptor version 1) or HMAC-SHA1 truncated to 16
// bytes (version 2), keyed with the first 16 bytes of kck, over the frame with its MIC field
// taken as zero. False (nothing written) for another version or no key.
bool ComputeEapolKeyMic(uint32_t descriptorVersion, const uint8_t* kck, const uint8_t* frame,
                        uint32_t frameLength, uint8_t mic[eapol_key::kMicLength],
                        uint32_t micOffset = eapol_key::kMic);

// Verifies the frame's MIC (over Key Data Length + 99 bytes), comparing in constant time.
bool eapol_key_mic(uint32_t descriptorVersion, const uint8_t* kck, const uint8_t* frame,
                   uint32_t frameLength, uint32_t micOffset = eapol_key::kMic);

// The fields of one EAPOL-Key frame to send. Absent nonce, IV and RSC are zero.
struct EapolKeyWriter {
  uint8_t eapolVersion = 2;
  uint32_t descriptorVersion = 0;
  const uint8_t* micKey = nullptr;  // KCK (16 bytes); needed when keyInformation has MIC
  uint16_t keyInformation = 0;
  uint16_t keyLength = 0;
  uint64_t replayCounter = 0;
  const uint8_t* nonce = nullptr;  // 32 bytes
  const uint8_t* iv = nullptr;     // 16 bytes
  uint32_t rscLow = 0;
  uint32_t rscHigh = 0;
  const uint8_t* keyData = nullptr;
  uint32_t keyDataLength = 0;

  // Builds the frame with the descriptor type, signs it when asked and hands it to
  // TransmitEapolKey. False, and nothing sent, when the MIC cannot be computed.
  bool Write(uint8_t descriptorType, KeyHandlerServices& services) const;
};
