#include "platform/ndis/host.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

#include "platform/ndis/adapter_runtime.h"

namespace ndis {

NdisHost::NdisHost(AdapterConfig config, ChipDevice& chip, Scheduler& scheduler)
    : scheduler_(scheduler), runtime_(std::make_unique<AdapterRuntime>(scheduler, chip, std::move(config))) {
  hostPacketPool_ = runtime_->createPacketPool(0xFFFFFFFFu, 16, true);
  hostBufferPool_ = runtime_->createBufferPool(true);
}

NdisHost::~NdisHost() = default;

std::unique_ptr<NdisHost> NdisHost::load(DriverEntryFn entry, AdapterConfig config, ChipDevice& chip,
                                         Scheduler& scheduler) {
  std::unique_ptr<NdisHost> host(new NdisHost(std::move(config), chip, scheduler));
  NdisHost& h = *host;
  h.runNow(EventKind::Passive, PASSIVE_LEVEL, "driver entry", [&] {
    h.entryStatus_ = entry(h.runtime_->driverObject(), h.runtime_->registryPath());
  });
  return host;
}

bool NdisHost::registered() const { return runtime_->wrapper().registered; }
bool NdisHost::running() const { return runtime_->running(); }

void NdisHost::runNow(EventKind kind, KIRQL irql, const char* what, FunctionRef<void()> work) {
  bool done = false;
  runtime_->queueDriverEvent(Micros(0), kind, irql, what, [&] {
    work();
    done = true;
  });
  scheduler_.runUntil([&] { return done; }, Micros(0));
  if (!done) throw std::logic_error(std::string("the executor did not run ") + what);
}

NDIS_STATUS NdisHost::initialize(std::span<const NDIS_MEDIUM> media) {
  if (!registered()) throw std::logic_error("initialize: no miniport is registered");
  std::vector<NDIS_MEDIUM> array(media.begin(), media.end());
  NDIS_STATUS status = NDIS_STATUS_FAILURE;
  runNow(EventKind::Passive, PASSIVE_LEVEL, "initialize", [&] {
    NDIS_STATUS openError = NDIS_STATUS_SUCCESS;
    status = runtime_->handlers().InitializeHandler(&openError, &selectedMedium_, array.data(),
                                                    static_cast<UINT>(array.size()), runtime_->miniportHandle(),
                                                    runtime_->configurationContext());
  });
  if (status == NDIS_STATUS_SUCCESS) {
    runtime_->setRunning(true);
    scheduleCheckForHang();
  }
  return status;
}

void NdisHost::scheduleCheckForHang() {
  if (!runtime_->config().checkForHang || runtime_->handlers().CheckForHangHandler == nullptr) return;
  const UINT seconds = runtime_->attributes().checkForHangSeconds != 0 ? runtime_->attributes().checkForHangSeconds : 2;
  hangCheck_ = runtime_->queue(std::chrono::seconds(seconds), EventKind::Request, "check for hang", [this] {
    if (!runtime_->running()) return;
    checkForHang();
    scheduleCheckForHang();
  });
}

bool NdisHost::checkForHang() {
  BOOLEAN hung = FALSE;
  runNow(EventKind::Request, DISPATCH_LEVEL, "check for hang",
         [&] { hung = runtime_->handlers().CheckForHangHandler(runtime_->miniportContext()); });
  if (hung) reset();
  return hung != FALSE;
}

void NdisHost::halt() {
  if (!runtime_->running()) throw std::logic_error("halt: the adapter is not running");
  returnHeldPackets();
  scheduler_.cancel(hangCheck_);
  runNow(EventKind::Passive, PASSIVE_LEVEL, "halt", [&] {
    halting_ = true;
    runtime_->handlers().HaltHandler(runtime_->miniportContext());
    halting_ = false;
  });
  runtime_->setRunning(false);
  runtime_->cancelAllTimers();
}

void NdisHost::surpriseRemove() {
  runtime_->chip().surpriseRemoved();
  if (auto notify = runtime_->handlers().PnPEventNotifyHandler) {
    runNow(EventKind::Passive, PASSIVE_LEVEL, "surprise removal",
           [&] { notify(runtime_->miniportContext(), NdisDevicePnPEventSurpriseRemoved, nullptr, 0); });
  }
  if (runtime_->running()) halt();
}

void NdisHost::shutdown() {
  if (auto handler = runtime_->handlers().AdapterShutdownHandler) {
    runNow(EventKind::Passive, PASSIVE_LEVEL, "shutdown", [&] { handler(runtime_->miniportContext()); });
  }
}

ResetResult NdisHost::reset(Micros timeout) {
  auto& in = runtime_->indications();
  if (in.pending != AdapterRuntime::PendingRequest::None) throw std::logic_error("reset: a request is outstanding");
  ResetResult result;
  BOOLEAN addressing = FALSE;
  runNow(EventKind::Request, DISPATCH_LEVEL, "reset",
         [&] { result.status = runtime_->handlers().ResetHandler(&addressing, runtime_->miniportContext()); });
  result.addressingReset = addressing != FALSE;
  if (result.status != NDIS_STATUS_PENDING) return result;
  in.pending = AdapterRuntime::PendingRequest::Reset;
  in.requestCompleted = false;
  const bool completed = scheduler_.runUntil([&] { return in.requestCompleted; }, timeout);
  in.pending = AdapterRuntime::PendingRequest::None;
  if (!completed) {
    result.timedOut = true;
    return result;
  }
  result.status = in.requestStatus;
  result.addressingReset = in.resetAddressing;
  return result;
}

OidResult NdisHost::query(NDIS_OID oid, std::size_t bufferLength, Micros timeout) {
  return request(false, oid, {}, bufferLength, timeout);
}

OidResult NdisHost::query(NDIS_OID oid, std::span<const std::uint8_t> contents, Micros timeout) {
  return request(false, oid, contents, contents.size(), timeout);
}

OidResult NdisHost::set(NDIS_OID oid, std::span<const std::uint8_t> data, Micros timeout) {
  return request(true, oid, data, data.size(), timeout);
}

OidResult NdisHost::request(bool isSet, NDIS_OID oid, std::span<const std::uint8_t> data, std::size_t bufferLength,
                            Micros timeout) {
  auto& in = runtime_->indications();
  if (in.pending != AdapterRuntime::PendingRequest::None) {
    throw std::logic_error("a request is still outstanding (NDIS sends one at a time)");
  }
  request_ = std::make_unique<RequestSlot>();
  RequestSlot& slot = *request_;
  slot.buffer.assign(data.begin(), data.end());
  slot.buffer.resize(bufferLength);
  OidResult result;
  const auto& h = runtime_->handlers();
  runNow(EventKind::Request, DISPATCH_LEVEL, isSet ? "set information" : "query information", [&] {
    PVOID buffer = slot.buffer.empty() ? nullptr : slot.buffer.data();
    const auto length = static_cast<ULONG>(slot.buffer.size());
    result.status = isSet ? h.SetInformationHandler(runtime_->miniportContext(), oid, buffer, length, &slot.done,
                                                    &slot.needed)
                          : h.QueryInformationHandler(runtime_->miniportContext(), oid, buffer, length, &slot.done,
                                                      &slot.needed);
  });
  if (result.status == NDIS_STATUS_PENDING) {
    result.pended = true;
    in.pending = isSet ? AdapterRuntime::PendingRequest::Set : AdapterRuntime::PendingRequest::Query;
    in.requestCompleted = false;
    const bool completed = scheduler_.runUntil([&] { return in.requestCompleted; }, timeout);
    in.pending = AdapterRuntime::PendingRequest::None;
    if (!completed) {
      // The miniport may still write the counters: keep them alive with the host.
      result.timedOut = true;
      abandonedRequests_.push_back(std::move(request_));
      return result;
    }
    result.status = in.requestStatus;
  }
  result.bytesDone = slot.done;
  result.bytesNeeded = slot.needed;
  if (!isSet) result.data = slot.buffer;
  return result;
}

std::vector<std::uint64_t> NdisHost::send(const std::vector<EthFrame>& frames, std::size_t bufferSize) {
  auto& pool = *AdapterRuntime::packetPoolOf(hostPacketPool_);
  auto& buffers = *AdapterRuntime::bufferPoolOf(hostBufferPool_);
  auto& in = runtime_->indications();
  std::vector<std::uint64_t> ids;
  std::vector<NDIS_PACKET*> packets;
  for (const EthFrame& frame : frames) {
    NDIS_PACKET* packet = runtime_->allocatePacket(pool);
    AdapterRuntime::HostSend& record = in.hostSends[packet];
    record.id = nextSendId_++;
    record.bytes = frame;
    const std::size_t chunk = bufferSize == 0 ? std::max<std::size_t>(record.bytes.size(), 1) : bufferSize;
    for (std::size_t offset = 0; offset < record.bytes.size(); offset += chunk) {
      const auto length = static_cast<UINT>(std::min(chunk, record.bytes.size() - offset));
      NdisChainBufferAtBack(packet, runtime_->allocateBuffer(buffers, record.bytes.data() + offset, length));
    }
    NDIS_SET_PACKET_STATUS(packet, NDIS_STATUS_SUCCESS);
    ids.push_back(record.id);
    packets.push_back(packet);
  }
  const auto& h = runtime_->handlers();
  runNow(EventKind::Send, DISPATCH_LEVEL, "send packets", [&] {
    if (h.SendPacketsHandler != nullptr) {
      h.SendPacketsHandler(runtime_->miniportContext(), packets.data(), static_cast<UINT>(packets.size()));
      return;
    }
    for (NDIS_PACKET* packet : packets) {
      const NDIS_STATUS status = h.SendHandler(runtime_->miniportContext(), packet, 0);
      if (status != NDIS_STATUS_PENDING) runtime_->sendComplete(packet, status);
    }
  });
  return ids;
}

void NdisHost::bindProtocol(ProtocolBinding* protocol, std::size_t slots, std::size_t slotBytes) {
  if (protocol != nullptr && !protocolSends_) protocolSends_ = std::make_unique<ProtocolSends>(*runtime_, slots, slotBytes);
  runtime_->indications().protocol = protocol;
  if (protocolSends_) protocolSends_->attach(protocol);
}

void NdisHost::sendProtocolBatch() {
  const std::span<NDIS_PACKET* const> batch = protocolSends_->batch();
  if (batch.empty()) return;
  const auto& h = runtime_->handlers();
  runNow(EventKind::Send, DISPATCH_LEVEL, "send packets", [&] {
    if (h.SendPacketsHandler != nullptr) {
      h.SendPacketsHandler(runtime_->miniportContext(), const_cast<PPNDIS_PACKET>(batch.data()),
                           static_cast<UINT>(batch.size()));
      return;
    }
    for (NDIS_PACKET* packet : batch) {
      const NDIS_STATUS status = h.SendHandler(runtime_->miniportContext(), packet, 0);
      if (status != NDIS_STATUS_PENDING) runtime_->sendComplete(packet, status);
    }
  });
  protocolSends_->clearBatch();
}

std::vector<SendCompletion> NdisHost::takeSendCompletions() {
  return std::exchange(runtime_->indications().sendCompletions, {});
}

std::vector<EthFrame> NdisHost::takeReceived() { return std::exchange(runtime_->indications().received, {}); }

std::vector<StatusIndication> NdisHost::takeStatus() { return std::exchange(runtime_->indications().status, {}); }

std::size_t NdisHost::statusCompleteCount() const { return runtime_->indications().statusCompletes; }

const std::vector<SpuriousCompletion>& NdisHost::spurious() const { return runtime_->indications().spurious; }

void NdisHost::setReturnPolicy(ReturnPolicy policy) { runtime_->indications().returnPolicy = policy; }

std::size_t NdisHost::heldPackets() const { return runtime_->indications().held.size(); }

void NdisHost::returnHeldPackets(std::size_t count) {
  auto& held = runtime_->indications().held;
  const std::vector<NDIS_PACKET*> oldest(held.begin(), held.begin() + std::min(count, held.size()));
  for (NDIS_PACKET* packet : oldest) {
    runNow(EventKind::Return, DISPATCH_LEVEL, "return packet", [&] { runtime_->returnPacket(packet); });
  }
}

// --- control device ---------------------------------------------------------------------------

std::optional<NdisHost::DeviceHandle> NdisHost::openDevice(std::u16string_view link, NTSTATUS* status) {
  AdapterRuntime::Device* device = runtime_->findDevice(link);
  if (device == nullptr) {
    if (status != nullptr) *status = STATUS_UNSUCCESSFUL;
    return std::nullopt;
  }
  const DeviceHandle handle = nextDeviceHandle_++;
  openDevices_[handle] = OpenDevice{device};
  const DeviceReply reply = dispatch(handle, IRP_MJ_CREATE, 0, {}, 0, std::chrono::seconds(10));
  if (status != nullptr) *status = reply.status;
  if (reply.status != STATUS_SUCCESS) {
    openDevices_.erase(handle);
    return std::nullopt;
  }
  return handle;
}

NTSTATUS NdisHost::closeDevice(DeviceHandle handle) {
  const DeviceReply reply = dispatch(handle, IRP_MJ_CLOSE, 0, {}, 0, std::chrono::seconds(10));
  openDevices_.erase(handle);
  return reply.status;
}

NdisHost::DeviceReply NdisHost::deviceIoControl(DeviceHandle handle, ULONG code, std::span<const std::uint8_t> input,
                                                std::size_t outputLength, Micros timeout) {
  return dispatch(handle, IRP_MJ_DEVICE_CONTROL, code, input, outputLength, timeout);
}

std::unique_ptr<NdisHost::PreparedIrp> NdisHost::prepare(DeviceHandle handle, UCHAR major, ULONG code,
                                                         std::span<const std::uint8_t> input,
                                                         std::size_t outputLength) {
  auto open = openDevices_.find(handle);
  if (open == openDevices_.end()) return nullptr;
  auto* device = static_cast<AdapterRuntime::Device*>(open->second.device);
  if (!runtime_->hasDevice(device)) return nullptr;  // deregistered under the open handle
  PDRIVER_DISPATCH routine = device->dispatch[major];
  if (routine == nullptr) return nullptr;

  auto prepared = std::make_unique<PreparedIrp>();
  prepared->device = &device->object;
  prepared->routine = routine;
  prepared->major = major;
  prepared->outputLength = outputLength;
  // Buffered I/O: one system buffer of max(in, out) bytes, input copied in.
  prepared->buffer = WipedBuffer(new std::vector<std::uint8_t>(std::max(input.size(), outputLength)));
  std::copy(input.begin(), input.end(), prepared->buffer->begin());
  prepared->irp = std::make_unique<IRP>();
  IRP& irp = *prepared->irp;
  irp.AssociatedIrp.SystemBuffer = prepared->buffer->empty() ? nullptr : prepared->buffer->data();
  irp.RequestorMode = UserMode;
  IO_STACK_LOCATION& stack = irp.CurrentStackLocation;
  stack.MajorFunction = major;
  stack.DeviceObject = &device->object;
  stack.Parameters.DeviceIoControl.InputBufferLength = static_cast<ULONG>(input.size());
  stack.Parameters.DeviceIoControl.OutputBufferLength = static_cast<ULONG>(outputLength);
  stack.Parameters.DeviceIoControl.IoControlCode = code;
  return prepared;
}

NdisHost::DeviceReply NdisHost::finish(PreparedIrp& prepared) {
  DeviceReply reply;
  reply.status = prepared.irp->IoStatus.Status;
  const std::size_t information = std::min<std::size_t>(prepared.irp->IoStatus.Information, prepared.buffer->size());
  if (prepared.major == IRP_MJ_DEVICE_CONTROL) {
    reply.output.assign(prepared.buffer->begin(),
                        prepared.buffer->begin() + std::min(information, prepared.outputLength));
  }
  return reply;
}

void NdisHost::keepAbandoned(PreparedIrp& prepared) {
  abandonedIrps_.push_back(std::move(prepared.irp));
  abandonedBuffers_.push_back(std::move(prepared.buffer));
}

NdisHost::DeviceReply NdisHost::dispatch(DeviceHandle handle, UCHAR major, ULONG code,
                                         std::span<const std::uint8_t> input, std::size_t outputLength,
                                         Micros timeout) {
  std::unique_ptr<PreparedIrp> prepared = prepare(handle, major, code, input, outputLength);
  if (prepared == nullptr) return DeviceReply{};
  IRP* irp = prepared->irp.get();
  NTSTATUS returned = STATUS_UNSUCCESSFUL;
  runNow(EventKind::Passive, PASSIVE_LEVEL, "device request",
         [&] { returned = prepared->routine(prepared->device, irp); });
  if (returned == STATUS_PENDING) {
    if (!scheduler_.runUntil([&] { return irp->Completed != FALSE; }, timeout)) {
      // The driver still owns the request: keep it alive with the host.
      keepAbandoned(*prepared);
      DeviceReply reply;
      reply.status = STATUS_PENDING;
      return reply;
    }
  } else if (!irp->Completed) {
    runtime_->violation("a device request returned without being completed");
  }
  return finish(*prepared);
}

std::optional<NdisHost::DeviceHandle> NdisHost::openDeviceHere(std::u16string_view link) {
  AdapterRuntime::Device* device = runtime_->findDevice(link);
  if (device == nullptr) return std::nullopt;
  const DeviceHandle handle = nextDeviceHandle_++;
  openDevices_[handle] = OpenDevice{device};
  if (deviceRequestHere(handle, IRP_MJ_CREATE, 0, {}, 0).status != STATUS_SUCCESS) {
    openDevices_.erase(handle);
    return std::nullopt;
  }
  return handle;
}

NdisHost::DeviceReply NdisHost::deviceRequestHere(DeviceHandle handle, UCHAR major, ULONG code,
                                                  std::span<const std::uint8_t> input, std::size_t outputLength) {
  std::unique_ptr<PreparedIrp> prepared = prepare(handle, major, code, input, outputLength);
  if (major == IRP_MJ_CLOSE) openDevices_.erase(handle);
  if (prepared == nullptr) return DeviceReply{};
  NTSTATUS returned = STATUS_UNSUCCESSFUL;
  runtime_->callDriver(PASSIVE_LEVEL, "device request",
                       [&] { returned = prepared->routine(prepared->device, prepared->irp.get()); });
  if (returned == STATUS_PENDING && !prepared->irp->Completed) {
    // Nothing waits for a pended request here: it stays with the host.
    keepAbandoned(*prepared);
    DeviceReply reply;
    reply.status = STATUS_PENDING;
    return reply;
  }
  if (!prepared->irp->Completed) runtime_->violation("a device request returned without being completed");
  return finish(*prepared);
}

std::vector<std::u16string> NdisHost::deviceLinks() const { return runtime_->deviceLinks(); }

HANDLE NdisHost::createEvent() {
  HANDLE handle = nullptr;
  runtime_->createEvent(&handle);
  return handle;
}

const KEVENT* NdisHost::event(HANDLE handle) { return runtime_->eventOf(handle); }

// --- inspection -------------------------------------------------------------------------------

LeakReport NdisHost::leaks() const { return runtime_->leaks(); }
const std::vector<std::string>& NdisHost::violations() const { return runtime_->violations(); }
void NdisHost::setFailureRule(FailureRule rule) { runtime_->setFailureRule(std::move(rule)); }
const AdapterAttributes& NdisHost::attributes() const { return runtime_->attributes(); }
const MapRegisterGrant& NdisHost::mapRegisters() const { return runtime_->mapRegisters(); }
std::size_t NdisHost::unclaimedInterrupts() const { return runtime_->unclaimedInterrupts(); }
NDIS_HANDLE NdisHost::miniportContext() const { return runtime_->miniportContext(); }

}  // namespace ndis
