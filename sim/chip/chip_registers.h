#pragma once
// The chip's host interface as the chip sees it: register offsets, doorbell bits, interrupt
// causes and mailbox values. Window 1 holds the host-interface registers, window 0 the
// boot window and the ring registers.
#include <cstdint>

namespace simchip {

inline constexpr std::uint32_t kWindowSize = 0x10000;

// Window 1.
inline constexpr std::uint32_t kRegAddress = 0xC10;   // physical address of a block or command
inline constexpr std::uint32_t kRegStatus = 0xC14;    // status / mailbox
inline constexpr std::uint32_t kRegDoorbell = 0xC18;
inline constexpr std::uint32_t kRegCause = 0xC30;     // a write ANDs its value into the cause
inline constexpr std::uint32_t kRegMask = 0xC34;
inline constexpr std::uint32_t kRegMaskShadow = 0xC38;
inline constexpr std::uint32_t kRegUnmaskAck = 0xC3C;
inline constexpr std::uint32_t kRegMacAddress = 0xA528;  // six bytes
inline constexpr std::uint32_t kRegIndirectSelect = 0xC104;
inline constexpr std::uint32_t kRegIndirectData = 0xC124;
inline constexpr std::uint32_t kRegIndirectIndex = 0xC128;

// Window 0.
inline constexpr std::uint32_t kBootMailbox = 0xBEF8;
inline constexpr std::uint32_t kBootArea = 0xBF00;  // 256 bytes, to 0xBFFF
inline constexpr std::uint32_t kBootKickAddress = 0xC000BEF8;  // chip-side address of the mailbox
inline constexpr std::uint32_t kBootMailboxLoad = 0x01000001;  // "the boot block is in the area"
inline constexpr std::uint32_t kBootMailboxImage = 1;          // "image blocks follow"
// Where the firmware says its ring registers are (reported in the hardware specification).
inline constexpr std::uint32_t kTxRingRegister = 0x4000;
inline constexpr std::uint32_t kRxWritePointerRegister = 0x4004;
inline constexpr std::uint32_t kRxReadPointerRegister = 0x4008;
inline constexpr std::uint32_t kRxResume = 0x12345678;

// Doorbell bits.
inline constexpr std::uint32_t kDoorbellTransmit = 0x0001;
inline constexpr std::uint32_t kDoorbellCommand = 0x0002;  // also the download kick
inline constexpr std::uint32_t kDoorbellSleep = 0x0004;
inline constexpr std::uint32_t kDoorbellStop = 0x8000;

// Interrupt causes.
inline constexpr std::uint32_t kCauseTxDone = 0x01;
inline constexpr std::uint32_t kCauseRx = 0x02;
inline constexpr std::uint32_t kCauseCommand = 0x04;
inline constexpr std::uint32_t kCausePowerSave = 0x08;
inline constexpr std::uint32_t kCauseRadioOff = 0x20;
inline constexpr std::uint32_t kCauseRadioOn = 0x40;
inline constexpr std::uint32_t kCauseAll = 0x7F;

// Mailbox answers.
inline constexpr std::uint32_t kMailboxBlockAccepted = 5;
inline constexpr std::uint32_t kMailboxRunning = 0xF0F1F2F4;

// Indirect register the medium feeds: channel activity.
inline constexpr std::uint8_t kIndirectChannelSelect = 0x54;
inline constexpr std::uint8_t kIndirectChannelActivity = 0x3D;

// PCI identity.
inline constexpr std::uint16_t kPciVendor = 0x1E4D;
inline constexpr std::uint16_t kPciDevice = 0x2D17;

}  // namespace simchip
