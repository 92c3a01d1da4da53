#pragma once
// The NDIS 5.1 miniport interface: what a miniport calls and the records it exchanges with
// NDIS. Implemented by the user-space runtime in this folder. Names, signatures and status
// values are NDIS's; record layouts are the runtime's own, by meaning.
#include "platform/ndis/hal.h"
#include "platform/ndis/ndis_packet.h"
#include "platform/ndis/ndis_types.h"
#include "platform/ndis/ntddndis.h"
#include "platform/ndis/wdm.h"

// --- Memory -------------------------------------------------------------------------------
// Fresh memory is filled with 0xCD (never zero: a driver zero-fills what it needs zeroed).
NDIS_STATUS NdisAllocateMemoryWithTag(PVOID* VirtualAddress, UINT Length, ULONG Tag);
NDIS_STATUS NdisAllocateMemory(PVOID* VirtualAddress, UINT Length, UINT MemoryFlags,
                               NDIS_PHYSICAL_ADDRESS HighestAcceptableAddress);
void NdisFreeMemory(PVOID VirtualAddress, UINT Length, UINT MemoryFlags);
// Non-cached memory the chip reaches by bus-master DMA; PASSIVE_LEVEL only.
void NdisMAllocateSharedMemory(NDIS_HANDLE MiniportAdapterHandle, ULONG Length, BOOLEAN Cached,
                               PVOID* VirtualAddress, PNDIS_PHYSICAL_ADDRESS PhysicalAddress);
void NdisMFreeSharedMemory(NDIS_HANDLE MiniportAdapterHandle, ULONG Length, BOOLEAN Cached,
                           PVOID VirtualAddress, NDIS_PHYSICAL_ADDRESS PhysicalAddress);

void NdisMoveMemory(PVOID Destination, const void* Source, ULONG Length);
void NdisZeroMemory(PVOID Destination, ULONG Length);
void NdisFillMemory(PVOID Destination, ULONG Length, UCHAR Fill);
// 1 when equal, else 0.
ULONG NdisEqualMemory(const void* Source1, const void* Source2, ULONG Length);

// --- Synchronisation ----------------------------------------------------------------------
struct NDIS_SPIN_LOCK {
  ULONG Signature;        // set by NdisAllocateSpinLock
  volatile LONG Held;     // 1 while held
  KIRQL OldIrql;          // the IRQL to return to on release
};
using PNDIS_SPIN_LOCK = NDIS_SPIN_LOCK*;

void NdisAllocateSpinLock(PNDIS_SPIN_LOCK SpinLock);
void NdisFreeSpinLock(PNDIS_SPIN_LOCK SpinLock);
void NdisAcquireSpinLock(PNDIS_SPIN_LOCK SpinLock);  // raises to DISPATCH_LEVEL
void NdisReleaseSpinLock(PNDIS_SPIN_LOCK SpinLock);
void NdisDprAcquireSpinLock(PNDIS_SPIN_LOCK SpinLock);  // caller already at DISPATCH_LEVEL
void NdisDprReleaseSpinLock(PNDIS_SPIN_LOCK SpinLock);
LONG NdisInterlockedIncrement(PLONG Addend);
LONG NdisInterlockedDecrement(PLONG Addend);

// --- Time ---------------------------------------------------------------------------------
using NDIS_TIMER_FUNCTION = void(PVOID SystemSpecific1, PVOID FunctionContext,
                                 PVOID SystemSpecific2, PVOID SystemSpecific3);
using PNDIS_TIMER_FUNCTION = NDIS_TIMER_FUNCTION*;

struct NDIS_MINIPORT_TIMER {
  ULONG Signature;  // set by NdisMInitializeTimer
  PNDIS_TIMER_FUNCTION MiniportTimerFunction;
  PVOID MiniportTimerContext;
  NDIS_HANDLE Adapter;
  ULONGLONG QueuedEvent;  // 0 while not armed
  UINT PeriodMs;          // non-zero for a periodic timer
};
using PNDIS_MINIPORT_TIMER = NDIS_MINIPORT_TIMER*;
using NDIS_TIMER = NDIS_MINIPORT_TIMER;
using PNDIS_TIMER = NDIS_TIMER*;

void NdisMInitializeTimer(PNDIS_MINIPORT_TIMER Timer, NDIS_HANDLE MiniportAdapterHandle,
                          PNDIS_TIMER_FUNCTION TimerFunction, PVOID FunctionContext);
void NdisMSetTimer(PNDIS_MINIPORT_TIMER Timer, UINT MillisecondsToDelay);
void NdisSetTimer(PNDIS_TIMER Timer, UINT MillisecondsToDelay);
void NdisMSetPeriodicTimer(PNDIS_MINIPORT_TIMER Timer, UINT MillisecondPeriod);
void NdisMCancelTimer(PNDIS_MINIPORT_TIMER Timer, PBOOLEAN TimerCancelled);
void NdisGetSystemUpTime(PULONG pSystemUpTime);  // milliseconds
void NdisGetCurrentSystemTime(PLARGE_INTEGER pSystemTime);  // 100 ns units since 1601
// Busy-waits; only the chip's own work goes on meanwhile.
void NdisStallExecution(UINT MicrosecondsToStall);
// Sleeps at PASSIVE_LEVEL; everything due (interrupts, timers) runs meanwhile.
void NdisMSleep(ULONG MicrosecondsToSleep);

// --- Driver and adapter life --------------------------------------------------------------
enum NDIS_INTERFACE_TYPE {
  NdisInterfaceInternal = 0,
  NdisInterfaceIsa = 1,
  NdisInterfaceEisa = 2,
  NdisInterfaceMca = 3,
  NdisInterfaceTurboChannel = 4,
  NdisInterfacePci = 5,
  NdisInterfacePcMcia = 8,
  NdisInterfaceCBus = 9,
};

constexpr ULONG NDIS_ATTRIBUTE_IGNORE_PACKET_TIMEOUT = 0x00000001;
constexpr ULONG NDIS_ATTRIBUTE_IGNORE_REQUEST_TIMEOUT = 0x00000002;
constexpr ULONG NDIS_ATTRIBUTE_IGNORE_TOKEN_RING_ERRORS = 0x00000004;
constexpr ULONG NDIS_ATTRIBUTE_BUS_MASTER = 0x00000008;
constexpr ULONG NDIS_ATTRIBUTE_INTERMEDIATE_DRIVER = 0x00000010;
constexpr ULONG NDIS_ATTRIBUTE_DESERIALIZE = 0x00000020;
constexpr ULONG NDIS_ATTRIBUTE_NO_HALT_ON_SUSPEND = 0x00000040;
constexpr ULONG NDIS_ATTRIBUTE_SURPRISE_REMOVE_OK = 0x00000080;
constexpr ULONG NDIS_ATTRIBUTE_NOT_CO_NDIS = 0x00000100;
constexpr ULONG NDIS_ATTRIBUTE_USES_SAFE_BUFFER_APIS = 0x00000200;

constexpr UCHAR NDIS_DMA_24BITS = 0;
constexpr UCHAR NDIS_DMA_32BITS = 1;
constexpr UCHAR NDIS_DMA_64BITS = 2;

enum NDIS_DEVICE_PNP_EVENT {
  NdisDevicePnPEventQueryRemoved = 0,
  NdisDevicePnPEventRemoved = 1,
  NdisDevicePnPEventSurpriseRemoved = 2,
  NdisDevicePnPEventQueryStopped = 3,
  NdisDevicePnPEventStopped = 4,
  NdisDevicePnPEventPowerProfileChanged = 5,
  NdisDevicePnPEventMaximum = 6,
};

using W_CHECK_FOR_HANG_HANDLER = BOOLEAN (*)(NDIS_HANDLE MiniportAdapterContext);
using W_DISABLE_INTERRUPT_HANDLER = void (*)(NDIS_HANDLE MiniportAdapterContext);
using W_ENABLE_INTERRUPT_HANDLER = void (*)(NDIS_HANDLE MiniportAdapterContext);
using W_HALT_HANDLER = void (*)(NDIS_HANDLE MiniportAdapterContext);
using W_HANDLE_INTERRUPT_HANDLER = void (*)(NDIS_HANDLE MiniportAdapterContext);
using W_INITIALIZE_HANDLER = NDIS_STATUS (*)(PNDIS_STATUS OpenErrorStatus, PUINT SelectedMediumIndex,
                                             PNDIS_MEDIUM MediumArray, UINT MediumArraySize,
                                             NDIS_HANDLE MiniportAdapterHandle,
                                             NDIS_HANDLE WrapperConfigurationContext);
using W_ISR_HANDLER = void (*)(PBOOLEAN InterruptRecognized, PBOOLEAN QueueMiniportHandleInterrupt,
                               NDIS_HANDLE MiniportAdapterContext);
using W_QUERY_INFORMATION_HANDLER = NDIS_STATUS (*)(NDIS_HANDLE MiniportAdapterContext, NDIS_OID Oid,
                                                    PVOID InformationBuffer, ULONG InformationBufferLength,
                                                    PULONG BytesWritten, PULONG BytesNeeded);
using W_RECONFIGURE_HANDLER = NDIS_STATUS (*)(PNDIS_STATUS OpenErrorStatus, NDIS_HANDLE MiniportAdapterContext,
                                              NDIS_HANDLE WrapperConfigurationContext);
using W_RESET_HANDLER = NDIS_STATUS (*)(PBOOLEAN AddressingReset, NDIS_HANDLE MiniportAdapterContext);
using W_SEND_HANDLER = NDIS_STATUS (*)(NDIS_HANDLE MiniportAdapterContext, PNDIS_PACKET Packet, UINT Flags);
using W_SET_INFORMATION_HANDLER = NDIS_STATUS (*)(NDIS_HANDLE MiniportAdapterContext, NDIS_OID Oid,
                                                  PVOID InformationBuffer, ULONG InformationBufferLength,
                                                  PULONG BytesRead, PULONG BytesNeeded);
using W_TRANSFER_DATA_HANDLER = NDIS_STATUS (*)(PNDIS_PACKET Packet, PUINT BytesTransferred,
                                                NDIS_HANDLE MiniportAdapterContext,
                                                NDIS_HANDLE MiniportReceiveContext, UINT ByteOffset,
                                                UINT BytesToTransfer);
using W_RETURN_PACKET_HANDLER = void (*)(NDIS_HANDLE MiniportAdapterContext, PNDIS_PACKET Packet);
using W_SEND_PACKETS_HANDLER = void (*)(NDIS_HANDLE MiniportAdapterContext, PPNDIS_PACKET PacketArray,
                                        UINT NumberOfPackets);
using W_ALLOCATE_COMPLETE_HANDLER = void (*)(NDIS_HANDLE MiniportAdapterContext, PVOID VirtualAddress,
                                             PNDIS_PHYSICAL_ADDRESS PhysicalAddress, ULONG Length,
                                             PVOID Context);
using W_CANCEL_SEND_PACKETS_HANDLER = void (*)(NDIS_HANDLE MiniportAdapterContext, PVOID CancelId);
using W_PNP_EVENT_NOTIFY_HANDLER = void (*)(NDIS_HANDLE MiniportAdapterContext,
                                            NDIS_DEVICE_PNP_EVENT PnPEvent, PVOID InformationBuffer,
                                            ULONG InformationBufferLength);
using W_MINIPORT_SHUTDOWN_HANDLER = void (*)(PVOID ShutdownContext);
using W_CO_HANDLER = void (*)();  // connection-oriented handlers: never used here

// The characteristics a miniport registers (NDIS 5.1): every handler in NDIS's order.
struct NDIS51_MINIPORT_CHARACTERISTICS {
  UCHAR MajorNdisVersion;
  UCHAR MinorNdisVersion;
  UINT Reserved;
  W_CHECK_FOR_HANG_HANDLER CheckForHangHandler;
  W_DISABLE_INTERRUPT_HANDLER DisableInterruptHandler;
  W_ENABLE_INTERRUPT_HANDLER EnableInterruptHandler;
  W_HALT_HANDLER HaltHandler;
  W_HANDLE_INTERRUPT_HANDLER HandleInterruptHandler;
  W_INITIALIZE_HANDLER InitializeHandler;
  W_ISR_HANDLER ISRHandler;
  W_QUERY_INFORMATION_HANDLER QueryInformationHandler;
  W_RECONFIGURE_HANDLER ReconfigureHandler;
  W_RESET_HANDLER ResetHandler;
  W_SEND_HANDLER SendHandler;
  W_SET_INFORMATION_HANDLER SetInformationHandler;
  W_TRANSFER_DATA_HANDLER TransferDataHandler;
  W_RETURN_PACKET_HANDLER ReturnPacketHandler;
  W_SEND_PACKETS_HANDLER SendPacketsHandler;
  W_ALLOCATE_COMPLETE_HANDLER AllocateCompleteHandler;
  W_CO_HANDLER CoCreateVcHandler;
  W_CO_HANDLER CoDeleteVcHandler;
  W_CO_HANDLER CoActivateVcHandler;
  W_CO_HANDLER CoDeactivateVcHandler;
  W_CO_HANDLER CoSendPacketsHandler;
  W_CO_HANDLER CoRequestHandler;
  W_CANCEL_SEND_PACKETS_HANDLER CancelSendPacketsHandler;
  W_PNP_EVENT_NOTIFY_HANDLER PnPEventNotifyHandler;
  W_MINIPORT_SHUTDOWN_HANDLER AdapterShutdownHandler;
  PVOID Reserved1;
  PVOID Reserved2;
  PVOID Reserved3;
  PVOID Reserved4;
};
using NDIS_MINIPORT_CHARACTERISTICS = NDIS51_MINIPORT_CHARACTERISTICS;
using PNDIS_MINIPORT_CHARACTERISTICS = NDIS_MINIPORT_CHARACTERISTICS*;

void NdisInitializeWrapper(PNDIS_HANDLE NdisWrapperHandle, PVOID SystemSpecific1, PVOID SystemSpecific2,
                           PVOID SystemSpecific3);
void NdisMInitializeWrapper(PNDIS_HANDLE NdisWrapperHandle, PVOID SystemSpecific1, PVOID SystemSpecific2,
                            PVOID SystemSpecific3);
NDIS_STATUS NdisMRegisterMiniport(NDIS_HANDLE NdisWrapperHandle,
                                  PNDIS_MINIPORT_CHARACTERISTICS MiniportCharacteristics,
                                  UINT CharacteristicsLength);
void NdisTerminateWrapper(NDIS_HANDLE NdisWrapperHandle, PVOID SystemSpecific);
void NdisMSetAttributesEx(NDIS_HANDLE MiniportAdapterHandle, NDIS_HANDLE MiniportAdapterContext,
                          UINT CheckForHangTimeInSeconds, ULONG AttributeFlags,
                          NDIS_INTERFACE_TYPE AdapterType);
NDIS_STATUS NdisMAllocateMapRegisters(NDIS_HANDLE MiniportAdapterHandle, UINT DmaChannel, UCHAR DmaSize,
                                      ULONG BaseMapRegistersNeeded, ULONG MaximumPhysicalMapping);
void NdisMFreeMapRegisters(NDIS_HANDLE MiniportAdapterHandle);

// --- Indications and completions ----------------------------------------------------------
void NdisMIndicateReceivePacket(NDIS_HANDLE MiniportAdapterHandle, PPNDIS_PACKET ReceivePackets,
                                UINT NumberOfPackets);
void NdisMSendComplete(NDIS_HANDLE MiniportAdapterHandle, PNDIS_PACKET Packet, NDIS_STATUS Status);
void NdisMIndicateStatus(NDIS_HANDLE MiniportAdapterHandle, NDIS_STATUS GeneralStatus,
                         PVOID StatusBuffer, UINT StatusBufferSize);
void NdisMIndicateStatusComplete(NDIS_HANDLE MiniportAdapterHandle);
void NdisMSetInformationComplete(NDIS_HANDLE MiniportAdapterHandle, NDIS_STATUS Status);
void NdisMQueryInformationComplete(NDIS_HANDLE MiniportAdapterHandle, NDIS_STATUS Status);
void NdisMResetComplete(NDIS_HANDLE MiniportAdapterHandle, NDIS_STATUS Status, BOOLEAN AddressingReset);

// --- Configuration ------------------------------------------------------------------------
enum NDIS_PARAMETER_TYPE {
  NdisParameterInteger = 0,
  NdisParameterHexInteger = 1,
  NdisParameterString = 2,
  NdisParameterMultiString = 3,
  NdisParameterBinary = 4,
};

struct BINARY_DATA {
  USHORT Length;
  PVOID Buffer;
};

struct NDIS_CONFIGURATION_PARAMETER {
  NDIS_PARAMETER_TYPE ParameterType;
  union {
    ULONG IntegerData;
    NDIS_STRING StringData;
    BINARY_DATA BinaryData;
  } ParameterData;
};
using PNDIS_CONFIGURATION_PARAMETER = NDIS_CONFIGURATION_PARAMETER*;

void NdisOpenConfiguration(PNDIS_STATUS Status, PNDIS_HANDLE ConfigurationHandle,
                           NDIS_HANDLE WrapperConfigurationContext);
// The parameter stays valid until the configuration is closed.
void NdisReadConfiguration(PNDIS_STATUS Status, PNDIS_CONFIGURATION_PARAMETER* ParameterValue,
                           NDIS_HANDLE ConfigurationHandle, PNDIS_STRING Keyword,
                           NDIS_PARAMETER_TYPE ParameterType);
void NdisCloseConfiguration(NDIS_HANDLE ConfigurationHandle);
void NdisReadNetworkAddress(PNDIS_STATUS Status, PVOID* NetworkAddress, PUINT NetworkAddressLength,
                            NDIS_HANDLE ConfigurationHandle);
void NdisInitUnicodeString(PNDIS_STRING Destination, PCWSTR Source);
void NdisInitAnsiString(PANSI_STRING Destination, PCSTR Source);
// Copies what fits into Destination's buffer (NUL-terminated when room is left);
// NDIS_STATUS_BUFFER_OVERFLOW when the text was cut.
NDIS_STATUS NdisUnicodeStringToAnsiString(PANSI_STRING DestinationString, PCUNICODE_STRING SourceString);

// --- PCI, resources, interrupt ------------------------------------------------------------
ULONG NdisReadPciSlotInformation(NDIS_HANDLE NdisAdapterHandle, ULONG SlotNumber, ULONG Offset,
                                 PVOID Buffer, ULONG Length);
ULONG NdisWritePciSlotInformation(NDIS_HANDLE NdisAdapterHandle, ULONG SlotNumber, ULONG Offset,
                                  PVOID Buffer, ULONG Length);

constexpr UCHAR CmResourceTypeNull = 0;
constexpr UCHAR CmResourceTypePort = 1;
constexpr UCHAR CmResourceTypeInterrupt = 2;
constexpr UCHAR CmResourceTypeMemory = 3;
constexpr UCHAR CmResourceShareShared = 3;
constexpr USHORT CM_RESOURCE_INTERRUPT_LEVEL_SENSITIVE = 0;

struct CM_PARTIAL_RESOURCE_DESCRIPTOR {
  UCHAR Type;
  UCHAR ShareDisposition;
  USHORT Flags;
  union {
    struct {
      PHYSICAL_ADDRESS Start;
      ULONG Length;
    } Port;
    struct {
      ULONG Level;
      ULONG Vector;
      ULONG_PTR Affinity;
    } Interrupt;
    struct {
      PHYSICAL_ADDRESS Start;
      ULONG Length;
    } Memory;
  } u;
};
using PCM_PARTIAL_RESOURCE_DESCRIPTOR = CM_PARTIAL_RESOURCE_DESCRIPTOR*;

struct CM_PARTIAL_RESOURCE_LIST {
  USHORT Version;
  USHORT Revision;
  ULONG Count;
  CM_PARTIAL_RESOURCE_DESCRIPTOR PartialDescriptors[1];
};
using NDIS_RESOURCE_LIST = CM_PARTIAL_RESOURCE_LIST;
using PNDIS_RESOURCE_LIST = NDIS_RESOURCE_LIST*;

// BufferSize in: the buffer's bytes; out: the bytes the list needs. A short buffer gets
// NDIS_STATUS_RESOURCES.
void NdisMQueryAdapterResources(PNDIS_STATUS Status, NDIS_HANDLE WrapperConfigurationContext,
                                PNDIS_RESOURCE_LIST ResourceList, PUINT BufferSize);
NDIS_STATUS NdisMMapIoSpace(PVOID* VirtualAddress, NDIS_HANDLE MiniportAdapterHandle,
                            NDIS_PHYSICAL_ADDRESS PhysicalAddress, UINT Length);
void NdisMUnmapIoSpace(NDIS_HANDLE MiniportAdapterHandle, PVOID VirtualAddress, UINT Length);
NDIS_STATUS NdisMRegisterIoPortRange(PVOID* PortOffset, NDIS_HANDLE MiniportAdapterHandle,
                                     UINT InitialPort, UINT NumberOfPorts);
void NdisMDeregisterIoPortRange(NDIS_HANDLE MiniportAdapterHandle, UINT InitialPort, UINT NumberOfPorts,
                                PVOID PortOffset);

enum NDIS_INTERRUPT_MODE { NdisInterruptLevelSensitive = 0, NdisInterruptLatched = 1 };

struct NDIS_MINIPORT_INTERRUPT {
  ULONG Signature;  // set by NdisMRegisterInterrupt
  NDIS_HANDLE Adapter;
  UINT Vector;
  UINT Level;
};
using PNDIS_MINIPORT_INTERRUPT = NDIS_MINIPORT_INTERRUPT*;

NDIS_STATUS NdisMRegisterInterrupt(PNDIS_MINIPORT_INTERRUPT Interrupt, NDIS_HANDLE MiniportAdapterHandle,
                                   UINT InterruptVector, UINT InterruptLevel, BOOLEAN RequestIsr,
                                   BOOLEAN SharedInterrupt, NDIS_INTERRUPT_MODE InterruptMode);
void NdisMDeregisterInterrupt(PNDIS_MINIPORT_INTERRUPT Interrupt);
using PNDIS_SYNCHRONIZE_FUNCTION = BOOLEAN (*)(PVOID SynchronizeContext);
// Runs the function at the interrupt's IRQL, so it cannot race the ISR.
BOOLEAN NdisMSynchronizeWithInterrupt(PNDIS_MINIPORT_INTERRUPT Interrupt, PVOID SynchronizeFunction,
                                      PVOID SynchronizeContext);

// --- Control device -----------------------------------------------------------------------
NDIS_STATUS NdisMRegisterDevice(NDIS_HANDLE NdisWrapperHandle, PNDIS_STRING DeviceName,
                                PNDIS_STRING SymbolicName, PDRIVER_DISPATCH MajorFunctions[],
                                PDEVICE_OBJECT* pDeviceObject, NDIS_HANDLE* NdisDeviceHandle);
NDIS_STATUS NdisMDeregisterDevice(NDIS_HANDLE NdisDeviceHandle);

// --- Files (not offered: every open fails) ------------------------------------------------
void NdisOpenFile(PNDIS_STATUS Status, PNDIS_HANDLE FileHandle, PUINT FileLength, PNDIS_STRING FileName,
                  NDIS_PHYSICAL_ADDRESS HighestAcceptableAddress);
void NdisMapFile(PNDIS_STATUS Status, PVOID* MappedBuffer, NDIS_HANDLE FileHandle);
void NdisUnmapFile(NDIS_HANDLE FileHandle);
void NdisCloseFile(NDIS_HANDLE FileHandle);
