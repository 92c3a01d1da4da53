#pragma once
// Host commands to the firmware: records in 88 shared-memory buffers of 512 bytes, handed
// to the chip one at a time (address to 0xC10, doorbell 2). The firmware answers in the same
// buffer with the code's bit 0x8000 set and raises cause 0x04; the deferred handler then
// runs ProcessFirmwareResponse, which acts on the response and sends the next command.
#include <cstdint>
#include <span>

#include "driver/hal/hal_adapter.h"

namespace zelnic::hal {

enum FirmwareCommand : std::uint16_t {
  HLVN_FW_GET_HW_SPEC = 0x0003,
  HLVN_FW_MAC_FILTER = 0x0010,
  HLVN_FW_GET_STATISTICS = 0x0014,
  HLVN_FW_RADIO_CONTROL = 0x001C,
  HLVN_FW_TX_POWER = 0x001E,
  HLVN_FW_ANTENNA = 0x0020,
  HLVN_FW_IBSS_START = 0x0100,
  HLVN_FW_SCAN_START = 0x0107,
  HLVN_FW_SCAN_END = 0x0108,
  HLVN_FW_SET_CHANNEL = 0x010A,
  HLVN_FW_SET_ASSOCIATION = 0x010D,
  HLVN_FW_SET_INFRA_MODE = 0x010E,
  HLVN_FW_CMD_010F = 0x010F,
  HLVN_FW_SET_RATES = 0x0110,
  HLVN_FW_CMD_0111 = 0x0111,
  HLVN_FW_SET_RTS = 0x0113,
  HLVN_FW_CMD_0114 = 0x0114,
  HLVN_FW_CMD_0115 = 0x0115,
  HLVN_FW_SET_MODE = 0x0116,
  HLVN_FW_MEASURE_0118 = 0x0118,
  HLVN_FW_MEASURE_0119 = 0x0119,
  HLVN_FW_MEASURE_011A = 0x011A,
  HLVN_FW_SET_LED_PATTERN = 0x011C,
  HLVN_FW_SET_MAC_ADDRESS = 0x0202,
};
inline constexpr std::uint16_t kResponseBit = 0x8000;

// Buffers and descriptors (at creation) and their release (at destruction).
NDIS_STATUS CreateCommandQueue(HalAdapter* hal);
void DestroyCommandQueue(HalAdapter* hal);

// Pops a free buffer, busy-waiting 50 us between tries for at most 5 seconds; null when
// none came free. ReleaseCommandBuffer gives one back.
CommandDescriptor* TakeCommandBuffer(HalAdapter* hal);
void ReleaseCommandBuffer(HalAdapter* hal, CommandDescriptor* descriptor);

// Builds the record of `code` in a free buffer and queues it. `record` carries what the
// command takes from its caller (the core-built records and addresses); `action` the
// command's small argument. 0; NDIS_STATUS_RESOURCES when no buffer came free;
// NDIS_STATUS_INVALID_LENGTH when the caller's record does not fit the command.
NDIS_STATUS SendFirmwareCommand(HalAdapter* hal, std::uint16_t code, std::uint32_t action,
                                CommandCompletion completion,
                                std::span<const std::uint8_t> record = {});

// Run by the deferred handler for cause 0x04. NDIS_STATUS_NOT_ACCEPTED without a command in
// flight, or while the firmware has not answered it yet.
NDIS_STATUS ProcessFirmwareResponse(HalAdapter* hal);

// Queue enable/disable (power save) and the idle test.
void EnableCommandQueue(HalAdapter* hal);
void DisableCommandQueue(HalAdapter* hal);
bool CommandQueueIdle(HalAdapter* hal);

// One wrapper per command; each fixes the code and passes its own state.
NDIS_STATUS SendGetHardwareSpec(HalAdapter* hal);
NDIS_STATUS SendMacFilter(HalAdapter* hal, std::uint16_t action);
NDIS_STATUS SendGetStatistics(HalAdapter* hal);
NDIS_STATUS SendRadioControl(HalAdapter* hal);
NDIS_STATUS SendTxPower(HalAdapter* hal, std::uint16_t action, std::uint32_t level);
NDIS_STATUS SendAntenna(HalAdapter* hal, std::uint16_t action);
NDIS_STATUS SendIbssStart(HalAdapter* hal, std::span<const std::uint8_t> record,
                          CommandCompletion completion);
NDIS_STATUS SendScanStart(HalAdapter* hal, CommandCompletion completion);
NDIS_STATUS SendScanEnd(HalAdapter* hal, std::uint8_t action, const MacAddress& bssid,
                        CommandCompletion completion);
NDIS_STATUS SendSetChannel(HalAdapter* hal, std::uint8_t channel, CommandCompletion completion);
NDIS_STATUS SendSetAssociation(HalAdapter* hal, std::span<const std::uint8_t> body,
                               CommandCompletion completion);
NDIS_STATUS SendSetInfraMode(HalAdapter* hal);
NDIS_STATUS SendCmd010F(HalAdapter* hal, std::uint8_t action);
NDIS_STATUS SendSetRates(HalAdapter* hal, std::span<const std::uint8_t> body);
NDIS_STATUS SendCmd0111(HalAdapter* hal, std::uint16_t word, std::span<const std::uint8_t> data);
NDIS_STATUS SendSetRts(HalAdapter* hal);
NDIS_STATUS SendCmd0114(HalAdapter* hal, std::uint8_t action);
NDIS_STATUS SendCmd0115(HalAdapter* hal, std::uint16_t action, std::span<const std::uint8_t> state);
NDIS_STATUS SendSetMode(HalAdapter* hal, std::uint8_t action, std::uint8_t flags, std::uint8_t mode);
NDIS_STATUS SendMeasure0118(HalAdapter* hal);
NDIS_STATUS SendMeasure0119(HalAdapter* hal, std::uint32_t action);
NDIS_STATUS SendMeasure011A(HalAdapter* hal, std::uint32_t action);
NDIS_STATUS SendSetLedPattern(HalAdapter* hal, std::uint32_t pattern);
NDIS_STATUS SendSetMacAddress(HalAdapter* hal, const MacAddress& address);

// The values the commands carry for the configured settings.
std::uint16_t PreambleCode(std::uint32_t preamble);
std::uint16_t TxPowerCode(std::uint32_t level);

}  // namespace zelnic::hal
