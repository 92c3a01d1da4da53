#pragma once
// PROFILE_ENTRY: everything needed to join one network, as one 792-byte little-endian record.
// The same bytes are kept in memory, handed to the adapter-control library and stored
// (scrambled) in profile files, so a record is always copied whole: reserved bytes travel too.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

typedef struct _WPA_INFORMATION {
  uint8_t passphrase[128];  // not necessarily NUL-terminated
  uint8_t reserved1[4];
  uint32_t passphraseLength;
  uint8_t reserved2[4];
  char loginName[40];
  char password[40];  // as typed
  char domain[40];
  char certName[40];  // issuer of the chosen client certificate
  uint8_t reserved3[120];
  uint8_t certHash[20];  // SHA-1 of the client certificate
  uint8_t reserved4[20];
  char anonymousName[40];  // TTLS outer identity
} WPA_INFORMATION;

typedef struct _WEP_KEY_ENTRY {
  uint32_t length;  // 5 or 13, 0 = none
  uint8_t key[32];
} WEP_KEY_ENTRY;

typedef struct _PROFILE_ENTRY {
  char name[40];
  char ssid[33];
  uint8_t hiddenSsid;
  uint8_t adHocWlanMode;  // 1 = 802.11b only, 0 = 802.11g
  uint8_t reserved[5];
  uint32_t networkType;  // 1 infrastructure, 0 ad hoc
  uint32_t wlanMode;     // 255 automatic, 1 802.11b only
  uint32_t channel;      // ad hoc channel, 0 automatic
  uint32_t encryption;   // 0 none, 1 WEP, 2 TKIP, 3 AES
  uint32_t authMode;     // ProfileAuth
  uint32_t txKeyIndex;   // 1-4, 0 none
  WEP_KEY_ENTRY wepKeys[4];
  uint32_t obtainIpAutomatically;
  uint32_t ipAddress;  // first octet in the most significant byte
  uint32_t subnetMask;
  uint32_t defaultGateway;
  uint32_t keepAdapterDefaults;  // non-zero: the radio parameters are not applied
  uint32_t powerMode;
  uint32_t preamble;
  uint32_t dataRate;  // 500 kbit/s units, 255 automatic
  uint32_t fragThreshold;
  uint32_t rtsThreshold;
  uint32_t prefer;  // 1 = in the Auto Configuration prefer list
  WPA_INFORMATION wpa;
} PROFILE_ENTRY;

static_assert(sizeof(WPA_INFORMATION) == 500);
static_assert(offsetof(WPA_INFORMATION, passphraseLength) == 132);
static_assert(offsetof(WPA_INFORMATION, loginName) == 140);
static_assert(offsetof(WPA_INFORMATION, certName) == 260);
static_assert(offsetof(WPA_INFORMATION, certHash) == 420);
static_assert(offsetof(WPA_INFORMATION, anonymousName) == 460);
static_assert(sizeof(PROFILE_ENTRY) == 792);
static_assert(offsetof(PROFILE_ENTRY, hiddenSsid) == 73);
static_assert(offsetof(PROFILE_ENTRY, networkType) == 80);
static_assert(offsetof(PROFILE_ENTRY, txKeyIndex) == 100);
static_assert(offsetof(PROFILE_ENTRY, wepKeys) == 104);
static_assert(offsetof(PROFILE_ENTRY, obtainIpAutomatically) == 248);
static_assert(offsetof(PROFILE_ENTRY, keepAdapterDefaults) == 264);
static_assert(offsetof(PROFILE_ENTRY, prefer) == 288);
static_assert(offsetof(PROFILE_ENTRY, wpa) == 292);

namespace zelcon {

// Authentication codes of a profile.
enum ProfileAuth : uint32_t {
  kAuthOpen = 0, kAuthShared = 1, kAuthWpaPsk = 2, kAuthWpaLeap = 3, kAuthAuto = 4,
  kAuthWpaTls = 5, kAuthWpaPeap = 6, kAuthWpaTtls = 7, kAuthCcxLeap = 8, kAuthWpa2Psk = 9,
  kAuthWpa2Tls = 10, kAuthWpa2Peap = 11, kAuthWpa2Ttls = 12, kAuthCcxPeap = 13,
  kAuthWpa2Leap = 14, kAuth8021xTls = 15, kAuth8021xPeap = 16, kAuth8021xTtls = 17,
};

inline constexpr std::string_view kDefaultProfileName = "<Default>";
inline constexpr std::string_view kSiteSurveyProfileName = "<Site Survey>";
inline constexpr std::string_view kAnySsid = "<ANY SSID>";

// A fixed-width text field read without assuming a terminator.
template <size_t N>
std::string_view FieldText(const char (&field)[N]) {
  return std::string_view(field, strnlen(field, N));
}
// Writes `text` NUL-terminated and zero-filled, cut to fit.
template <size_t N>
void SetFieldText(char (&field)[N], std::string_view text) {
  std::memset(field, 0, N);
  std::memcpy(field, text.data(), text.size() < N ? text.size() : N - 1);
}

// An SSID as handed to the adapter: at most 32 bytes.
inline std::string_view ProfileSsid(const PROFILE_ENTRY& p) {
  std::string_view s = FieldText(p.ssid);
  return s.substr(0, 32);
}

inline bool IsAdHoc(const PROFILE_ENTRY& p) { return p.networkType == 0; }

// The profile made when a list has no "<Default>": join the strongest open network.
PROFILE_ENTRY MakeDefaultProfile();

// Zeroes a record that held secrets (pass phrase, password) before its memory is reused.
void WipeProfile(PROFILE_ENTRY& p);

}  // namespace zelcon
