#pragma once
// The media, the published OID numbers and the published 802.11 records that cross the
// miniport boundary (and, copied, the driver's control device). The records hold no
// pointers and keep their published layouts; the static_asserts below pin them.
#include <cstddef>

#include "platform/ndis/ndis_types.h"

enum NDIS_MEDIUM {
  NdisMedium802_3 = 0,
  NdisMedium802_5 = 1,
  NdisMediumFddi = 2,
  NdisMediumWan = 3,
  NdisMediumLocalTalk = 4,
  NdisMediumDix = 5,
  NdisMediumArcnetRaw = 6,
  NdisMediumArcnet878_2 = 7,
  NdisMediumAtm = 8,
  NdisMediumWirelessWan = 9,
  NdisMediumIrda = 10,
  NdisMediumBpc = 11,
  NdisMediumCoWan = 12,
  NdisMedium1394 = 13,
  NdisMediumMax = 14,
};
using PNDIS_MEDIUM = NDIS_MEDIUM*;

enum NDIS_PHYSICAL_MEDIUM { NdisPhysicalMediumUnspecified = 0, NdisPhysicalMediumWirelessLan = 1 };
enum NDIS_HARDWARE_STATUS { NdisHardwareStatusReady = 0 };
enum NDIS_MEDIA_STATE { NdisMediaStateConnected = 0, NdisMediaStateDisconnected = 1 };

// General OIDs.
constexpr NDIS_OID OID_GEN_SUPPORTED_LIST = 0x00010101;
constexpr NDIS_OID OID_GEN_HARDWARE_STATUS = 0x00010102;
constexpr NDIS_OID OID_GEN_MEDIA_SUPPORTED = 0x00010103;
constexpr NDIS_OID OID_GEN_MEDIA_IN_USE = 0x00010104;
constexpr NDIS_OID OID_GEN_MAXIMUM_LOOKAHEAD = 0x00010105;
constexpr NDIS_OID OID_GEN_MAXIMUM_FRAME_SIZE = 0x00010106;
constexpr NDIS_OID OID_GEN_LINK_SPEED = 0x00010107;
constexpr NDIS_OID OID_GEN_TRANSMIT_BUFFER_SPACE = 0x00010108;
constexpr NDIS_OID OID_GEN_RECEIVE_BUFFER_SPACE = 0x00010109;
constexpr NDIS_OID OID_GEN_TRANSMIT_BLOCK_SIZE = 0x0001010A;
constexpr NDIS_OID OID_GEN_RECEIVE_BLOCK_SIZE = 0x0001010B;
constexpr NDIS_OID OID_GEN_VENDOR_ID = 0x0001010C;
constexpr NDIS_OID OID_GEN_VENDOR_DESCRIPTION = 0x0001010D;
constexpr NDIS_OID OID_GEN_CURRENT_PACKET_FILTER = 0x0001010E;
constexpr NDIS_OID OID_GEN_CURRENT_LOOKAHEAD = 0x0001010F;
constexpr NDIS_OID OID_GEN_DRIVER_VERSION = 0x00010110;
constexpr NDIS_OID OID_GEN_MAXIMUM_TOTAL_SIZE = 0x00010111;
constexpr NDIS_OID OID_GEN_PROTOCOL_OPTIONS = 0x00010112;
constexpr NDIS_OID OID_GEN_MAC_OPTIONS = 0x00010113;
constexpr NDIS_OID OID_GEN_MEDIA_CONNECT_STATUS = 0x00010114;
constexpr NDIS_OID OID_GEN_MAXIMUM_SEND_PACKETS = 0x00010115;
constexpr NDIS_OID OID_GEN_VENDOR_DRIVER_VERSION = 0x00010116;
constexpr NDIS_OID OID_GEN_SUPPORTED_GUIDS = 0x00010117;
constexpr NDIS_OID OID_GEN_PHYSICAL_MEDIUM = 0x00010202;
constexpr NDIS_OID OID_GEN_MACHINE_NAME = 0x0001021A;
constexpr NDIS_OID OID_GEN_XMIT_OK = 0x00020101;
constexpr NDIS_OID OID_GEN_RCV_OK = 0x00020102;
constexpr NDIS_OID OID_GEN_XMIT_ERROR = 0x00020103;
constexpr NDIS_OID OID_GEN_RCV_ERROR = 0x00020104;
constexpr NDIS_OID OID_GEN_RCV_NO_BUFFER = 0x00020105;
constexpr NDIS_OID OID_GEN_DIRECTED_FRAMES_RCV = 0x00020208;

// Packet filter bits (OID_GEN_CURRENT_PACKET_FILTER).
constexpr ULONG NDIS_PACKET_TYPE_DIRECTED = 0x00000001;
constexpr ULONG NDIS_PACKET_TYPE_MULTICAST = 0x00000002;
constexpr ULONG NDIS_PACKET_TYPE_ALL_MULTICAST = 0x00000004;
constexpr ULONG NDIS_PACKET_TYPE_BROADCAST = 0x00000008;
constexpr ULONG NDIS_PACKET_TYPE_PROMISCUOUS = 0x00000020;

// OID_GEN_MAC_OPTIONS bits.
constexpr ULONG NDIS_MAC_OPTION_COPY_LOOKAHEAD_DATA = 0x00000001;
constexpr ULONG NDIS_MAC_OPTION_RECEIVE_SERIALIZED = 0x00000002;
constexpr ULONG NDIS_MAC_OPTION_TRANSFERS_NOT_PEND = 0x00000004;
constexpr ULONG NDIS_MAC_OPTION_NO_LOOPBACK = 0x00000008;

// 802.3 OIDs.
constexpr NDIS_OID OID_802_3_PERMANENT_ADDRESS = 0x01010101;
constexpr NDIS_OID OID_802_3_CURRENT_ADDRESS = 0x01010102;
constexpr NDIS_OID OID_802_3_MULTICAST_LIST = 0x01010103;
constexpr NDIS_OID OID_802_3_MAXIMUM_LIST_SIZE = 0x01010104;
constexpr NDIS_OID OID_802_3_MAC_OPTIONS = 0x01010105;
constexpr NDIS_OID OID_802_3_RCV_ERROR_ALIGNMENT = 0x01020101;
constexpr NDIS_OID OID_802_3_XMIT_ONE_COLLISION = 0x01020102;
constexpr NDIS_OID OID_802_3_XMIT_MORE_COLLISIONS = 0x01020103;

// 802.11 OIDs.
constexpr NDIS_OID OID_802_11_BSSID = 0x0D010101;
constexpr NDIS_OID OID_802_11_SSID = 0x0D010102;
constexpr NDIS_OID OID_802_11_INFRASTRUCTURE_MODE = 0x0D010108;
constexpr NDIS_OID OID_802_11_ADD_WEP = 0x0D010113;
constexpr NDIS_OID OID_802_11_REMOVE_WEP = 0x0D010114;
constexpr NDIS_OID OID_802_11_DISASSOCIATE = 0x0D010115;
constexpr NDIS_OID OID_802_11_AUTHENTICATION_MODE = 0x0D010118;
constexpr NDIS_OID OID_802_11_PRIVACY_FILTER = 0x0D010119;
constexpr NDIS_OID OID_802_11_BSSID_LIST_SCAN = 0x0D01011A;
constexpr NDIS_OID OID_802_11_WEP_STATUS = 0x0D01011B;
constexpr NDIS_OID OID_802_11_ENCRYPTION_STATUS = OID_802_11_WEP_STATUS;
constexpr NDIS_OID OID_802_11_RELOAD_DEFAULTS = 0x0D01011C;
constexpr NDIS_OID OID_802_11_ADD_KEY = 0x0D01011D;
constexpr NDIS_OID OID_802_11_REMOVE_KEY = 0x0D01011E;
constexpr NDIS_OID OID_802_11_ASSOCIATION_INFORMATION = 0x0D01011F;
constexpr NDIS_OID OID_802_11_TEST = 0x0D010120;
constexpr NDIS_OID OID_802_11_MEDIA_STREAM_MODE = 0x0D010121;
constexpr NDIS_OID OID_802_11_CAPABILITY = 0x0D010122;
constexpr NDIS_OID OID_802_11_PMKID = 0x0D010123;
constexpr NDIS_OID OID_802_11_NETWORK_TYPES_SUPPORTED = 0x0D010203;
constexpr NDIS_OID OID_802_11_NETWORK_TYPE_IN_USE = 0x0D010204;
constexpr NDIS_OID OID_802_11_TX_POWER_LEVEL = 0x0D010205;
constexpr NDIS_OID OID_802_11_RSSI = 0x0D010206;
constexpr NDIS_OID OID_802_11_RSSI_TRIGGER = 0x0D010207;
constexpr NDIS_OID OID_802_11_FRAGMENTATION_THRESHOLD = 0x0D010209;
constexpr NDIS_OID OID_802_11_RTS_THRESHOLD = 0x0D01020A;
constexpr NDIS_OID OID_802_11_NUMBER_OF_ANTENNAS = 0x0D01020B;
constexpr NDIS_OID OID_802_11_RX_ANTENNA_SELECTED = 0x0D01020C;
constexpr NDIS_OID OID_802_11_TX_ANTENNA_SELECTED = 0x0D01020D;
constexpr NDIS_OID OID_802_11_SUPPORTED_RATES = 0x0D01020E;
constexpr NDIS_OID OID_802_11_DESIRED_RATES = 0x0D010210;
constexpr NDIS_OID OID_802_11_CONFIGURATION = 0x0D010211;
constexpr NDIS_OID OID_802_11_POWER_MODE = 0x0D010216;
constexpr NDIS_OID OID_802_11_BSSID_LIST = 0x0D010217;
constexpr NDIS_OID OID_802_11_STATISTICS = 0x0D020212;

// 802.11 enumerations.
enum NDIS_802_11_NETWORK_TYPE {
  Ndis802_11FH = 0,
  Ndis802_11DS = 1,
  Ndis802_11OFDM5 = 2,
  Ndis802_11OFDM24 = 3,
  Ndis802_11Automode = 4,
  Ndis802_11NetworkTypeMax = 5,
};

enum NDIS_802_11_NETWORK_INFRASTRUCTURE {
  Ndis802_11IBSS = 0,
  Ndis802_11Infrastructure = 1,
  Ndis802_11AutoUnknown = 2,
  Ndis802_11InfrastructureMax = 3,
};

enum NDIS_802_11_AUTHENTICATION_MODE {
  Ndis802_11AuthModeOpen = 0,
  Ndis802_11AuthModeShared = 1,
  Ndis802_11AuthModeAutoSwitch = 2,
  Ndis802_11AuthModeWPA = 3,
  Ndis802_11AuthModeWPAPSK = 4,
  Ndis802_11AuthModeWPANone = 5,
  Ndis802_11AuthModeWPA2 = 6,
  Ndis802_11AuthModeWPA2PSK = 7,
  Ndis802_11AuthModeMax = 8,
};

enum NDIS_802_11_ENCRYPTION_STATUS {
  Ndis802_11WEPEnabled = 0,
  Ndis802_11Encryption1Enabled = 0,
  Ndis802_11WEPDisabled = 1,
  Ndis802_11EncryptionDisabled = 1,
  Ndis802_11WEPKeyAbsent = 2,
  Ndis802_11Encryption1KeyAbsent = 2,
  Ndis802_11WEPNotSupported = 3,
  Ndis802_11EncryptionNotSupported = 3,
  Ndis802_11Encryption2Enabled = 4,
  Ndis802_11Encryption2KeyAbsent = 5,
  Ndis802_11Encryption3Enabled = 6,
  Ndis802_11Encryption3KeyAbsent = 7,
};
using NDIS_802_11_WEP_STATUS = NDIS_802_11_ENCRYPTION_STATUS;

enum NDIS_802_11_POWER_MODE {
  Ndis802_11PowerModeCAM = 0,
  Ndis802_11PowerModeMAX_PSP = 1,
  Ndis802_11PowerModeFast_PSP = 2,
};

enum NDIS_802_11_STATUS_TYPE {
  Ndis802_11StatusType_Authentication = 0,
  Ndis802_11StatusType_MediaStreamMode = 1,
  Ndis802_11StatusType_PMKID_CandidateList = 2,
};

using NDIS_802_11_MAC_ADDRESS = UCHAR[6];
using NDIS_802_11_RATES = UCHAR[8];
using NDIS_802_11_RATES_EX = UCHAR[16];
using NDIS_802_11_KEY_RSC = ULONGLONG;
using NDIS_802_11_RSSI = LONG;

// Key index bits of NDIS_802_11_KEY and NDIS_802_11_WEP.
constexpr ULONG NDIS_802_11_KEY_INDEX_TRANSMIT = 0x80000000u;
constexpr ULONG NDIS_802_11_KEY_INDEX_PAIRWISE = 0x40000000u;
constexpr ULONG NDIS_802_11_KEY_INDEX_SET_RSC = 0x20000000u;

// Authentication request flags (status indications and MIC failure reports).
constexpr ULONG NDIS_802_11_AUTH_REQUEST_REAUTH = 0x01;
constexpr ULONG NDIS_802_11_AUTH_REQUEST_KEYUPDATE = 0x02;
constexpr ULONG NDIS_802_11_AUTH_REQUEST_PAIRWISE_ERROR = 0x06;
constexpr ULONG NDIS_802_11_AUTH_REQUEST_GROUP_ERROR = 0x0E;

struct NDIS_802_11_SSID {
  ULONG SsidLength;
  UCHAR Ssid[32];
};

struct NDIS_802_11_CONFIGURATION_FH {
  ULONG Length;
  ULONG HopPattern;
  ULONG HopSet;
  ULONG DwellTime;
};

struct NDIS_802_11_CONFIGURATION {
  ULONG Length;
  ULONG BeaconPeriod;  // Kusec
  ULONG ATIMWindow;    // Kusec
  ULONG DSConfig;      // frequency in kHz
  NDIS_802_11_CONFIGURATION_FH FHConfig;
};

struct NDIS_WLAN_BSSID {
  ULONG Length;
  NDIS_802_11_MAC_ADDRESS MacAddress;
  UCHAR Reserved[2];
  NDIS_802_11_SSID Ssid;
  ULONG Privacy;
  NDIS_802_11_RSSI Rssi;
  NDIS_802_11_NETWORK_TYPE NetworkTypeInUse;
  NDIS_802_11_CONFIGURATION Configuration;
  NDIS_802_11_NETWORK_INFRASTRUCTURE InfrastructureMode;
  NDIS_802_11_RATES SupportedRates;
};

struct NDIS_802_11_BSSID_LIST {
  ULONG NumberOfItems;
  NDIS_WLAN_BSSID Bssid[1];
};

struct NDIS_WLAN_BSSID_EX {
  ULONG Length;
  NDIS_802_11_MAC_ADDRESS MacAddress;
  UCHAR Reserved[2];
  NDIS_802_11_SSID Ssid;
  ULONG Privacy;
  NDIS_802_11_RSSI Rssi;
  NDIS_802_11_NETWORK_TYPE NetworkTypeInUse;
  NDIS_802_11_CONFIGURATION Configuration;
  NDIS_802_11_NETWORK_INFRASTRUCTURE InfrastructureMode;
  NDIS_802_11_RATES_EX SupportedRates;
  ULONG IELength;
  UCHAR IEs[1];
};

struct NDIS_802_11_BSSID_LIST_EX {
  ULONG NumberOfItems;
  NDIS_WLAN_BSSID_EX Bssid[1];
};

struct NDIS_802_11_FIXED_IEs {
  UCHAR Timestamp[8];
  USHORT BeaconInterval;
  USHORT Capabilities;
};

struct NDIS_802_11_VARIABLE_IEs {
  UCHAR ElementID;
  UCHAR Length;
  UCHAR data[1];
};

struct NDIS_802_11_WEP {
  ULONG Length;
  ULONG KeyIndex;
  ULONG KeyLength;
  UCHAR KeyMaterial[1];
};

struct NDIS_802_11_KEY {
  ULONG Length;
  ULONG KeyIndex;
  ULONG KeyLength;
  NDIS_802_11_MAC_ADDRESS BSSID;
  NDIS_802_11_KEY_RSC KeyRSC;
  UCHAR KeyMaterial[1];
};

struct NDIS_802_11_REMOVE_KEY {
  ULONG Length;
  ULONG KeyIndex;
  NDIS_802_11_MAC_ADDRESS BSSID;
};

struct NDIS_802_11_STATISTICS {
  ULONG Length;
  LARGE_INTEGER TransmittedFragmentCount;
  LARGE_INTEGER MulticastTransmittedFrameCount;
  LARGE_INTEGER FailedCount;
  LARGE_INTEGER RetryCount;
  LARGE_INTEGER MultipleRetryCount;
  LARGE_INTEGER RTSSuccessCount;
  LARGE_INTEGER RTSFailureCount;
  LARGE_INTEGER ACKFailureCount;
  LARGE_INTEGER FrameDuplicateCount;
  LARGE_INTEGER ReceivedFragmentCount;
  LARGE_INTEGER MulticastReceivedFrameCount;
  LARGE_INTEGER FCSErrorCount;
};

struct NDIS_802_11_AI_REQFI {
  USHORT Capabilities;
  USHORT ListenInterval;
  NDIS_802_11_MAC_ADDRESS CurrentAPAddress;
};

struct NDIS_802_11_AI_RESFI {
  USHORT Capabilities;
  USHORT StatusCode;
  USHORT AssociationId;
};

constexpr USHORT NDIS_802_11_AI_REQFI_CAPABILITIES = 1;
constexpr USHORT NDIS_802_11_AI_REQFI_LISTENINTERVAL = 2;
constexpr USHORT NDIS_802_11_AI_REQFI_CURRENTAPADDRESS = 4;
constexpr USHORT NDIS_802_11_AI_RESFI_CAPABILITIES = 1;
constexpr USHORT NDIS_802_11_AI_RESFI_STATUSCODE = 2;
constexpr USHORT NDIS_802_11_AI_RESFI_ASSOCIATIONID = 4;

struct NDIS_802_11_ASSOCIATION_INFORMATION {
  ULONG Length;
  USHORT AvailableRequestFixedIEs;
  NDIS_802_11_AI_REQFI RequestFixedIEs;
  ULONG RequestIELength;
  ULONG OffsetRequestIEs;
  USHORT AvailableResponseFixedIEs;
  NDIS_802_11_AI_RESFI ResponseFixedIEs;
  ULONG ResponseIELength;
  ULONG OffsetResponseIEs;
};

struct NDIS_802_11_AUTHENTICATION_REQUEST {
  ULONG Length;
  NDIS_802_11_MAC_ADDRESS Bssid;
  ULONG Flags;
};

struct NDIS_802_11_STATUS_INDICATION {
  NDIS_802_11_STATUS_TYPE StatusType;
};

struct PMKID_CANDIDATE {
  NDIS_802_11_MAC_ADDRESS BSSID;
  ULONG Flags;
};
constexpr ULONG NDIS_802_11_PMKID_CANDIDATE_PREAUTH_ENABLED = 0x01;

struct NDIS_802_11_PMKID_CANDIDATE_LIST {
  ULONG Version;
  ULONG NumCandidates;
  PMKID_CANDIDATE CandidateList[1];
};

struct BSSID_INFO {
  NDIS_802_11_MAC_ADDRESS BSSID;
  UCHAR PMKID[16];
};

struct NDIS_802_11_PMKID {
  ULONG Length;
  ULONG BSSIDInfoCount;
  BSSID_INFO BSSIDInfo[1];
};

struct NDIS_802_11_AUTHENTICATION_ENCRYPTION {
  NDIS_802_11_AUTHENTICATION_MODE AuthModeSupported;
  NDIS_802_11_ENCRYPTION_STATUS EncryptStatusSupported;
};

struct NDIS_802_11_CAPABILITY {
  ULONG Length;
  ULONG Version;
  ULONG NoOfPMKIDs;
  ULONG NoOfAuthEncryptPairsSupported;
  NDIS_802_11_AUTHENTICATION_ENCRYPTION AuthenticationEncryptionSupported[1];
};

struct NDIS_802_11_AUTHENTICATION_EVENT {
  NDIS_802_11_STATUS_INDICATION Status;
  NDIS_802_11_AUTHENTICATION_REQUEST Request[1];
};

struct NDIS_802_11_TEST {
  ULONG Length;
  ULONG Type;
  union {
    NDIS_802_11_AUTHENTICATION_EVENT AuthenticationEvent;
    NDIS_802_11_RSSI RssiTrigger;
  };
};

// The published layouts.
static_assert(sizeof(NDIS_802_11_SSID) == 36);
static_assert(sizeof(NDIS_802_11_CONFIGURATION) == 32);
static_assert(sizeof(NDIS_WLAN_BSSID) == 104);
static_assert(offsetof(NDIS_WLAN_BSSID, Ssid) == 12);
static_assert(offsetof(NDIS_WLAN_BSSID, Configuration) == 60);
static_assert(offsetof(NDIS_WLAN_BSSID, SupportedRates) == 96);
static_assert(offsetof(NDIS_WLAN_BSSID_EX, IELength) == 112);
static_assert(offsetof(NDIS_WLAN_BSSID_EX, IEs) == 116);
static_assert(sizeof(NDIS_802_11_FIXED_IEs) == 12);
static_assert(offsetof(NDIS_802_11_WEP, KeyMaterial) == 12);
static_assert(offsetof(NDIS_802_11_KEY, BSSID) == 12);
static_assert(offsetof(NDIS_802_11_KEY, KeyRSC) == 24);
static_assert(offsetof(NDIS_802_11_KEY, KeyMaterial) == 32);
static_assert(sizeof(NDIS_802_11_REMOVE_KEY) == 16);
static_assert(sizeof(NDIS_802_11_STATISTICS) == 104);
static_assert(sizeof(NDIS_802_11_ASSOCIATION_INFORMATION) == 40);
static_assert(offsetof(NDIS_802_11_ASSOCIATION_INFORMATION, RequestIELength) == 16);
static_assert(offsetof(NDIS_802_11_ASSOCIATION_INFORMATION, ResponseFixedIEs) == 26);
static_assert(offsetof(NDIS_802_11_ASSOCIATION_INFORMATION, OffsetResponseIEs) == 36);
static_assert(sizeof(NDIS_802_11_AUTHENTICATION_REQUEST) == 16);
static_assert(sizeof(PMKID_CANDIDATE) == 12);
static_assert(sizeof(BSSID_INFO) == 22);
static_assert(sizeof(NDIS_802_11_PMKID) == 32);
static_assert(offsetof(NDIS_802_11_CAPABILITY, AuthenticationEncryptionSupported) == 16);
static_assert(offsetof(NDIS_802_11_TEST, AuthenticationEvent) == 8);
