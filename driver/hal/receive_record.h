#pragma once
// A received frame as the chip layer hands it to the station core's Receive operation and
// takes it back through ReturnReceiveBuffer. The frame has the chip layout (u16 body
// length, the 802.11 header with a 6-byte address-4 field, body from byte 32). The receive
// ring keeps its own bookkeeping after these fields.
#include "driver/ndis/os_service_table.h"

struct ReceiveRecord {
  ListLink Link;   // the chip layer's free list
  UCHAR* Frame;    // the buffer, frame first
  ULONG Length;    // bytes of the frame
  ULONG Capacity;  // bytes the buffer holds
  LONG SignalDbm = 0;  // the frame's signal (RSSI - 96)
  UCHAR RateCode = 0;  // the rate it came at, in 500 kbit/s units
  // The chip layer's own: the buffer's home and its physical address, and the receive
  // packet that carries the record up to NDIS.
  UCHAR* Buffer = nullptr;
  ULONG Physical = 0;
  PNDIS_PACKET Packet = nullptr;
};
