#include "driver/core/key_table.h"

#include <cstring>

namespace zelnic::core {
namespace {

constexpr std::uint32_t kTransmitBit = 0x80000000u;
constexpr std::uint32_t kPairwiseBit = 0x40000000u;
constexpr std::uint32_t kRscGivenBit = 0x20000000u;
constexpr std::uint32_t kAuthenticatorBit = 0x10000000u;

std::uint32_t Load32(const std::uint8_t* p) {
  return p[0] | static_cast<std::uint32_t>(p[1]) << 8 | static_cast<std::uint32_t>(p[2]) << 16 |
         static_cast<std::uint32_t>(p[3]) << 24;
}

void Wipe(void* p, std::size_t n) {
  volatile std::uint8_t* bytes = static_cast<volatile std::uint8_t*>(p);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = 0;
}

}  // namespace

AdapterKeyTable::~AdapterKeyTable() { Clear(); }

void AdapterKeyTable::Clear() {
  Wipe(entries_, sizeof entries_);
  Wipe(defaultKeyIds_, sizeof defaultKeyIds_);
  keysInstalled_ = 0;
  ++generation_;
}

KeyRefusal AdapterKeyTable::AddKey(const std::uint8_t* record, std::uint32_t length, const std::uint8_t ownAddress[6],
                                   bool wpaNone) {
  // The key material starts at offset 32: the record must hold it whole.
  if (record == nullptr || length < kAddKeyFixedBytes) return KeyRefusal::kRecordTooShort;
  const std::uint32_t keyIndex = Load32(record + 4);
  const std::uint32_t keyLength = Load32(record + 8);
  if (keyLength < 5 || keyLength > 32) return KeyRefusal::kBadKeyLength;
  if (length - kAddKeyFixedBytes < keyLength) return KeyRefusal::kRecordTooShort;
  const bool transmit = (keyIndex & kTransmitBit) != 0;
  const bool pairwise = (keyIndex & kPairwiseBit) != 0;
  std::uint32_t id = keyIndex & 0xFF;
  bool receiveOnly = false;
  if (pairwise && !transmit) return KeyRefusal::kPairwiseNoTransmit;
  if (pairwise && id != 0) return KeyRefusal::kPairwiseNotId0;
  if (!transmit) {
    receiveOnly = true;
    if (id == 0) id = 1;  // identifier 0 is the pairwise slot
  }
  if (id > 3) return KeyRefusal::kBadKeyId;

  KeyEntry& entry = entries_[(wpaNone || pairwise) ? 0 : id];
  Wipe(&entry, sizeof entry);
  entry.flags = static_cast<std::uint16_t>(pairwise ? kKeyPairwise : (receiveOnly ? kKeyReceiveOnly : 0));
  std::memcpy(entry.bssid, record + 12, 6);
  const std::uint8_t* material = record + kAddKeyFixedBytes;
  entry.keyLength = static_cast<std::uint8_t>(keyLength);
  std::memcpy(entry.keyMaterial, material, keyLength);
  std::memcpy(entry.temporalKey, material, keyLength < 16 ? keyLength : 16);
  if (keyLength == 32) {
    // An authenticator's key sends with bytes 16..23; ours receive with them. WPA-None peers
    // share one Michael key both ways.
    const bool authenticator = (keyIndex & kAuthenticatorBit) != 0;
    const std::uint8_t* first = material + 16;
    const std::uint8_t* second = wpaNone ? first : material + 24;
    std::memcpy(entry.michaelTransmitKey, authenticator ? first : second, 8);
    std::memcpy(entry.michaelReceiveKey, authenticator ? second : first, 8);
  }
  if ((keyIndex & kRscGivenBit) != 0) {
    std::uint64_t rsc = 0;
    for (int i = 0; i < 6; ++i) rsc |= static_cast<std::uint64_t>(record[24 + i]) << (8 * i);
    entry.receiveCounter = entry.transmitCounter = rsc;
  }
  entry.flags |= kKeyValid;
  std::memcpy(entry.stationAddress, ownAddress, 6);

  if (transmit) {
    defaultKeyIds_[1] = defaultKeyIds_[0];
    defaultKeyIds_[0] = static_cast<std::uint8_t>(id);
  } else {
    defaultKeyIds_[3] = defaultKeyIds_[2];
    defaultKeyIds_[2] = static_cast<std::uint8_t>(id);
  }
  ++keysInstalled_;
  ++generation_;
  return KeyRefusal::kNone;
}

KeyRefusal AdapterKeyTable::RemoveKey(std::uint32_t keyIndex) {
  if ((keyIndex & kTransmitBit) != 0) return KeyRefusal::kTransmitBitOnRemove;
  const std::uint32_t id = keyIndex & 0xFF;
  if (id > 3) return KeyRefusal::kBadKeyId;
  Wipe(&entries_[(keyIndex & kPairwiseBit) != 0 ? 0 : id], sizeof(KeyEntry));
  ++generation_;
  return KeyRefusal::kNone;
}

}  // namespace zelnic::core
