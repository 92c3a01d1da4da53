#pragma once
// Records that cross the adapter-control library's interface, with their exact byte layouts
// (little-endian, DWORD = uint32_t), and the notification codes the library posts.
#include <bit>
#include <cstddef>
#include <cstdint>

static_assert(std::endian::native == std::endian::little,
              "the library's records are little-endian byte images");

// Directed scan for one SSID (52 bytes).
typedef struct _ZELCON_SSID_SCAN {
  uint32_t SsidLength;
  uint8_t Ssid[32];
  uint8_t Channel[14];  // channel numbers, 0 = unused
  uint8_t Padding[2];
} ZELCON_SSID_SCAN;
static_assert(sizeof(ZELCON_SSID_SCAN) == 52);

// Scan probing one BSSID (FF-FF-FF-FF-FF-FF = any) on up to 14 channels (20 bytes).
typedef struct _ZELCON_BSSID_SCAN {
  uint8_t Bssid[6];
  uint8_t Channel[14];
} ZELCON_BSSID_SCAN;
static_assert(sizeof(ZELCON_BSSID_SCAN) == 20);

// One entry of the scan list that ZelconQueryScanList returns (152 bytes): the NDIS
// 802.11 BSSID record from its MAC address on, then the library's own fields.
typedef struct _SCAN_LIST_ENTRY {
  uint32_t Length;  // step to the next entry
  uint8_t MacAddress[6];
  uint8_t Reserved[2];
  uint32_t SsidLength;
  uint8_t Ssid[32];
  uint32_t Privacy;
  int32_t Rssi;  // dBm
  uint32_t NetworkTypeInUse;
  uint32_t ConfigLength;
  uint32_t BeaconPeriod;
  uint32_t AtimWindow;
  uint32_t DsConfig;  // frequency in kHz
  uint32_t FhConfig[4];
  uint32_t InfrastructureMode;  // 0 ad hoc, non-zero access point
  uint8_t SupportedRates[8];
  uint8_t Zero[8];
  uint32_t BOnly;    // 1 = 802.11b-only BSS
  uint32_t Channel;
  uint8_t Vendor[32];  // head of the BSS's vendor element
} SCAN_LIST_ENTRY;
static_assert(sizeof(SCAN_LIST_ENTRY) == 152);
static_assert(offsetof(SCAN_LIST_ENTRY, SsidLength) == 12);
static_assert(offsetof(SCAN_LIST_ENTRY, Rssi) == 52);
static_assert(offsetof(SCAN_LIST_ENTRY, DsConfig) == 72);
static_assert(offsetof(SCAN_LIST_ENTRY, InfrastructureMode) == 92);
static_assert(offsetof(SCAN_LIST_ENTRY, BOnly) == 112);
static_assert(offsetof(SCAN_LIST_ENTRY, Vendor) == 120);

// Head of one entry of the extended list (ZelconQueryScanListLength), the public
// NDIS_WLAN_BSSID_EX layout; IELength bytes of elements follow at offset 116.
typedef struct _ZELCON_BSSID_EX_HEAD {
  uint32_t Length;
  uint8_t MacAddress[6];
  uint8_t Reserved[2];
  uint32_t SsidLength;
  uint8_t Ssid[32];
  uint32_t Privacy;
  int32_t Rssi;
  uint32_t NetworkTypeInUse;
  uint32_t ConfigLength;
  uint32_t BeaconPeriod;
  uint32_t AtimWindow;
  uint32_t DsConfig;
  uint32_t FhConfig[4];
  uint32_t InfrastructureMode;
  uint8_t SupportedRates[16];
  uint32_t IELength;
} ZELCON_BSSID_EX_HEAD;
static_assert(sizeof(ZELCON_BSSID_EX_HEAD) == 116);

// Size of the buffer every reader offers for either list.
constexpr uint32_t kZelconScanBufferSize = 0x6000;

// NDIS 802.11 statistics record (104 bytes).
typedef struct _NDIS_802_11_STATISTICS {
  uint32_t Length;
  uint32_t Padding;
  int64_t TransmittedFragmentCount;
  int64_t MulticastTransmittedFrameCount;
  int64_t FailedCount;
  int64_t RetryCount;
  int64_t MultipleRetryCount;
  int64_t RTSSuccessCount;
  int64_t RTSFailureCount;
  int64_t ACKFailureCount;
  int64_t FrameDuplicateCount;
  int64_t ReceivedFragmentCount;
  int64_t MulticastReceivedFrameCount;
  int64_t FCSErrorCount;
} NDIS_802_11_STATISTICS;
static_assert(sizeof(NDIS_802_11_STATISTICS) == 104);

typedef struct _BEACON_STATS {
  uint32_t Received;
  uint32_t Lost;
} BEACON_STATS;
static_assert(sizeof(BEACON_STATS) == 8);

typedef struct _RSSI_STATS {
  uint32_t Bin[4];
} RSSI_STATS;
static_assert(sizeof(RSSI_STATS) == 16);

// One-touch setup records.
#pragma pack(push, 1)
typedef struct _HLVN_SWIFTBOND_SEC_INFO {
  uint8_t Length;  // 168
  uint8_t Flags;
  uint8_t Pin[32];
  uint8_t SecurityBlock[128];
  uint16_t SecurityWord;   // 2 DHCP, 1 static address
  uint8_t Address[4];      // IPv4, first octet first
} HLVN_SWIFTBOND_SEC_INFO;
#pragma pack(pop)
static_assert(sizeof(HLVN_SWIFTBOND_SEC_INFO) == 168);
static_assert(offsetof(HLVN_SWIFTBOND_SEC_INFO, SecurityWord) == 162);

typedef struct _HLVN_SWIFTBOND_SETUP_REQ {
  uint8_t Length;  // 8
  uint8_t Flags;
  uint16_t Action;   // 1 start
  uint16_t KeyType;
  uint16_t KeyIndex;
} HLVN_SWIFTBOND_SETUP_REQ;
static_assert(sizeof(HLVN_SWIFTBOND_SETUP_REQ) == 8);

typedef struct _HLVN_SWIFTBOND_AP_INFO {
  uint32_t SsidLength;
  uint8_t Ssid[32];
  uint8_t ApValue[16];
} HLVN_SWIFTBOND_AP_INFO;
static_assert(sizeof(HLVN_SWIFTBOND_AP_INFO) == 52);

// Notification codes (first message parameter). The driver's events pass through with
// their own codes; 1008 and 1012 are the library's.
enum ZelconNotification : uint32_t {
  HLVN_EVENT_CONNECT_FAILED = 0,
  HLVN_EVENT_ASSOCIATED = 1,
  HLVN_EVENT_ADAPTER_REMOVED = 2,
  HLVN_EVENT_IBSS_CONNECTED = 3,
  HLVN_EVENT_IBSS_FAILED = 4,
  HLVN_EVENT_DISCONNECTED = 5,
  HLVN_EVENT_SCAN_COMPLETE = 6,
  HLVN_EVENT_RADIO_ON = 8,
  HLVN_EVENT_RADIO_OFF = 9,
  HLVN_EVENT_SECURITY_OID = 137,
  HLVN_EVENT_SWIFTBOND_STEP = 0xF0000000,  // + step 0..7
  HLVN_EVENT_SWIFTBOND_FAILED = 0xF0000008,
  ZELCON_NOTIFY_PORT_AUTHORIZED = 1008,
  ZELCON_NOTIFY_CONNECTION_TEXT = 1012,  // the text travels with it
};
