#pragma once
// The simulated adapter chip: PCI identity, two 64 KB register windows, the interrupt line,
// the boot ROM's download handshake and the running firmware's command engine. It
// implements the runtime's device interface, so the driver meets it only through register
// accesses, PCI configuration reads, shared memory and its interrupt. The contract (what
// each register and command does) is in README.md beside this file.
//
// On the air side the chip is a simair::Radio: attachAir() joins it to a medium (or a test's
// double); frames from the transmit ring go out through Air::transmit, frames the air
// delivers pass the chip's filter into the receive ring.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/ndis/device.h"
#include "sim/chip/boot_rom.h"
#include "sim/chip/chip_config.h"
#include "sim/chip/channel_measurement.h"
#include "sim/chip/firmware_engine.h"
#include "sim/air/radio.h"

namespace simchip {

struct RegisterAccess {
  bool write = false;
  unsigned window = 0;
  std::uint32_t offset = 0;
  ndis::AccessWidth width = ndis::AccessWidth::U32;
  std::uint32_t value = 0;
  friend bool operator==(const RegisterAccess&, const RegisterAccess&) = default;
};

struct LoggedCommand {
  std::uint16_t code = 0;
  std::vector<std::uint8_t> record;  // as the chip read it from host memory
  ndis::Micros at{0};
};

// What the chip knows of the BSS it listens to, from its beacons.
struct BeaconClock {
  bool known = false;
  ndis::Micros lastAt{0};
  std::uint16_t intervalTu = 100;
  std::uint8_t dtimCount = 0;
  std::uint8_t dtimPeriod = 1;
};

// The chip's receive and transmit statistics beyond the firmware's counters.
struct RingCounters {
  unsigned framesSent = 0;        // air frames out of the transmit ring
  unsigned framesReceived = 0;    // frames written into the receive ring
  unsigned receiveDropped = 0;    // frames that found the receive ring full (or stalled)
  unsigned filtered = 0;          // frames the filter turned away
  unsigned heardWhileDozing = 0;  // frames lost because the radio dozed
  unsigned beaconsSent = 0;       // IBSS beacons from the template
};

class SimChip final : public ndis::ChipDevice, public simair::Radio {
public:
  explicit SimChip(ChipIdentity identity = {});
  ~SimChip() override;

  // ndis::ChipDevice
  void attach(ndis::DeviceBus& bus) override;
  void detach() override;
  ndis::DeviceResources resources() const override;
  std::size_t readPciConfig(std::uint32_t offset, std::span<std::uint8_t> into) override;
  std::size_t writePciConfig(std::uint32_t offset, std::span<const std::uint8_t> from) override;
  std::uint32_t readRegister(unsigned window, std::uint32_t offset, ndis::AccessWidth width) override;
  void writeRegister(unsigned window, std::uint32_t offset, ndis::AccessWidth width,
                     std::uint32_t value) override;
  void surpriseRemoved() override;

  // simair::Radio
  simair::MacAddress address() const override;
  std::uint8_t channel() const override;
  bool radioOn() const override;
  int transmitPowerDbm() const override;
  void receive(const simair::AirFrame& frame, const simair::Reception& reception) override;

  // The air the chip transmits on and hears; one at a time.
  void attachAir(simair::Air& air);
  void detachAir();

  // Test and host controls.
  ChipKnobs& knobs() { return knobs_; }
  // One line for each step the chip takes on the way up (boot block, image, hardware
  // specification, commands answered) and for its stop; for a host that shows progress.
  void setStepLog(std::function<void(const std::string&)> log) { stepLog_ = std::move(log); }
  const ChipIdentity& identity() const { return identity_; }
  void pulseRadioSwitch(bool on);   // the hardware radio switch: cause 0x40 (on) or 0x20 (off)
  void crash();                     // the firmware dies and clears the host's alive word
  void setChannelActivity(std::uint8_t value);
  void raise(std::uint32_t causes);

  // What happened.
  FirmwareState firmwareState() const { return bootRom_.state(); }
  unsigned downloadedBlocks() const { return bootRom_.blocksLoaded(); }
  const std::string& lastRefusal() const { return bootRom_.lastRefusal(); }
  const FirmwareEngine& firmware() const { return firmware_; }
  FirmwareCounters& counters() { return firmware_.counters(); }
  // Every command the chip took, with its record; a host that runs for long switches the log
  // off, or it grows with every command.
  const std::vector<LoggedCommand>& commands() const { return commands_; }
  void logCommands(bool on) { loggingCommands_ = on; }
  // Everything the driver did that the chip's protocol forbids; a correct driver leaves it
  // empty.
  const std::vector<std::string>& protocolFaults() const { return faults_; }
  void recordAccesses(bool on) { recording_ = on; }
  const std::vector<RegisterAccess>& accesses() const { return accesses_; }
  void clearAccesses() { accesses_.clear(); }
  std::uint32_t cause() const { return cause_; }
  std::uint32_t mask() const { return mask_; }
  bool interruptLine() const { return line_; }
  bool removed() const { return removed_; }
  unsigned transmitDoorbells() const { return transmitDoorbells_; }
  unsigned sleepRequests() const { return sleepRequests_; }
  unsigned receiveResumes() const { return receiveResumes_; }
  const RingCounters& rings() const { return rings_; }
  bool dozing() const { return dozing_; }
  bool scanning() const { return firmware_.settings().scanning; }
  const BeaconClock& beaconClock() const { return beaconClock_; }

private:
  std::uint32_t load(unsigned window, std::uint32_t offset, ndis::AccessWidth width) const;
  void store(unsigned window, std::uint32_t offset, ndis::AccessWidth width, std::uint32_t value);
  std::uint32_t readWindow1(std::uint32_t offset, ndis::AccessWidth width);
  void writeWindow1(std::uint32_t offset, ndis::AccessWidth width, std::uint32_t value);
  void doorbell(std::uint32_t value);
  void downloadKick();
  void commandKick();
  void answerMailbox(std::uint32_t value);
  void stopFirmware();
  void updateLine();
  void fault(std::string what);
  void step(const std::string& line);
  void cancelEvents();
  ndis::EventId schedule(ndis::Micros delay, std::string_view label, ndis::EventAction action);
  // The rings (chip_rings.cpp).
  void walkTransmitRing();
  bool writeReceiveRing(std::span<const std::uint8_t> air, int signalDbm, std::uint16_t rateHalfMbps);
  // The air side (chip_air.cpp).
  bool transmitAir(std::vector<std::uint8_t> bytes, std::uint16_t rateHalfMbps);
  void sendPsPoll(const simair::MacAddress& bssid);
  bool passesFilter(std::span<const std::uint8_t> air) const;
  void noteBeacon(std::span<const std::uint8_t> air);
  void sleepRequest();
  void wakeForBeacon();
  void endDoze();
  void commandApplied(std::uint16_t code);
  void beaconFromTemplate();
  void answerProbe(std::span<const std::uint8_t> request);

  ChipIdentity identity_;
  ChipKnobs knobs_;
  ndis::DeviceBus* bus_ = nullptr;
  std::array<std::uint8_t, 256> pci_{};
  std::vector<std::uint8_t> windows_[2];
  std::array<std::array<std::uint8_t, 256>, 256> indirect_{};

  std::uint32_t address_ = 0;
  std::uint32_t status_ = 0;
  std::uint32_t cause_ = 0;
  std::uint32_t mask_ = 0;
  bool line_ = false;
  bool removed_ = false;

  BootRom bootRom_;
  FirmwareEngine firmware_;
  ChannelMeasurement measurement_;
  // A mailbox answer that waits for the host's k-th status read (knob).
  std::optional<std::uint32_t> answerOnPoll_;
  unsigned pollsLeft_ = 0;
  bool commandInChip_ = false;
  bool crashed_ = false;
  std::vector<ndis::EventId> events_;

  std::function<void(const std::string&)> stepLog_;
  std::vector<LoggedCommand> commands_;
  bool loggingCommands_ = true;
  std::vector<std::uint8_t> commandRecord_;  // the command in the chip (one at a time)
  std::vector<std::string> faults_;
  bool recording_ = false;
  std::vector<RegisterAccess> accesses_;
  unsigned transmitDoorbells_ = 0;
  unsigned sleepRequests_ = 0;
  unsigned receiveResumes_ = 0;

  simair::Air* air_ = nullptr;
  RingCounters rings_;
  std::uint32_t txPointer_ = 0;   // the descriptor the chip looks at next
  std::uint32_t rxPointer_ = 0;
  bool rxStalled_ = false;        // the ring was full: nothing more until the resume word
  std::uint8_t homeChannel_ = 0;  // where SCAN_END returns to
  bool dozing_ = false;
  bool awaitingBeacon_ = false;
  // The power-management bit of the last frame sent to the access point: whether it takes
  // the station for dozing (and buffers its frames).
  bool dozingToAccessPoint_ = false;
  BeaconClock beaconClock_;
  ndis::EventId wakeEvent_;
  ndis::EventId beaconEvent_;
};

}  // namespace simchip
