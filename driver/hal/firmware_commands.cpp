#include "driver/hal/firmware_commands.h"

#include <algorithm>
#include <cstring>

#include "driver/hal/hal_registers.h"

namespace zelnic::hal {
namespace {

constexpr std::uint32_t kBufferWaitMicros = 50;
constexpr std::uint32_t kBufferWaitTries = 100000;  // 5 seconds
constexpr std::size_t kHeaderBytes = 8;

struct Layout {
  std::uint16_t code;
  std::uint16_t size;
};
constexpr Layout kLayouts[] = {
    {HLVN_FW_GET_HW_SPEC, 44},     {HLVN_FW_MAC_FILTER, 204},     {HLVN_FW_GET_STATISTICS, 44},
    {HLVN_FW_RADIO_CONTROL, 14},   {HLVN_FW_TX_POWER, 32},        {HLVN_FW_ANTENNA, 12},
    {HLVN_FW_SCAN_START, 12},      {HLVN_FW_SCAN_END, 15},        {HLVN_FW_SET_CHANNEL, 11},
    {HLVN_FW_SET_ASSOCIATION, 31}, {HLVN_FW_SET_INFRA_MODE, 8},   {HLVN_FW_CMD_010F, 9},
    {HLVN_FW_SET_RATES, 24},       {HLVN_FW_CMD_0111, 140},       {HLVN_FW_SET_RTS, 12},
    {HLVN_FW_CMD_0114, 11},        {HLVN_FW_CMD_0115, 16},        {HLVN_FW_SET_MODE, 11},
    {HLVN_FW_MEASURE_0118, 14},    {HLVN_FW_MEASURE_0119, 44},    {HLVN_FW_MEASURE_011A, 16},
    {HLVN_FW_SET_LED_PATTERN, 12}, {HLVN_FW_SET_MAC_ADDRESS, 14},
};

void Put16(std::uint8_t* at, std::uint32_t value) {
  at[0] = static_cast<std::uint8_t>(value);
  at[1] = static_cast<std::uint8_t>(value >> 8);
}
void Put32(std::uint8_t* at, std::uint32_t value) {
  Put16(at, value);
  Put16(at + 2, value >> 16);
}
std::uint16_t Get16(const std::uint8_t* at) { return static_cast<std::uint16_t>(at[0] | at[1] << 8); }
std::uint32_t Get32(const std::uint8_t* at) {
  return static_cast<std::uint32_t>(Get16(at)) | static_cast<std::uint32_t>(Get16(at + 2)) << 16;
}

// Copies the caller's bytes to `at`; false when they do not fit in `room`.
bool CopyIn(std::uint8_t* at, std::size_t room, std::span<const std::uint8_t> bytes) {
  if (bytes.size() > room) return false;
  std::copy(bytes.begin(), bytes.end(), at);
  return true;
}

// Writes the record of `code` into the buffer; its size, or 0 when the caller's bytes do
// not fit the command.
std::size_t BuildRecord(HalAdapter* hal, std::uint8_t* r, std::uint16_t code, std::uint32_t action,
                        std::span<const std::uint8_t> record) {
  if (code == HLVN_FW_IBSS_START) {  // the core's own record, copied whole
    if (record.size() < kHeaderBytes || record.size() > kCommandBufferBytes) return 0;
    std::copy(record.begin(), record.end(), r);
    return record.size();
  }
  const auto* layout = std::find_if(std::begin(kLayouts), std::end(kLayouts),
                                    [code](const Layout& l) { return l.code == code; });
  if (layout == std::end(kLayouts)) return 0;
  const std::size_t size = layout->size;
  std::memset(r, 0, size);
  Put16(r, code);
  Put16(r + 2, static_cast<std::uint32_t>(size));
  std::uint8_t* body = r + kHeaderBytes;
  const std::size_t room = size - kHeaderBytes;
  switch (code) {
    case HLVN_FW_GET_HW_SPEC:
      std::memset(r + 14, 0xFF, 6);
      Put32(r + 40, hal->aliveWord.physical);
      break;
    case HLVN_FW_MAC_FILTER: {
      const std::uint32_t count = std::min<std::uint32_t>(hal->multicastCount, 32);
      Put16(r + 8, action);
      Put16(r + 10, count);
      for (std::uint32_t i = 0; i < count; ++i)
        std::memcpy(r + 12 + 6 * i, hal->multicast[i].data(), 6);
      break;
    }
    case HLVN_FW_RADIO_CONTROL:
      Put16(r + 8, 1);
      Put16(r + 10, PreambleCode(hal->config.preamble));
      Put16(r + 12, hal->link.radioOn && *hal->link.radioOn == 1 ? 1 : 0);
      break;
    case HLVN_FW_TX_POWER:
      Put16(r + 8, action);
      if (action == 1) Put16(r + 10, TxPowerCode(hal->config.txPowerLevel));
      break;
    case HLVN_FW_ANTENNA:
      Put16(r + 8, action);
      Put16(r + 10, action == 1 ? hal->config.rxAntenna : hal->config.txAntenna);
      break;
    case HLVN_FW_SCAN_END:
      r[8] = static_cast<std::uint8_t>(action);
      if (!CopyIn(r + 9, 6, record)) return 0;
      break;
    case HLVN_FW_SET_CHANNEL:
      r[10] = static_cast<std::uint8_t>(action);
      break;
    case HLVN_FW_CMD_010F:
      r[8] = static_cast<std::uint8_t>(action);
      break;
    case HLVN_FW_CMD_0111:
      Put32(r + 8, action & 0xFFFF);
      if (!CopyIn(r + 12, 128, record)) return 0;
      break;
    case HLVN_FW_SET_RTS:
      Put16(r + 6, 1);
      Put32(r + 8, hal->config.rtsThreshold);
      break;
    case HLVN_FW_CMD_0114:
      r[10] = static_cast<std::uint8_t>(action);
      break;
    case HLVN_FW_CMD_0115:
      Put16(r + 8, action);
      if (!CopyIn(r + 10, 6, record)) return 0;
      break;
    case HLVN_FW_SET_MODE:
      r[8] = static_cast<std::uint8_t>(action);
      if (!CopyIn(r + 9, 2, record)) return 0;
      break;
    case HLVN_FW_MEASURE_0118:
      Put16(r + 8, 0);
      break;
    case HLVN_FW_MEASURE_0119:
      Put16(r + 8, action & 1);
      Put16(r + 10, (action >> 1) & 1);
      break;
    case HLVN_FW_MEASURE_011A:
      Put16(r + 8, action == 1 ? 1 : 0);
      break;
    case HLVN_FW_SET_LED_PATTERN:
      Put32(r + 8, action);
      break;
    case HLVN_FW_SET_ASSOCIATION:
    case HLVN_FW_SET_RATES:
    case HLVN_FW_SET_MAC_ADDRESS:
      if (!CopyIn(body, room, record)) return 0;
      break;
    default:  // GET_STATISTICS, SCAN_START, SET_INFRA_MODE: header only
      break;
  }
  return size;
}

// Queueing step 2-3: unless a command is in flight or the queue is disabled, the head of the
// pending queue goes to the chip.
void SendNext(HalAdapter* hal) {
  CommandQueue& q = hal->commands;
  OsAcquireLock(hal->os, &q.lock);
  CommandDescriptor* next = nullptr;
  if (q.inFlight == nullptr && q.enabled && q.pendingHead != nullptr) {
    next = q.pendingHead;
    q.pendingHead = next->link;
    if (q.pendingHead == nullptr) q.pendingTail = nullptr;
    next->link = nullptr;
    q.inFlight = next;
  }
  OsReleaseLock(hal->os, &q.lock);
  if (next == nullptr) return;
  WriteRegister(hal, 1, kRegAddress, static_cast<std::uint32_t>(next->physical));
  ReadRegister(hal, 1, kRegStatus);
  WriteRegister(hal, 1, kRegDoorbell, kDoorbellCommand);
}

void Enqueue(HalAdapter* hal, CommandDescriptor* descriptor) {
  CommandQueue& q = hal->commands;
  OsAcquireLock(hal->os, &q.lock);
  descriptor->link = nullptr;
  if (q.pendingTail) {
    q.pendingTail->link = descriptor;
  } else {
    q.pendingHead = descriptor;
  }
  q.pendingTail = descriptor;
  OsReleaseLock(hal->os, &q.lock);
  SendNext(hal);
}

}  // namespace

std::uint16_t PreambleCode(std::uint32_t preamble) {
  return preamble == 2 ? 3 : preamble == 3 ? 1 : 5;
}

std::uint16_t TxPowerCode(std::uint32_t level) {
  return level == 1 ? 5 : level == 2 ? 10 : level == 3 ? 15 : 128;
}

NDIS_STATUS CreateCommandQueue(HalAdapter* hal) {
  CommandQueue& q = hal->commands;
  if (!OsAllocateShared(hal->os, kCommandBuffers * kCommandBufferBytes, q.buffers))
    return NDIS_STATUS_RESOURCES;
  q.descriptors = static_cast<CommandDescriptor*>(
      OsAllocate(hal->os, kCommandBuffers * sizeof(CommandDescriptor)));
  if (q.descriptors == nullptr) return NDIS_STATUS_RESOURCES;
  for (std::uint32_t i = 0; i < kCommandBuffers; ++i) {
    CommandDescriptor& d = q.descriptors[i];
    d.buffer = q.buffers.virtualAddress + i * kCommandBufferBytes;
    d.physical = q.buffers.physical + i * kCommandBufferBytes;
    d.completion = nullptr;
    d.link = i + 1 < kCommandBuffers ? &q.descriptors[i + 1] : nullptr;
  }
  q.freeHead = &q.descriptors[0];
  q.freeCount = kCommandBuffers;
  OsAllocateLock(hal->os, &q.lock);
  q.enabled = true;
  return NDIS_STATUS_SUCCESS;
}

void DestroyCommandQueue(HalAdapter* hal) {
  CommandQueue& q = hal->commands;
  if (q.descriptors != nullptr) {
    OsFreeLock(hal->os, &q.lock);
    OsFree(hal->os, q.descriptors, kCommandBuffers * sizeof(CommandDescriptor));
  }
  OsFreeShared(hal->os, q.buffers);
  q = CommandQueue{};
}

CommandDescriptor* TakeCommandBuffer(HalAdapter* hal) {
  CommandQueue& q = hal->commands;
  for (std::uint32_t attempt = 0;; ++attempt) {
    OsAcquireLock(hal->os, &q.lock);
    CommandDescriptor* d = q.freeHead;
    if (d != nullptr) {
      q.freeHead = d->link;
      --q.freeCount;
      d->link = nullptr;
      d->completion = nullptr;
    }
    OsReleaseLock(hal->os, &q.lock);
    if (d != nullptr) return d;
    if (attempt == kBufferWaitTries) return nullptr;
    NdisStallExecution(kBufferWaitMicros);
  }
}

void ReleaseCommandBuffer(HalAdapter* hal, CommandDescriptor* descriptor) {
  CommandQueue& q = hal->commands;
  OsAcquireLock(hal->os, &q.lock);
  descriptor->link = q.freeHead;
  q.freeHead = descriptor;
  ++q.freeCount;
  OsReleaseLock(hal->os, &q.lock);
}

NDIS_STATUS SendFirmwareCommand(HalAdapter* hal, std::uint16_t code, std::uint32_t action,
                                CommandCompletion completion,
                                std::span<const std::uint8_t> record) {
  CommandDescriptor* d = TakeCommandBuffer(hal);
  if (d == nullptr) return NDIS_STATUS_RESOURCES;
  if (BuildRecord(hal, d->buffer, code, action, record) == 0) {
    ReleaseCommandBuffer(hal, d);
    return NDIS_STATUS_INVALID_LENGTH;
  }
  d->completion = completion;
  Enqueue(hal, d);
  return NDIS_STATUS_SUCCESS;
}

NDIS_STATUS ProcessFirmwareResponse(HalAdapter* hal) {
  CommandQueue& q = hal->commands;
  OsAcquireLock(hal->os, &q.lock);
  CommandDescriptor* d = q.inFlight;
  OsReleaseLock(hal->os, &q.lock);
  if (d == nullptr) return NDIS_STATUS_NOT_ACCEPTED;
  const std::uint8_t* r = d->buffer;
  const std::uint16_t code = Get16(r);
  // A command interrupt while the buffer still holds the command: the firmware has not
  // answered it, so it stays in the chip.
  if ((code & kResponseBit) == 0) return NDIS_STATUS_NOT_ACCEPTED;

  const HalCoreLink& link = hal->link;
  switch (code) {
    case HLVN_FW_GET_HW_SPEC | kResponseBit:
      if (auto spec = ParseHardwareSpec(std::span(r, kCommandBufferBytes))) {
        // Ring registers the windows do not reach are never taken, at the start or later: the
        // driver reads them on every interrupt. The ones held stay; the start sees the refusal.
        if (!RingRegistersUsable(*spec)) {
          hal->hardwareSpecRefused = true;
          spec->txRingRegister = hal->spec.txRingRegister;
          spec->rxWritePointerRegister = hal->spec.rxWritePointerRegister;
          spec->rxReadPointerRegister = hal->spec.rxReadPointerRegister;
        }
        hal->spec = *spec;
      }
      break;
    case HLVN_FW_MAC_FILTER | kResponseBit:
      if ((hal->powerSaveFlags & 1) == 0) ResumeTransmission(hal);
      break;
    case HLVN_FW_GET_STATISTICS | kResponseBit:
      if (link.StoreFirmwareStatistics) link.StoreFirmwareStatistics(link.core, r);
      break;
    case HLVN_FW_IBSS_START | kResponseBit:
    case HLVN_FW_SCAN_START | kResponseBit:
    case HLVN_FW_SCAN_END | kResponseBit:
    case HLVN_FW_SET_CHANNEL | kResponseBit:
    case HLVN_FW_SET_ASSOCIATION | kResponseBit:
      if (d->completion) d->completion(link.core);
      break;
    case HLVN_FW_MEASURE_0118 | kResponseBit:
      if (link.SetCcxWord) link.SetCcxWord(link.core, Get32(r + 10));
      break;
    case HLVN_FW_MEASURE_0119 | kResponseBit:
    case HLVN_FW_MEASURE_011A | kResponseBit:
      if (Get16(r + 8) == 0) {
        std::uint32_t words[8];
        const std::uint32_t count = code == (HLVN_FW_MEASURE_0119 | kResponseBit) ? 8 : 1;
        for (std::uint32_t i = 0; i < count; ++i) words[i] = Get32(r + 12 + 4 * i);
        if (link.StoreMeasurement) link.StoreMeasurement(link.core, words, count);
        if (link.FirmwareEvent) link.FirmwareEvent(link.core);
      }
      break;
    default:
      break;  // nothing to do; the buffer still goes back
  }

  OsAcquireLock(hal->os, &q.lock);
  q.inFlight = nullptr;
  OsReleaseLock(hal->os, &q.lock);
  ReleaseCommandBuffer(hal, d);
  SendNext(hal);
  return NDIS_STATUS_SUCCESS;
}

void EnableCommandQueue(HalAdapter* hal) {
  OsAcquireLock(hal->os, &hal->commands.lock);
  hal->commands.enabled = true;
  OsReleaseLock(hal->os, &hal->commands.lock);
  SendNext(hal);
}

void DisableCommandQueue(HalAdapter* hal) {
  OsAcquireLock(hal->os, &hal->commands.lock);
  hal->commands.enabled = false;
  OsReleaseLock(hal->os, &hal->commands.lock);
}

bool CommandQueueIdle(HalAdapter* hal) {
  OsAcquireLock(hal->os, &hal->commands.lock);
  const bool idle = hal->commands.inFlight == nullptr && hal->commands.pendingHead == nullptr;
  OsReleaseLock(hal->os, &hal->commands.lock);
  return idle;
}

NDIS_STATUS SendGetHardwareSpec(HalAdapter* hal) {
  return SendFirmwareCommand(hal, HLVN_FW_GET_HW_SPEC, 0, nullptr);
}

NDIS_STATUS SendMacFilter(HalAdapter* hal, std::uint16_t action) {
  PauseTransmission(hal);
  const NDIS_STATUS status = SendFirmwareCommand(hal, HLVN_FW_MAC_FILTER, action, nullptr);
  if (status != NDIS_STATUS_SUCCESS) ResumeTransmission(hal);
  return status;
}

NDIS_STATUS SendGetStatistics(HalAdapter* hal) {
  return SendFirmwareCommand(hal, HLVN_FW_GET_STATISTICS, 0, nullptr);
}

NDIS_STATUS SendRadioControl(HalAdapter* hal) {
  return SendFirmwareCommand(hal, HLVN_FW_RADIO_CONTROL, 0, nullptr);
}

NDIS_STATUS SendTxPower(HalAdapter* hal, std::uint16_t action, std::uint32_t level) {
  if (action == 1 && level == hal->lastTxPowerSent) return NDIS_STATUS_SUCCESS;  // the firmware has it
  hal->config.txPowerLevel = level;
  const NDIS_STATUS status = SendFirmwareCommand(hal, HLVN_FW_TX_POWER, action, nullptr);
  if (status == NDIS_STATUS_SUCCESS && action == 1) hal->lastTxPowerSent = level;
  return status;
}

NDIS_STATUS SendAntenna(HalAdapter* hal, std::uint16_t action) {
  return SendFirmwareCommand(hal, HLVN_FW_ANTENNA, action, nullptr);
}

NDIS_STATUS SendIbssStart(HalAdapter* hal, std::span<const std::uint8_t> record,
                          CommandCompletion completion) {
  return SendFirmwareCommand(hal, HLVN_FW_IBSS_START, 0, completion, record);
}

NDIS_STATUS SendScanStart(HalAdapter* hal, CommandCompletion completion) {
  return SendFirmwareCommand(hal, HLVN_FW_SCAN_START, 0, completion);
}

NDIS_STATUS SendScanEnd(HalAdapter* hal, std::uint8_t action, const MacAddress& bssid,
                        CommandCompletion completion) {
  return SendFirmwareCommand(hal, HLVN_FW_SCAN_END, action, completion, bssid);
}

NDIS_STATUS SendSetChannel(HalAdapter* hal, std::uint8_t channel, CommandCompletion completion) {
  return SendFirmwareCommand(hal, HLVN_FW_SET_CHANNEL, channel, completion);
}

NDIS_STATUS SendSetAssociation(HalAdapter* hal, std::span<const std::uint8_t> body,
                               CommandCompletion completion) {
  return SendFirmwareCommand(hal, HLVN_FW_SET_ASSOCIATION, 0, completion, body);
}

NDIS_STATUS SendSetInfraMode(HalAdapter* hal) {
  return SendFirmwareCommand(hal, HLVN_FW_SET_INFRA_MODE, 0, nullptr);
}

NDIS_STATUS SendCmd010F(HalAdapter* hal, std::uint8_t action) {
  return SendFirmwareCommand(hal, HLVN_FW_CMD_010F, action, nullptr);
}

NDIS_STATUS SendSetRates(HalAdapter* hal, std::span<const std::uint8_t> body) {
  return SendFirmwareCommand(hal, HLVN_FW_SET_RATES, 0, nullptr, body);
}

NDIS_STATUS SendCmd0111(HalAdapter* hal, std::uint16_t word, std::span<const std::uint8_t> data) {
  return SendFirmwareCommand(hal, HLVN_FW_CMD_0111, word, nullptr, data);
}

NDIS_STATUS SendSetRts(HalAdapter* hal) {
  return SendFirmwareCommand(hal, HLVN_FW_SET_RTS, 0, nullptr);
}

NDIS_STATUS SendCmd0114(HalAdapter* hal, std::uint8_t action) {
  return SendFirmwareCommand(hal, HLVN_FW_CMD_0114, action, nullptr);
}

NDIS_STATUS SendCmd0115(HalAdapter* hal, std::uint16_t action, std::span<const std::uint8_t> state) {
  return SendFirmwareCommand(hal, HLVN_FW_CMD_0115, action, nullptr, state);
}

NDIS_STATUS SendSetMode(HalAdapter* hal, std::uint8_t action, std::uint8_t flags, std::uint8_t mode) {
  const std::uint8_t tail[] = {flags, mode};
  return SendFirmwareCommand(hal, HLVN_FW_SET_MODE, action, nullptr, tail);
}

NDIS_STATUS SendMeasure0118(HalAdapter* hal) {
  return SendFirmwareCommand(hal, HLVN_FW_MEASURE_0118, 0, nullptr);
}

NDIS_STATUS SendMeasure0119(HalAdapter* hal, std::uint32_t action) {
  return SendFirmwareCommand(hal, HLVN_FW_MEASURE_0119, action, nullptr);
}

NDIS_STATUS SendMeasure011A(HalAdapter* hal, std::uint32_t action) {
  return SendFirmwareCommand(hal, HLVN_FW_MEASURE_011A, action, nullptr);
}

NDIS_STATUS SendSetLedPattern(HalAdapter* hal, std::uint32_t pattern) {
  return SendFirmwareCommand(hal, HLVN_FW_SET_LED_PATTERN, pattern, nullptr);
}

NDIS_STATUS SendSetMacAddress(HalAdapter* hal, const MacAddress& address) {
  return SendFirmwareCommand(hal, HLVN_FW_SET_MAC_ADDRESS, 0, nullptr, address);
}

}  // namespace zelnic::hal
