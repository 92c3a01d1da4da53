#pragma once
// The host API: what NDIS and the protocols above it do to one adapter's miniport, for
// tests and for the driver host process. Every call into the miniport runs as an event
// of the adapter's scheduler, at the IRQL NDIS would use, in time order with the chip's
// work, the interrupt path and the timers.
//
//   ndis::Scheduler scheduler;
//   SimChip chip;
//   auto host = ndis::NdisHost::load(DriverEntry, config, chip, scheduler);
//   ASSERT_EQ(host->initialize(), NDIS_STATUS_SUCCESS);
//   auto speed = host->query(OID_GEN_LINK_SPEED, 4);
//   host->halt();
//   EXPECT_TRUE(host->leaks().empty()) << host->leaks().describe();
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "platform/ndis/adapter_config.h"
#include "platform/ndis/device.h"
#include "platform/ndis/fault_injection.h"
#include "platform/ndis/function_ref.h"
#include "platform/ndis/host_records.h"
#include "platform/ndis/ndis.h"
#include "platform/ndis/protocol_binding.h"
#include "platform/ndis/protocol_sends.h"
#include "platform/ndis/scheduler.h"
#include "platform/ndis/wiped_bytes.h"

namespace ndis {

class AdapterRuntime;

using DriverEntryFn = std::function<NDIS_STATUS(PDRIVER_OBJECT, PUNICODE_STRING)>;

inline constexpr NDIS_MEDIUM kEthernetMedium[] = {NdisMedium802_3};

class NdisHost {
public:
  // Attaches the chip to a new adapter on the scheduler and runs the driver entry; its
  // status is driverEntryStatus(). In virtual time the call returns with the entry done.
  static std::unique_ptr<NdisHost> load(DriverEntryFn entry, AdapterConfig config, ChipDevice& chip,
                                        Scheduler& scheduler);
  ~NdisHost();
  NdisHost(const NdisHost&) = delete;
  NdisHost& operator=(const NdisHost&) = delete;

  NDIS_STATUS driverEntryStatus() const { return entryStatus_; }
  bool registered() const;  // the entry registered a miniport

  // --- life --------------------------------------------------------------------------------
  NDIS_STATUS initialize(std::span<const NDIS_MEDIUM> media = kEthernetMedium);
  UINT selectedMedium() const { return selectedMedium_; }
  // Halt: the protocols first give back every received packet, then the miniport halts;
  // timers it leaves armed are disarmed and reported by leaks().
  void halt();
  // True while the miniport's halt handler runs (events it lets run meanwhile can tell).
  bool halting() const { return halting_; }
  // The card is pulled: the chip reads all ones, the miniport hears of it, then halts.
  void surpriseRemove();
  ResetResult reset(Micros timeout = std::chrono::seconds(10));
  bool checkForHang();
  void shutdown();
  bool running() const;

  // --- requests ----------------------------------------------------------------------------
  // One request at a time, as NDIS does; a pended one is waited for up to the timeout.
  OidResult query(NDIS_OID oid, std::size_t bufferLength, Micros timeout = std::chrono::seconds(10));
  // A query whose buffer holds `contents` (exactly its length) when the miniport reads it:
  // NDIS passes whatever the buffer held.
  OidResult query(NDIS_OID oid, std::span<const std::uint8_t> contents, Micros timeout = std::chrono::seconds(10));
  OidResult set(NDIS_OID oid, std::span<const std::uint8_t> data, Micros timeout = std::chrono::seconds(10));

  // --- data --------------------------------------------------------------------------------
  // Builds one packet per frame (chained buffers of at most bufferSize bytes; 0 = one
  // buffer) and hands them to the miniport in one call; returns an id per frame.
  std::vector<std::uint64_t> send(const std::vector<EthFrame>& frames, std::size_t bufferSize = 0);
  std::vector<SendCompletion> takeSendCompletions();
  // What the miniport indicated since the last take, oldest first: at most the latest 1,024
  // frames and 256 status indications, so a host that never takes them holds no more.
  std::vector<EthFrame> takeReceived();
  std::vector<StatusIndication> takeStatus();
  std::size_t statusCompleteCount() const;
  const std::vector<SpuriousCompletion>& spurious() const;
  void setReturnPolicy(ReturnPolicy policy);
  std::size_t heldPackets() const;
  // Gives back up to `count` held packets, oldest first (ReturnPolicy::manual()).
  void returnHeldPackets(std::size_t count = static_cast<std::size_t>(-1));

  // --- a bound protocol (protocol_binding.h) --------------------------------------------------
  // Binds `protocol` (null unbinds): received frames go to it instead of takeReceived(), and
  // it sends through protocolSends(), made at the first bind with `slots` frames of at most
  // `slotBytes` and kept as long as the host. Sending this way allocates nothing.
  void bindProtocol(ProtocolBinding* protocol, std::size_t slots, std::size_t slotBytes);
  ProtocolSends& protocolSends() { return *protocolSends_; }
  // Hands the miniport the frames committed to protocolSends() in one call, and empties its batch.
  void sendProtocolBatch();

  // --- control device and events --------------------------------------------------------------
  struct DeviceReply {
    NTSTATUS status = STATUS_UNSUCCESSFUL;
    std::vector<std::uint8_t> output;  // IoStatus.Information bytes of the system buffer
  };
  using DeviceHandle = int;
  // Opens the device by its symbolic link ("\DosDevices\Name" or just "Name").
  std::optional<DeviceHandle> openDevice(std::u16string_view link, NTSTATUS* status = nullptr);
  NTSTATUS closeDevice(DeviceHandle handle);
  DeviceReply deviceIoControl(DeviceHandle handle, ULONG code, std::span<const std::uint8_t> input,
                              std::size_t outputLength, Micros timeout = std::chrono::seconds(10));
  // The same from inside an event of the executor (a request that came from a socket), run in
  // place at PASSIVE (the driver may wait in it, as NdisMSleep lets everything due run
  // meanwhile); a request the driver pends answers STATUS_PENDING and stays with the host.
  // IRP_MJ_CLOSE ends the handle.
  std::optional<DeviceHandle> openDeviceHere(std::u16string_view link);
  DeviceReply deviceRequestHere(DeviceHandle handle, UCHAR major, ULONG code, std::span<const std::uint8_t> input,
                                std::size_t outputLength);
  // The symbolic links of the registered devices ("\DosDevices\Name").
  std::vector<std::u16string> deviceLinks() const;
  // An event object as user mode would create one; the driver references it by handle.
  HANDLE createEvent();
  const KEVENT* event(HANDLE handle);

  // --- inspection ---------------------------------------------------------------------------
  LeakReport leaks() const;
  const std::vector<std::string>& violations() const;
  void setFailureRule(FailureRule rule);
  const AdapterAttributes& attributes() const;
  const MapRegisterGrant& mapRegisters() const;
  std::size_t unclaimedInterrupts() const;
  NDIS_HANDLE miniportContext() const;
  Scheduler& scheduler() { return scheduler_; }
  AdapterRuntime& runtime() { return *runtime_; }

private:
  NdisHost(AdapterConfig config, ChipDevice& chip, Scheduler& scheduler);
  // Runs the work as one event of the executor, now, and returns when it has run.
  void runNow(EventKind kind, KIRQL irql, const char* what, FunctionRef<void()> work);
  OidResult request(bool isSet, NDIS_OID oid, std::span<const std::uint8_t> data, std::size_t bufferLength,
                    Micros timeout);
  struct PreparedIrp {
    std::unique_ptr<IRP> irp;
    WipedBuffer buffer;  // the system buffer: a request may carry a key record
    PDEVICE_OBJECT device = nullptr;
    PDRIVER_DISPATCH routine = nullptr;
    UCHAR major = 0;
    std::size_t outputLength = 0;
  };
  std::unique_ptr<PreparedIrp> prepare(DeviceHandle handle, UCHAR major, ULONG code,
                                       std::span<const std::uint8_t> input, std::size_t outputLength);
  DeviceReply finish(PreparedIrp& prepared);
  void keepAbandoned(PreparedIrp& prepared);
  DeviceReply dispatch(DeviceHandle handle, UCHAR major, ULONG code, std::span<const std::uint8_t> input,
                       std::size_t outputLength, Micros timeout);
  void scheduleCheckForHang();

  Scheduler& scheduler_;
  std::unique_ptr<AdapterRuntime> runtime_;
  NDIS_STATUS entryStatus_ = NDIS_STATUS_FAILURE;
  bool halting_ = false;
  UINT selectedMedium_ = 0;
  std::uint64_t nextSendId_ = 1;
  void* hostPacketPool_ = nullptr;
  void* hostBufferPool_ = nullptr;
  EventId hangCheck_;

  // A request's out-parameters must outlive a pended request.
  struct RequestSlot {
    std::vector<std::uint8_t> buffer;
    ULONG done = 0;
    ULONG needed = 0;
  };
  std::unique_ptr<RequestSlot> request_;
  std::vector<std::unique_ptr<RequestSlot>> abandonedRequests_;

  struct OpenDevice {
    void* device;
  };
  std::map<DeviceHandle, OpenDevice> openDevices_;
  DeviceHandle nextDeviceHandle_ = 1;
  std::vector<std::unique_ptr<IRP>> abandonedIrps_;
  std::vector<WipedBuffer> abandonedBuffers_;
  std::unique_ptr<ProtocolSends> protocolSends_;
};

}  // namespace ndis
