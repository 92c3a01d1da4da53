#include "driver/core/chip_oid_requests.h"

#include <cstring>

#include "driver/core/channels.h"
#include "driver/core/core_adapter.h"
#include "driver/core/oid_answers.h"
#include "driver/core/station_seams.h"
#include "driver/hal/firmware_commands.h"
#include "driver/hal/hal_adapter.h"
#include "driver/ndis/miniport_context.h"
#include "driver/ndis/packet_reserved.h"
#include "driver/ndis/private_oids.h"
#include "driver/ndis/shell_links.h"
#include "driver/ndis/status_codes.h"
#include "platform/ndis/ntddndis.h"

namespace zelnic::core {

const NDIS_OID kChipOids[51] = {
    0x00010102, 0x00010105, 0x00010107, 0x00010108, 0x00010109, 0x0001010A, 0x0001010B, 0x0001010D,
    0x0001010F, 0x00010111, 0x00010114, 0x00010116, 0x01010101, 0x01010102, 0x0D010205, 0x0D01020B,
    0x0D01020C, 0x0D01020D, 0x0D010216, 0xFD010100, 0xFD010101, 0xFD010102, 0xFD010103, 0xFD010104,
    0xFD010105, 0xFD010106, 0xFF010204, 0xFF010201, 0xFF010203, 0xFF010219, 0xFF01021A, 0xFF01021B,
    0xFF010206, 0xFF010205, 0xFF010207, 0xFF010208, 0xFF010209, 0xFF010211, 0xFF010210, 0xFF01020B,
    0xFF01020D, 0xFF01020C, 0xFF010215, 0xFF01020E, 0xFF010212, 0xFF010217, 0xFF010213, 0xFF010214,
    0xFF01021C, 0xFF01021D, 0xFF010220,
};

namespace {

constexpr char kChipDescription[] = "Halvane Q6100 802.11 NIC";
constexpr ULONG kChipDescriptionBytes = 25;  // the text (24) and the chip revision
constexpr std::uint32_t kIndirectSelect = 0xC104;
constexpr std::uint32_t kIndirectIndex = 0xC128;
constexpr std::uint32_t kIndirectData = 0xC124;
constexpr std::uint32_t kMacRegisterLast = 0xFFFC;  // a u32 at the offset stays in window 1
constexpr ULONG kRssiStatisticsBytes = 16;
constexpr ULONG kSendFrameMax = 2032;
constexpr ULONG kEthernetHeaderBytes = 14;
constexpr std::uint32_t kAllowedFilter = 0x0B;  // directed, multicast, broadcast
constexpr std::uint16_t kSubcommandChannel = 29;
constexpr std::uint16_t kSubcommandSignal = 31;

// The channel of the current BSS; before there is one, the configured channel. (The
// configured channel alone is the IBSS one: joined elsewhere, the utility showed it.)
std::uint16_t CurrentChannel(const CoreAdapter* core) {
  return core->Frequency != 0 ? static_cast<std::uint16_t>(FrequencyChannel(core->Frequency)) : core->Config.channel;
}

std::uint32_t LinkSpeed(const HalAdapter* hal) {
  if (hal->linkSpeed == 0) return 110'000;
  std::uint32_t best = 0;
  for (int i = 0; i < 8; ++i) {
    if (hal->txRateHistory[i] > best) best = hal->txRateHistory[i];
    if (hal->rxRateHistory[i] > best) best = hal->rxRateHistory[i];
  }
  return best == 0 ? 10'000 : best;
}

NDIS_STATUS ChipDescription(const HalAdapter* hal, const OidQuery& q) {
  // The whole record or nothing: 4..24-byte buffers would otherwise be overrun.
  std::uint8_t answer[kChipDescriptionBytes] = {};
  NdisMoveMemory(answer, kChipDescription, 24);
  answer[24] = static_cast<std::uint8_t>(hal->spec.version);
  return Answer(q, answer, sizeof answer, false);
}

NDIS_STATUS Subcommand(CoreAdapter* core, const OidQuery& q) {
  std::uint16_t code = 0;
  if (!InputHalf(q.buffer, q.length, 0, &code)) {
    *q.needed = 2;
    return NDIS_STATUS_BUFFER_TOO_SHORT;
  }
  auto* record = static_cast<std::uint8_t*>(q.buffer);
  if (code == kSubcommandChannel) {
    std::uint32_t word = 0;
    if (q.length < 28) {
      *q.needed = 28;
      return NDIS_STATUS_BUFFER_TOO_SHORT;
    }
    InputWord(record, q.length, 8, &word);
    if (word != 0) return NDIS_STATUS_NOT_SUPPORTED;
    const std::uint16_t channel = CurrentChannel(core);
    NdisMoveMemory(record + 26, &channel, 2);
    *q.written = 4;
    return NDIS_STATUS_SUCCESS;
  }
  if (code == kSubcommandSignal) {
    if (q.length < 16) {
      *q.needed = 16;
      return NDIS_STATUS_BUFFER_TOO_SHORT;
    }
    const std::int32_t signal = core->LinkRssi - 96;
    const std::uint32_t statistics = core->Oid.statistics[0];
    NdisMoveMemory(record + 8, &signal, 4);
    NdisMoveMemory(record + 12, &statistics, 4);
    *q.written = 16;
    return NDIS_STATUS_SUCCESS;
  }
  return NDIS_STATUS_NOT_SUPPORTED;
}

std::uint8_t ReadIndirect(HalAdapter* hal, std::uint8_t selector, std::uint8_t index) {
  hal::WriteRegisterByte(hal, 0, kIndirectSelect, selector);
  hal::WriteRegisterByte(hal, 0, kIndirectIndex, index);
  return hal::ReadRegisterByte(hal, 0, kIndirectData);
}

void WriteIndirect(HalAdapter* hal, std::uint8_t selector, std::uint8_t index, std::uint8_t value) {
  hal::WriteRegisterByte(hal, 0, kIndirectSelect, selector);
  hal::WriteRegisterByte(hal, 0, kIndirectIndex, index);
  hal::WriteRegisterByte(hal, 0, kIndirectData, value);
}

std::uint8_t Selector(NDIS_OID oid) { return oid == OID_HLVN_INDIRECT_REGISTER_54 ? 0x54 : 0x48; }

NDIS_STATUS MacRegister(HalAdapter* hal, const OidQuery& q) {
  std::uint16_t offset = 0;
  if (!InputHalf(q.buffer, q.length, 0, &offset) || offset > kMacRegisterLast) return NDIS_STATUS_INVALID_DATA;
  return AnswerWord(q, hal::ReadRegister(hal, 1, offset), false);
}

NDIS_STATUS RssiStatistics(CoreAdapter* core, const OidQuery& q) {
  // A short buffer is refused, not answered with success and nothing in it.
  return Answer(q, core->Oid.rssiBins, kRssiStatisticsBytes, false);
}

ULONG SetRadio(CoreAdapter* core, HalAdapter* hal, bool on) {
  const bool leds = core->Config.ledOffAfterRadioOff == 1;
  if (!on) {
    if (leds) hal::SendSetLedPattern(hal, core->Config.led0[kLedPowerOff]);
    core->Config.radioOn = 0;
    hal::SendRadioControl(hal);
    IndicateDisconnected(core);
    return StatusSuccess;
  }
  core->Config.radioOn = 1;
  hal::SendRadioControl(hal);
  if (leds) hal::SendSetLedPattern(hal, core->Config.led0[kLedPowerOn]);
  return StatusSuccess;
}

ULONG SetVendorMode(CoreAdapter* core, HalAdapter* hal, std::uint8_t mode) {
  core->Oid.vendorMode = mode;
  const std::uint8_t record[2] = {mode, static_cast<std::uint8_t>(core->WirelessMode == 1 ? 1 : 2)};
  return hal::SendSetMode(hal, 1, record[0], record[1]) == NDIS_STATUS_SUCCESS ? StatusSuccess : StatusFailure;
}

}  // namespace

NDIS_STATUS HalQueryOid(CoreAdapter* core, NDIS_OID oid, PVOID buffer, ULONG length, PULONG written,
                         PULONG needed) {
  HalAdapter* hal = core->Hal;
  const OidQuery q{buffer, length, written, needed};
  switch (oid) {
    case OID_GEN_SUPPORTED_LIST:
      return Answer(q, kChipOids, sizeof kChipOids, false);
    case OID_GEN_HARDWARE_STATUS:
      return AnswerWord(q, 0, false);
    case OID_GEN_MAXIMUM_LOOKAHEAD:
    case OID_GEN_MAXIMUM_FRAME_SIZE:
    case OID_GEN_CURRENT_LOOKAHEAD:
      return AnswerWord(q, 1500, false);
    case OID_GEN_LINK_SPEED:
      return AnswerWord(q, LinkSpeed(hal), false);
    case OID_GEN_TRANSMIT_BUFFER_SPACE:
      return AnswerWord(q, 20'000, false);
    case OID_GEN_RECEIVE_BUFFER_SPACE:
      return AnswerWord(q, 0x2F500, false);
    case OID_GEN_TRANSMIT_BLOCK_SIZE:
    case OID_GEN_RECEIVE_BLOCK_SIZE:
    case OID_GEN_MAXIMUM_TOTAL_SIZE:
      return AnswerWord(q, 1514, false);
    case OID_GEN_VENDOR_DESCRIPTION:
      return Answer(q, core->Config.vendorDescription,
                    static_cast<ULONG>(strnlen(core->Config.vendorDescription, sizeof core->Config.vendorDescription - 1)),
                    false);
    case OID_GEN_CURRENT_PACKET_FILTER:
      return AnswerWord(q, core->Oid.packetFilter, false);
    case OID_GEN_VENDOR_DRIVER_VERSION:
      return AnswerWord(q, hal->spec.firmwareRelease, false);
    case OID_802_3_PERMANENT_ADDRESS:
      return Answer(q, hal->spec.permanentMac.data(), 6, false);
    case OID_802_3_CURRENT_ADDRESS:
      // One address in use: the one the firmware was given, which the air sees too.
      return Answer(q, hal->currentMac.data(), 6, false);
    case OID_802_3_MULTICAST_LIST:
      return Answer(q, hal->multicast, 6 * hal->multicastCount, false);
    case OID_802_3_MAXIMUM_LIST_SIZE:
      return AnswerWord(q, kMulticastMax, false);
    case OID_802_11_RSSI_TRIGGER:
      return AnswerWord(q, static_cast<std::uint32_t>(hal->signalThreshold), false);
    case OID_802_11_RX_ANTENNA_SELECTED:
      return AnswerWord(q, core->Config.rxAntenna, false);
    case OID_802_11_TX_ANTENNA_SELECTED:
      return AnswerWord(q, core->Config.txAntenna, false);
    case OID_802_11_POWER_MODE:
      return AnswerWord(q, hal->powerMode, false);
    case OID_HLVN_CHIP_DESCRIPTION:
      return ChipDescription(hal, q);
    case OID_HLVN_SUBCOMMAND:
      return Subcommand(core, q);
    case OID_HLVN_REGION_CODE:
      return Answer(q, &hal->spec.regionCode, 2, false);
    case OID_HLVN_PREAMBLE:
      return AnswerWord(q, core->Config.preamble, false);
    case OID_HLVN_CHANNEL:
      return AnswerWord(q, CurrentChannel(core), false);
    case OID_HLVN_HW_VERSION:
      return Answer(q, &hal->spec.version, 2, false);
    case OID_HLVN_INDIRECT_REGISTER_54:
    case OID_HLVN_INDIRECT_REGISTER_48: {
      if (buffer == nullptr || length < 1) {
        *needed = 1;
        return NDIS_STATUS_BUFFER_TOO_SHORT;
      }
      const std::uint8_t value = ReadIndirect(hal, Selector(oid), *static_cast<std::uint8_t*>(buffer));
      return Answer(q, &value, 1, false);
    }
    case OID_HLVN_MAC_REGISTER:
      return MacRegister(hal, q);
    case OID_HLVN_RADIO_OFF:
    case OID_HLVN_RADIO_ON:
      return AnswerWord(q, core->Config.radioOn, false);
    case OID_HLVN_CHANNEL_RANGE:
      return AnswerWord(q, core->Config.channelRange, false);
    case OID_HLVN_TX_FAIL_THRESHOLD:
      return AnswerWord(q, core->Config.txFailThreshold, false);
    case OID_HLVN_SIGNAL_THRESHOLD:
      return AnswerWord(q, static_cast<std::uint32_t>(-core->Config.signalThreshold), false);
    case OID_HLVN_VENDOR_MODE: {
      const std::uint8_t mode = core->Oid.vendorMode & ~0x02;
      return Answer(q, &mode, 1, false);
    }
    case OID_HLVN_RSSI_STATISTICS:
      return RssiStatistics(core, q);
    case OID_HLVN_TX_POWER:
      return AnswerWord(q, hal->lastTxPowerSent, false);
    case OID_HLVN_EVENT_RING:
      if (Links().ReadUtilityEvents == nullptr) return NDIS_STATUS_NOT_SUPPORTED;
      return Links().ReadUtilityEvents(buffer, length, written, needed);
    default:
      return NDIS_STATUS_NOT_SUPPORTED;
  }
}

namespace {

// {u16 length, u16 tag, the 802.3 frame}: the frame goes into one of the chip layer's raw-frame
// packets and joins the shell's pending sends; its completion posts the tag to the utility.
ULONG QueueRawFrame(CoreAdapter* core, PVOID buffer, ULONG length, PULONG read) {
  std::uint16_t frameLength = 0;
  std::uint16_t tag = 0;
  if (!InputHalf(buffer, length, 0, &frameLength) || !InputHalf(buffer, length, 2, &tag) ||
      frameLength < kEthernetHeaderBytes || frameLength > kSendFrameMax || length < 4u + frameLength) {
    return StatusInvalidData;
  }
  MiniportContext* context = core->Os->Container != nullptr ? core->Os->Container->Context : nullptr;
  if (context == nullptr || Links().QueuePendingSend == nullptr) return StatusFailure;
  PNDIS_PACKET packet = hal::TakeRawFramePacket(core->Hal);
  if (packet == nullptr) return StatusFailure;  // all of them are on their way
  PNDIS_BUFFER frame = packet->Private.Head;
  std::memcpy(frame->VirtualAddress, static_cast<const std::uint8_t*>(buffer) + 4, frameLength);
  NdisAdjustBufferLength(frame, frameLength);
  packet->Private.ValidCounts = FALSE;  // the send path counts the bytes afresh
  ReservedOf(packet)->Raw.RequestTag = tag;
  Links().QueuePendingSend(context, packet);
  hal::ArmTransmitRetry(core->Hal);
  *read = 4u + frameLength;
  return StatusSuccess;
}

}  // namespace

ULONG HalSetOid(CoreAdapter* core, NDIS_OID oid, PVOID buffer, ULONG length, PULONG read, PULONG needed) {
  HalAdapter* hal = core->Hal;
  const auto* in = static_cast<const std::uint8_t*>(buffer);
  std::uint32_t value = 0;
  const bool hasWord = InputWord(buffer, length, 0, &value);
  if (hasWord) *read = 4;
  switch (oid) {
    case OID_GEN_CURRENT_PACKET_FILTER:
      if (length != 4 || buffer == nullptr) return StatusInvalidLength;
      if ((value & ~kAllowedFilter) != 0) return StatusNotSupported;
      core->Oid.packetFilter = value;
      hal::SendMacFilter(hal, static_cast<std::uint16_t>(value));
      return StatusSuccess;
    case OID_802_3_MULTICAST_LIST:
      if (length % 6 != 0 || length / 6 > kMulticastMax || (length != 0 && buffer == nullptr)) {
        return StatusInvalidLength;
      }
      hal->multicastCount = length / 6;
      for (std::uint32_t i = 0; i < hal->multicastCount; ++i) std::memcpy(hal->multicast[i].data(), in + 6 * i, 6);
      *read = length;
      hal::SendMacFilter(hal, static_cast<std::uint16_t>(core->Oid.packetFilter));
      return StatusSuccess;
    case OID_802_11_RSSI_TRIGGER:
      if (!hasWord) return StatusInvalidData;
      hal->signalThreshold = static_cast<std::int32_t>(value);
      return StatusSuccess;
    case OID_802_11_RTS_THRESHOLD:
      if (!hasWord) return StatusInvalidData;
      core->Config.rtsThreshold = hal->config.rtsThreshold = value;
      hal::SendSetRts(hal);
      return StatusSuccess;
    case OID_802_11_RX_ANTENNA_SELECTED:
    case OID_802_11_TX_ANTENNA_SELECTED: {
      if (!hasWord) return StatusInvalidData;
      const bool receive = oid == OID_802_11_RX_ANTENNA_SELECTED;
      (receive ? core->Config.rxAntenna : core->Config.txAntenna) = value;
      (receive ? hal->config.rxAntenna : hal->config.txAntenna) = value;
      hal::SendAntenna(hal, receive ? 1 : 2);
      return StatusSuccess;
    }
    case OID_802_11_POWER_MODE:
      if (!hasWord) return StatusInvalidData;
      core->Config.powerMode = value;
      hal::SetPowerMode(hal, value);  // the power-save machine watches for a quiet link from now on
      return StatusSuccess;
    case OID_802_11_TX_POWER_LEVEL:
    case OID_802_11_NUMBER_OF_ANTENNAS:
    case OID_HLVN_EXT_01:
    case OID_HLVN_EXT_03:
    case OID_HLVN_EXT_04:
      *read = 0;
      return StatusNotSupported;
    case OID_HLVN_EXT_06:
      if (buffer == nullptr || length < 1) return StatusInvalidLength;
      *read = 1;
      return (in[0] & 0x04) != 0 ? StatusSuccess : StatusNotSupported;
    case OID_HLVN_SUBCOMMAND: {
      std::uint16_t code = 0;
      std::uint32_t word = 0;
      if (!InputHalf(buffer, length, 0, &code) || code != kSubcommandChannel || !InputWord(buffer, length, 8, &word) ||
          word != 1 || length < 28) {
        return StatusFailure;
      }
      std::uint16_t channel;
      std::memcpy(&channel, in + 26, 2);
      if (channel < 1 || channel > 14) return StatusInvalidData;
      core->Config.channel = static_cast<std::uint8_t>(channel);
      *read = length;
      return StatusSuccess;
    }
    case OID_HLVN_PREAMBLE:
      if (!hasWord) return StatusInvalidData;
      core->Config.preamble = value;
      if (ShortPreambleAllowed(core)) {
        hal->config.preamble = value;
        hal::SendRadioControl(hal);
      }
      return StatusSuccess;
    case OID_HLVN_CHANNEL:
      if (!hasWord || value < 1 || value > 14) return StatusInvalidData;
      core->Config.channel = static_cast<std::uint8_t>(value);
      return StatusSuccess;
    case OID_HLVN_INDIRECT_REGISTER_54:
    case OID_HLVN_INDIRECT_REGISTER_48:
      if (buffer == nullptr || length < 5) return StatusInvalidData;
      WriteIndirect(hal, Selector(oid), in[0], in[4]);
      *read = 5;
      return StatusSuccess;
    case OID_HLVN_MAC_REGISTER: {
      std::uint16_t offset = 0;
      std::uint32_t registerValue = 0;
      if (!InputHalf(buffer, length, 0, &offset) || offset > kMacRegisterLast ||
          !InputWord(buffer, length, 4, &registerValue)) {
        return StatusInvalidData;
      }
      hal::WriteRegister(hal, 1, offset, registerValue);
      *read = 8;
      return StatusSuccess;
    }
    case OID_HLVN_RADIO_OFF:
      return SetRadio(core, hal, false);
    case OID_HLVN_RADIO_ON:
      return SetRadio(core, hal, true);
    case OID_HLVN_SCAN_SSID:
    case OID_HLVN_SCAN_PARAMS:
      return StatusSuccess;
    case OID_HLVN_CHANNEL_RANGE:
      if (!hasWord) return StatusInvalidData;
      core->Config.channelRange = value;
      return StatusSuccess;
    case OID_HLVN_TX_FAIL_THRESHOLD:
      if (!hasWord) return StatusInvalidData;
      core->Config.txFailThreshold = value;
      return StatusSuccess;
    case OID_HLVN_SIGNAL_THRESHOLD:
      if (!hasWord) return StatusInvalidData;
      core->Config.signalThreshold = -static_cast<std::int32_t>(value);
      return StatusSuccess;
    case OID_HLVN_VENDOR_MODE:
      if (buffer == nullptr || length < 1) return StatusInvalidData;
      *read = 1;
      return SetVendorMode(core, hal, in[0]);
    case OID_HLVN_SEND_FRAME:
      return QueueRawFrame(core, buffer, length, read);
    case OID_HLVN_TX_POWER:
      if (!hasWord) return StatusInvalidData;
      core->Config.txPowerLevel = value;
      if (value != hal->lastTxPowerSent) hal::SendTxPower(hal, 1, value);
      return StatusSuccess;
    default:
      *read = 0;
      (void)needed;
      return StatusNotAccepted;
  }
}

}  // namespace zelnic::core
