#pragma once
// Register access on a mapped memory window (NdisMMapIoSpace). The address is never
// dereferenced: the runtime routes each access to the chip's register window, and refuses
// (records a fault) an address outside every mapped window.
#include "platform/ndis/ndis_types.h"

UCHAR READ_REGISTER_UCHAR(volatile UCHAR* Register);
USHORT READ_REGISTER_USHORT(volatile USHORT* Register);
ULONG READ_REGISTER_ULONG(volatile ULONG* Register);
void WRITE_REGISTER_UCHAR(volatile UCHAR* Register, UCHAR Value);
void WRITE_REGISTER_USHORT(volatile USHORT* Register, USHORT Value);
void WRITE_REGISTER_ULONG(volatile ULONG* Register, ULONG Value);

inline void NdisReadRegisterUchar(volatile UCHAR* reg, PUCHAR data) { *data = READ_REGISTER_UCHAR(reg); }
inline void NdisReadRegisterUshort(volatile USHORT* reg, PUSHORT data) { *data = READ_REGISTER_USHORT(reg); }
inline void NdisReadRegisterUlong(volatile ULONG* reg, PULONG data) { *data = READ_REGISTER_ULONG(reg); }
inline void NdisWriteRegisterUchar(volatile UCHAR* reg, UCHAR data) { WRITE_REGISTER_UCHAR(reg, data); }
inline void NdisWriteRegisterUshort(volatile USHORT* reg, USHORT data) { WRITE_REGISTER_USHORT(reg, data); }
inline void NdisWriteRegisterUlong(volatile ULONG* reg, ULONG data) { WRITE_REGISTER_ULONG(reg, data); }
