#pragma once
// Published NDIS OID numbers the library uses (ntddndis.h's records clash with the library's
// own record names, so the numbers are named here).
#include <cstdint>

namespace zelcon {

constexpr uint32_t kOidVendorDescription = 0x0001010D;
constexpr uint32_t kOidVendorDriverVersion = 0x00010116;
constexpr uint32_t kOidLinkSpeed = 0x00010107;
constexpr uint32_t kOidMediaConnectStatus = 0x00010114;
constexpr uint32_t kOidCurrentAddress = 0x01010102;
constexpr uint32_t kOidBssid = 0x0D010101;
constexpr uint32_t kOidSsid = 0x0D010102;
constexpr uint32_t kOidInfrastructureMode = 0x0D010108;
constexpr uint32_t kOidDisassociate = 0x0D010115;
constexpr uint32_t kOidAuthenticationMode = 0x0D010118;
constexpr uint32_t kOidBssidList = 0x0D010217;
constexpr uint32_t kOidBssidListScan = 0x0D01011A;
constexpr uint32_t kOidEncryptionStatus = 0x0D01011B;
constexpr uint32_t kOidRssi = 0x0D010206;
constexpr uint32_t kOidFragmentationThreshold = 0x0D010209;
constexpr uint32_t kOidRtsThreshold = 0x0D01020A;
constexpr uint32_t kOidRxAntenna = 0x0D01020C;
constexpr uint32_t kOidTxAntenna = 0x0D01020D;
constexpr uint32_t kOidPowerMode = 0x0D010216;
constexpr uint32_t kOidStatistics = 0x0D020212;
constexpr uint32_t kOidAddWep = 0x0D010113;
constexpr uint32_t kOidAddKey = 0x0D01011D;
constexpr uint32_t kOidRemoveKey = 0x0D01011E;
constexpr uint32_t kOidAssociationInformation = 0x0D01011F;
constexpr uint32_t kOidPmkid = 0x0D010123;

}  // namespace zelcon
