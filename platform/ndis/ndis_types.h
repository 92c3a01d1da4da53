#pragma once
// Base types and status values of the NDIS 5.1 miniport interface, as a miniport spells
// them. ULONG is 32 bits (the driver was written for a 32-bit ABI); pointers and handles
// are native. Status values are the published ones.
#include <cstddef>
#include <cstdint>

using UCHAR = std::uint8_t;
using USHORT = std::uint16_t;
using ULONG = std::uint32_t;
using UINT = std::uint32_t;
using LONG = std::int32_t;
using INT = std::int32_t;
using CCHAR = char;
using CHAR = char;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using ULONG_PTR = std::uintptr_t;
using BOOLEAN = std::uint8_t;
using WCHAR = char16_t;
using PVOID = void*;
using PUCHAR = UCHAR*;
using PUSHORT = USHORT*;
using PULONG = ULONG*;
using PUINT = UINT*;
using PLONG = LONG*;
using PBOOLEAN = BOOLEAN*;
using PWSTR = WCHAR*;
using PCWSTR = const WCHAR*;
using PCHAR = CHAR*;
using PCSTR = const CHAR*;
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

using NDIS_HANDLE = void*;
using PNDIS_HANDLE = NDIS_HANDLE*;
using NDIS_STATUS = LONG;
using PNDIS_STATUS = NDIS_STATUS*;
using NTSTATUS = LONG;
using NDIS_OID = ULONG;
using PNDIS_OID = NDIS_OID*;
using KIRQL = UCHAR;

constexpr NDIS_STATUS NdisStatus(std::uint32_t value) { return static_cast<NDIS_STATUS>(value); }

constexpr NDIS_STATUS NDIS_STATUS_SUCCESS = NdisStatus(0x00000000);
constexpr NDIS_STATUS NDIS_STATUS_PENDING = NdisStatus(0x00000103);
constexpr NDIS_STATUS NDIS_STATUS_NOT_RECOGNIZED = NdisStatus(0x00010001);
constexpr NDIS_STATUS NDIS_STATUS_NOT_COPIED = NdisStatus(0x00010002);
constexpr NDIS_STATUS NDIS_STATUS_NOT_ACCEPTED = NdisStatus(0x00010003);
constexpr NDIS_STATUS NDIS_STATUS_MEDIA_CONNECT = NdisStatus(0x4001000B);
constexpr NDIS_STATUS NDIS_STATUS_MEDIA_DISCONNECT = NdisStatus(0x4001000C);
constexpr NDIS_STATUS NDIS_STATUS_MEDIA_SPECIFIC_INDICATION = NdisStatus(0x40010012);
constexpr NDIS_STATUS NDIS_STATUS_BUFFER_OVERFLOW = NdisStatus(0x80000005);
constexpr NDIS_STATUS NDIS_STATUS_NOT_RESETTABLE = NdisStatus(0x80010001);
constexpr NDIS_STATUS NDIS_STATUS_FAILURE = NdisStatus(0xC0000001);
constexpr NDIS_STATUS NDIS_STATUS_RESOURCES = NdisStatus(0xC000009A);
constexpr NDIS_STATUS NDIS_STATUS_NOT_SUPPORTED = NdisStatus(0xC00000BB);
constexpr NDIS_STATUS NDIS_STATUS_ADAPTER_NOT_FOUND = NdisStatus(0xC0010006);
constexpr NDIS_STATUS NDIS_STATUS_RESET_IN_PROGRESS = NdisStatus(0xC001000D);
constexpr NDIS_STATUS NDIS_STATUS_ADAPTER_NOT_READY = NdisStatus(0xC0010011);
constexpr NDIS_STATUS NDIS_STATUS_INVALID_LENGTH = NdisStatus(0xC0010014);
constexpr NDIS_STATUS NDIS_STATUS_INVALID_DATA = NdisStatus(0xC0010015);
constexpr NDIS_STATUS NDIS_STATUS_BUFFER_TOO_SHORT = NdisStatus(0xC0010016);
constexpr NDIS_STATUS NDIS_STATUS_INVALID_OID = NdisStatus(0xC0010017);
constexpr NDIS_STATUS NDIS_STATUS_ADAPTER_REMOVED = NdisStatus(0xC0010018);
constexpr NDIS_STATUS NDIS_STATUS_UNSUPPORTED_MEDIA = NdisStatus(0xC0010019);
constexpr NDIS_STATUS NDIS_STATUS_FILE_NOT_FOUND = NdisStatus(0xC001001B);

constexpr NTSTATUS STATUS_SUCCESS = NdisStatus(0x00000000);
constexpr NTSTATUS STATUS_PENDING = NdisStatus(0x00000103);
constexpr NTSTATUS STATUS_UNSUCCESSFUL = NdisStatus(0xC0000001);
constexpr NTSTATUS STATUS_INVALID_HANDLE = NdisStatus(0xC0000008);
constexpr NTSTATUS STATUS_OBJECT_TYPE_MISMATCH = NdisStatus(0xC0000024);

constexpr KIRQL PASSIVE_LEVEL = 0;
constexpr KIRQL DISPATCH_LEVEL = 2;
// Device IRQL of the adapter's interrupt (the ISR and NdisMSynchronizeWithInterrupt).
constexpr KIRQL DIRQL_LEVEL = 11;

union LARGE_INTEGER {
  struct {
    ULONG LowPart;
    LONG HighPart;
  };
  LONGLONG QuadPart;
};
using PLARGE_INTEGER = LARGE_INTEGER*;
using PHYSICAL_ADDRESS = LARGE_INTEGER;
using NDIS_PHYSICAL_ADDRESS = PHYSICAL_ADDRESS;
using PNDIS_PHYSICAL_ADDRESS = NDIS_PHYSICAL_ADDRESS*;

inline ULONG NdisGetPhysicalAddressLow(const NDIS_PHYSICAL_ADDRESS& address) { return address.LowPart; }
inline LONG NdisGetPhysicalAddressHigh(const NDIS_PHYSICAL_ADDRESS& address) { return address.HighPart; }
inline void NdisSetPhysicalAddressLow(NDIS_PHYSICAL_ADDRESS& address, ULONG value) { address.LowPart = value; }
inline void NdisSetPhysicalAddressHigh(NDIS_PHYSICAL_ADDRESS& address, LONG value) { address.HighPart = value; }

// Counted strings: Length and MaximumLength in bytes, not necessarily NUL-terminated.
struct UNICODE_STRING {
  USHORT Length;
  USHORT MaximumLength;
  PWSTR Buffer;
};
using PUNICODE_STRING = UNICODE_STRING*;
using PCUNICODE_STRING = const UNICODE_STRING*;
using NDIS_STRING = UNICODE_STRING;
using PNDIS_STRING = NDIS_STRING*;

struct ANSI_STRING {
  USHORT Length;
  USHORT MaximumLength;
  PCHAR Buffer;
};
using PANSI_STRING = ANSI_STRING*;
using NDIS_ANSI_STRING = ANSI_STRING;
using PNDIS_ANSI_STRING = ANSI_STRING*;

// A four-character memory tag spelled in memory order: NdisTag("IXNA") shows as "IXNA" in
// a dump and in the runtime's leak report.
constexpr ULONG NdisTag(const char (&text)[5]) {
  return static_cast<ULONG>(static_cast<UCHAR>(text[0])) |
         static_cast<ULONG>(static_cast<UCHAR>(text[1])) << 8 |
         static_cast<ULONG>(static_cast<UCHAR>(text[2])) << 16 |
         static_cast<ULONG>(static_cast<UCHAR>(text[3])) << 24;
}
