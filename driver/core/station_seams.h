#pragma once
// Where the station core meets the other parts of the station. MAC management
// (mlme_*.cpp, ibss.cpp, connection_indications.cpp) and station management (roaming.cpp)
// are written; the data path, the key table and ciphers, CCX and SwiftBond are not yet:
// each of their routines here does what the station can do without its part, and that part
// replaces the body in place. driver/core/README.md lists what each one does meanwhile.
#include <cstdint>

#include "driver/hal/receive_record.h"
#include "driver/ndis/os_service_table.h"

struct CoreAdapter;

namespace zelnic::core {

// --- MAC management ---------------------------------------------------------------------
// A received management frame other than a beacon or probe response (the record is given
// back by the caller); StatusSuccess or StatusFailure.
ULONG MacManagementFrameReceive(CoreAdapter* core, ReceiveRecord* record, std::uint8_t subtype);
// A beacon of the current network in the associated state, after the link monitor heard of
// it: LED traffic events, power-save TIM, ERP protection and short slot, beacon timing to
// the chip layer.
void CurrentNetworkBeaconed(CoreAdapter* core, int bssIndex);
// A beacon or probe response outside a scan while joining, in or restarting an IBSS: the
// IBSS join, merge and start steps.
void IbssBeaconReceived(CoreAdapter* core, int bssIndex);
// Leaves the current network by MlmeState; with `indicate`, indicates media disconnect.
void DisconnectByState(CoreAdapter* core, bool indicate);
// Media disconnect to NDIS, the media-disconnected flag, TX power level 4, link state reset.
void IndicateDisconnected(CoreAdapter* core);
// At miniport halt: a deauthentication (reason 3) in states 3 and 5; MlmeState 0.
void DeauthenticateIfConnected(CoreAdapter* core);

// --- station management -----------------------------------------------------------------
void Reconnect(CoreAdapter* core, bool linkLost);

// --- data path --------------------------------------------------------------------------
// Builds the 802.11 frame of an NDIS send; an internal status.
ULONG DataFrameEncapsulate(CoreAdapter* core, SendDescriptor* record);
std::uint32_t PayloadLength(const SendDescriptor* record);
ULONG FragmentAndSend(CoreAdapter* core, SendDescriptor* record);
// Converts a received data frame to 802.3 in place; false drops it. `eapol` tells whether
// it carried an EAPOL frame.
bool DataFrameDecapsulate(CoreAdapter* core, ReceiveRecord* record, bool& eapol);
// Hands a converted frame to NDIS in a receive packet of the chip layer; an internal status.
ULONG IndicateFrame(CoreAdapter* core, ReceiveRecord* record);

// --- keys and ciphers -------------------------------------------------------------------
// Encrypt/Decrypt operations of the core table.
ULONG Encrypt(CoreAdapter* core, SendDescriptor* record, UCHAR* frame, ULONG length);
LONG Decrypt(CoreAdapter* core, UCHAR* frame, ULONG length);
// The MIC check a decryption asked for; false drops the frame.
bool CheckReceiveMic(CoreAdapter* core, ReceiveRecord* record);
// The security parsers of a BSS's saved elements (WPA, RSN, CCX).
void ParseBssSecurity(CoreAdapter* core, int bssIndex);
// Writes the RSN element of a WPA-None IBSS at `at` (at most 257 bytes); its length, 0 when
// the encryption status names no cipher.
std::uint32_t AppendWpaNoneElement(CoreAdapter* core, std::uint8_t* at);

// --- chip layer's power saving ----------------------------------------------------------
// The More Data bit of a received data frame.
void TellPowerSaveMoreData(CoreAdapter* core, bool moreData);

// --- CCX and SwiftBond ------------------------------------------------------------------
void ClearCcxMeasurements(CoreAdapter* core);
void SwiftBondReceive(CoreAdapter* core, ReceiveRecord* record);

}  // namespace zelnic::core
