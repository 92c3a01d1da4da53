#pragma once
// The chip's host-interface registers (window 1 unless said), interrupt causes, doorbell
// values and download mailbox values.
#include <cstdint>

namespace zelnic::hal {

inline constexpr std::uint32_t kWindowBytes = 0x10000;

inline constexpr std::uint32_t kRegAddress = 0xC10;
inline constexpr std::uint32_t kRegStatus = 0xC14;
inline constexpr std::uint32_t kRegDoorbell = 0xC18;
inline constexpr std::uint32_t kRegCause = 0xC30;
inline constexpr std::uint32_t kRegMask = 0xC34;
inline constexpr std::uint32_t kRegMaskShadow = 0xC38;
inline constexpr std::uint32_t kRegUnmaskAck = 0xC3C;
inline constexpr std::uint32_t kRegMacAddress = 0xA528;
inline constexpr std::uint32_t kRegIndirectSelect = 0xC104;
inline constexpr std::uint32_t kRegIndirectData = 0xC124;
inline constexpr std::uint32_t kRegIndirectIndex = 0xC128;

// Window 0.
inline constexpr std::uint32_t kBootMailbox = 0xBEF8;
inline constexpr std::uint32_t kBootArea = 0xBF00;
inline constexpr std::uint32_t kBootKickAddress = 0xC000BEF8;

inline constexpr std::uint32_t kDoorbellTransmit = 1;
inline constexpr std::uint32_t kDoorbellCommand = 2;
inline constexpr std::uint32_t kDoorbellSleep = 4;
inline constexpr std::uint32_t kDoorbellStop = 0x8000;

inline constexpr std::uint32_t kCauseTxDone = 0x01;
inline constexpr std::uint32_t kCauseRx = 0x02;
inline constexpr std::uint32_t kCauseCommand = 0x04;
inline constexpr std::uint32_t kCausePowerSave = 0x08;
inline constexpr std::uint32_t kCauseRadioOff = 0x20;
inline constexpr std::uint32_t kCauseRadioOn = 0x40;
inline constexpr std::uint32_t kCauseAll = 0x7F;
// The causes the deferred handler serves (0x10 and 0x80 are not among them).
inline constexpr std::uint32_t kCausesServed = 0x6F;

inline constexpr std::uint32_t kMailboxAccepted = 5;
inline constexpr std::uint32_t kMailboxRunning = 0xF0F1F2F4;
inline constexpr std::uint32_t kBootLoadWord = 0x01000001;

inline constexpr std::uint32_t kAliveWord = 0xAA55AA55;
inline constexpr std::uint32_t kGone = 0xFFFFFFFF;

}  // namespace zelnic::hal
