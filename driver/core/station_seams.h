#pragma once
// Where the station core meets the parts of the station that are not written yet: MAC
// management and frame builders, station management, the data path, the key table and
// ciphers, CCX and SwiftBond. Each routine here does what the station can do without its
// part; that part replaces the body in place. driver/core/README.md lists what each one
// does meanwhile.
#include <cstdint>

#include "driver/hal/receive_record.h"
#include "driver/ndis/os_service_table.h"

struct CoreAdapter;

namespace zelnic::core {

// --- MAC management ---------------------------------------------------------------------
// A received management frame (the record is given back by the caller).
void ManagementFrameReceive(CoreAdapter* core, ReceiveRecord* record);
// Leaves the current network by MlmeState; with `indicate`, indicates media disconnect.
void DisconnectByState(CoreAdapter* core, bool indicate);
// Media disconnect to NDIS, the media-disconnected flag, TX power level 4, link state reset.
void IndicateDisconnected(CoreAdapter* core);
// At miniport halt: a deauthentication (reason 3) in states 3 and 5; MlmeState 0.
void DeauthenticateIfConnected(CoreAdapter* core);
// A probe request for the current SSID (directed) or any SSID (broadcast).
void SendProbeRequest(CoreAdapter* core, bool directed);
// The capability word of the current BSS; false when the BSS table does not hold it.
bool CurrentBssCapability(CoreAdapter* core, std::uint16_t& capability);

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
// True while the CKIP key state holds protected unicast frames back.
bool CkipHoldsFrames(CoreAdapter* core);
// The MIC check a decryption asked for; false drops the frame.
bool CheckReceiveMic(CoreAdapter* core, ReceiveRecord* record);
void ResetTkipState(CoreAdapter* core);

// --- CCX and SwiftBond ------------------------------------------------------------------
void FirmwareEvent(CoreAdapter* core);
void ClearCcxMeasurements(CoreAdapter* core);
void SwiftBondReceive(CoreAdapter* core, ReceiveRecord* record);

}  // namespace zelnic::core
