#pragma once
// The adapter key table: four key entries by key identifier (entry 0 also holds the pairwise
// key), filled by OID_802_11_ADD_KEY records according to their KeyIndex flag bits and
// emptied by OID_802_11_REMOVE_KEY records.
#include <cstddef>
#include <cstdint>

namespace zelnic::core {

constexpr std::uint16_t kKeyValid = 0x0001;
constexpr std::uint16_t kKeyPairwise = 0x0008;
constexpr std::uint16_t kKeyReceiveOnly = 0x0010;
constexpr std::uint16_t kKeyFromAuthenticator = 0x0020;  // kept in the per-BSS tables only

struct KeyEntry {
  std::uint8_t keyLength = 0;
  std::uint16_t flags = 0;
  std::uint8_t stationAddress[6] = {};
  std::uint8_t bssid[6] = {};
  std::uint8_t michaelTransmitKey[8] = {};
  std::uint8_t michaelReceiveKey[8] = {};
  std::uint8_t temporalKey[16] = {};
  std::uint64_t receiveCounter = 0;   // 48-bit TSC or PN of the last accepted frame
  std::uint64_t transmitCounter = 0;  // 48-bit TSC or PN
  std::uint8_t keyMaterial[32] = {};
};

// Why an ADD_KEY or REMOVE_KEY record was refused (each maps to the invalid-data status).
enum class KeyRefusal {
  kNone,
  kRecordTooShort,     // buffer shorter than the fixed part plus KeyLength
  kBadKeyLength,       // KeyLength outside 5..32
  kPairwiseNotId0,     // pairwise key with a non-zero identifier
  kPairwiseNoTransmit, // pairwise bit without the transmit bit
  kBadKeyId,           // identifier above 3
  kTransmitBitOnRemove,
};

constexpr std::uint32_t kAddKeyFixedBytes = 32;  // Length, KeyIndex, KeyLength, BSSID, pad, KeyRSC
constexpr std::uint32_t kRemoveKeyBytes = 14;    // Length, KeyIndex, BSSID

// An ADD_KEY record that passed every check: where its key goes and what it holds.
struct KeyInstall {
  std::uint32_t keyIndex = 0;  // the record's own, flag bits included
  std::uint32_t id = 0;        // slot by key identifier (a receive-only identifier 0 is 1)
  bool transmit = false;
  bool pairwise = false;
  bool receiveOnly = false;
  std::uint32_t keyLength = 0;
  const std::uint8_t* bssid = nullptr;
  const std::uint8_t* material = nullptr;  // keyLength bytes inside the record
  bool rscGiven = false;
  std::uint64_t rsc = 0;  // 48 bits
};

// Checks an NDIS_802_11_KEY record of `length` bytes; `install` points into the record.
KeyRefusal ReadKeyRecord(const std::uint8_t* record, std::uint32_t length, KeyInstall& install);

// Checks an NDIS_802_11_REMOVE_KEY record {u32 Length, u32 KeyIndex, BSSID} of `length`
// bytes: it must hold the BSSID, and the KeyIndex must have no transmit bit and an
// identifier of at most 3. `bssid` points into the record.
KeyRefusal ReadRemoveKeyRecord(const std::uint8_t* record, std::uint32_t length, std::uint32_t& keyIndex,
                               const std::uint8_t*& bssid);

// Fills `entry` from a checked record (zeroed first): flags by role, key material, temporal
// key, Michael keys of a 32-byte key, both sequence counters from the KeyRSC when given.
void FillKeyEntry(KeyEntry& entry, const KeyInstall& install, const std::uint8_t ownAddress[6], bool wpaNone);

// Zeroes key bytes so that the compiler cannot leave the store out.
void WipeKeyBytes(void* bytes, std::size_t length);

// The key identifiers of the latest installs: a transmit key's id moves the one before it to
// `previousTransmit`, a group key's to `previousGroup`.
struct DefaultKeyIds {
  std::uint8_t transmit = 0;
  std::uint8_t previousTransmit = 0;
  std::uint8_t group = 0;
  std::uint8_t previousGroup = 0;
};

class AdapterKeyTable {
 public:
  ~AdapterKeyTable();
  // Installs the NDIS_802_11_KEY record of `length` bytes; a refused record changes nothing.
  // `ownAddress` is the adapter's MAC address at the time of the install.
  KeyRefusal AddKey(const std::uint8_t* record, std::uint32_t length, const std::uint8_t ownAddress[6],
                    bool wpaNone);
  void Install(const KeyInstall& install, const std::uint8_t ownAddress[6], bool wpaNone);
  // Zeroes the entry an NDIS_802_11_REMOVE_KEY KeyIndex names (entry 0 for a pairwise key).
  KeyRefusal RemoveKey(std::uint32_t keyIndex);
  void Clear();

  const KeyEntry& Entry(std::uint32_t slot) const { return entries_[slot & 3]; }
  // The ciphers move an entry's sequence counters.
  KeyEntry& Entry(std::uint32_t slot) { return entries_[slot & 3]; }
  std::uint32_t KeysInstalled() const { return keysInstalled_; }
  // Changes with every install, removal and clearing: what was derived from a key is stale.
  std::uint32_t Generation() const { return generation_; }
  std::uint8_t TransmitKeyId() const { return defaultKeyIds_.transmit; }
  std::uint8_t GroupKeyId() const { return defaultKeyIds_.group; }

 private:
  KeyEntry entries_[4];
  DefaultKeyIds defaultKeyIds_;
  std::uint32_t keysInstalled_ = 0;
  std::uint32_t generation_ = 0;
};

}  // namespace zelnic::core
