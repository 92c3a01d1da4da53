// The adapter's bookkeeping of what a miniport holds: packet and buffer pools, mapped
// windows, configuration sessions, control devices and event objects.
#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "platform/ndis/adapter_runtime.h"
#include "platform/ndis/register_routing.h"

namespace ndis {
namespace {

constexpr std::uint32_t kPacketPoolMagic = 0x50504F4C;   // "PPOL"
constexpr std::uint32_t kBufferPoolMagic = 0x42504F4C;   // "BPOL"
constexpr std::uint32_t kSessionMagic = 0x43464753;      // "CFGS"
constexpr std::uint32_t kDeviceMagic = 0x44455649;       // "DEVI"

// Descriptors made when a pool is made; a pool asked for more grows as they are used.
constexpr std::size_t kMostPrepared = 1024;

std::size_t PacketBytes(const AdapterRuntime::PacketPool& pool) {
  const std::size_t reserved = pool.protocolReservedLength == 0 ? 1 : pool.protocolReservedLength;
  return offsetof(NDIS_PACKET, ProtocolReserved) + reserved;
}

}  // namespace

// --- packets and buffers --------------------------------------------------------------------

AdapterRuntime::PacketPool* AdapterRuntime::createPacketPool(UINT limit, UINT protocolReservedLength,
                                                             bool hostOwned, std::size_t prepared) {
  auto pool = std::make_unique<PacketPool>();
  pool->magic = kPacketPoolMagic;
  pool->adapter = this;
  pool->limit = limit;
  pool->protocolReservedLength = protocolReservedLength;
  pool->hostOwned = hostOwned;
  for (std::size_t i = 0; i < std::min(prepared, kMostPrepared); ++i) {
    auto* packet = static_cast<NDIS_PACKET*>(std::calloc(1, PacketBytes(*pool)));
    if (packet == nullptr) break;
    pool->made.push_back(packet);
    pool->spare.push_back(packet);
  }
  PacketPool* raw = pool.get();
  packetPools_.emplace(raw, std::move(pool));
  return raw;
}

void AdapterRuntime::destroyPacketPool(PacketPool* pool) {
  if (pool->live != 0) violation("NdisFreePacketPool with " + std::to_string(pool->live) + " packets not freed");
  for (NDIS_PACKET* packet : pool->made) std::free(packet);
  pool->magic = 0;
  packetPools_.erase(pool);
}

NDIS_PACKET* AdapterRuntime::allocatePacket(PacketPool& pool) {
  if (pool.live >= pool.limit) return nullptr;
  NDIS_PACKET* packet;
  if (!pool.spare.empty()) {
    packet = pool.spare.back();
    pool.spare.pop_back();
    std::memset(packet, 0, PacketBytes(pool));
  } else {
    packet = static_cast<NDIS_PACKET*>(std::calloc(1, PacketBytes(pool)));
    if (packet == nullptr) return nullptr;
    pool.made.push_back(packet);
    pool.spare.reserve(pool.made.size());  // freeing never allocates
  }
  packet->Private.Pool = &pool;
  ++pool.live;
  return packet;
}

void AdapterRuntime::freePacket(NDIS_PACKET* packet, const char* call) {
  PacketPool* pool = packet != nullptr ? packetPoolOf(packet->Private.Pool) : nullptr;
  if (pool == nullptr || pool->adapter != this || !pool->holds(packet)) {
    violation(std::string(call) + " on a packet that is not allocated");
    return;
  }
  for (NDIS_PACKET* held : indications_.held) {
    if (held == packet) {
      violation(std::string(call) + " on a packet that the protocols still hold");
      return;
    }
  }
  packet->Private.Pool = nullptr;
  --pool->live;
  pool->spare.push_back(packet);
}

AdapterRuntime::BufferPool* AdapterRuntime::createBufferPool(bool hostOwned, std::size_t prepared) {
  auto pool = std::make_unique<BufferPool>();
  pool->magic = kBufferPoolMagic;
  pool->adapter = this;
  pool->hostOwned = hostOwned;
  for (std::size_t i = 0; i < std::min(prepared, kMostPrepared); ++i) {
    pool->made.push_back(std::make_unique<NDIS_BUFFER>());
    pool->spare.push_back(pool->made.back().get());
  }
  BufferPool* raw = pool.get();
  bufferPools_.emplace(raw, std::move(pool));
  return raw;
}

void AdapterRuntime::destroyBufferPool(BufferPool* pool) {
  if (pool->live != 0) violation("NdisFreeBufferPool with " + std::to_string(pool->live) + " buffers not freed");
  pool->magic = 0;
  bufferPools_.erase(pool);
}

NDIS_BUFFER* AdapterRuntime::allocateBuffer(BufferPool& pool, void* data, UINT length) {
  NDIS_BUFFER* buffer;
  if (!pool.spare.empty()) {
    buffer = pool.spare.back();
    pool.spare.pop_back();
  } else {
    pool.made.push_back(std::make_unique<NDIS_BUFFER>());
    pool.spare.reserve(pool.made.size());  // freeing never allocates
    buffer = pool.made.back().get();
  }
  *buffer = NDIS_BUFFER{nullptr, data, length, &pool};
  ++pool.live;
  return buffer;
}

void AdapterRuntime::freeBuffer(NDIS_BUFFER* buffer, const char* call) {
  BufferPool* pool = buffer != nullptr ? bufferPoolOf(buffer->Pool) : nullptr;
  if (pool == nullptr || pool->adapter != this) {
    violation(std::string(call) + " on a buffer that is not allocated");
    return;
  }
  buffer->Pool = nullptr;  // freed: no longer names its pool
  --pool->live;
  pool->spare.push_back(buffer);
}

AdapterRuntime::PacketPool* AdapterRuntime::packetPoolOf(NDIS_HANDLE handle) {
  auto* pool = static_cast<PacketPool*>(handle);
  return pool != nullptr && pool->magic == kPacketPoolMagic ? pool : nullptr;
}

AdapterRuntime::BufferPool* AdapterRuntime::bufferPoolOf(NDIS_HANDLE handle) {
  auto* pool = static_cast<BufferPool*>(handle);
  return pool != nullptr && pool->magic == kBufferPoolMagic ? pool : nullptr;
}

// --- resources and windows ------------------------------------------------------------------

std::vector<CM_PARTIAL_RESOURCE_DESCRIPTOR> AdapterRuntime::resourceDescriptors() const {
  const DeviceResources resources = chip_.resources();
  std::vector<CM_PARTIAL_RESOURCE_DESCRIPTOR> list;
  CM_PARTIAL_RESOURCE_DESCRIPTOR interrupt{};
  interrupt.Type = CmResourceTypeInterrupt;
  interrupt.ShareDisposition = CmResourceShareShared;
  interrupt.Flags = CM_RESOURCE_INTERRUPT_LEVEL_SENSITIVE;
  interrupt.u.Interrupt.Level = resources.interruptLevel;
  interrupt.u.Interrupt.Vector = resources.interruptVector;
  interrupt.u.Interrupt.Affinity = 1;
  list.push_back(interrupt);
  if (config_.resourcesInterruptOnly) return list;
  for (const MemoryWindow& window : resources.windows) {
    CM_PARTIAL_RESOURCE_DESCRIPTOR memory{};
    memory.Type = CmResourceTypeMemory;
    memory.u.Memory.Start.QuadPart = window.physicalBase;
    memory.u.Memory.Length = window.length;
    list.push_back(memory);
  }
  return list;
}

NDIS_STATUS AdapterRuntime::mapIoSpace(PVOID* virtualAddress, std::uint64_t physical, UINT length) {
  const DeviceResources resources = chip_.resources();
  for (unsigned i = 0; i < resources.windows.size(); ++i) {
    const MemoryWindow& window = resources.windows[i];
    if (physical < window.physicalBase || physical + length > std::uint64_t{window.physicalBase} + window.length) {
      continue;
    }
    if (refuse(RequestKind::MapIoSpace, length)) return NDIS_STATUS_RESOURCES;
    const auto offset = static_cast<std::uint32_t>(physical - window.physicalBase);
    void* range = ReserveRegisterWindow(*this, i, offset, length);
    if (range == nullptr) return NDIS_STATUS_RESOURCES;
    mappedWindows_.push_back(MappedWindow{reinterpret_cast<std::uintptr_t>(range), length, i, offset});
    *virtualAddress = range;
    return NDIS_STATUS_SUCCESS;
  }
  return NDIS_STATUS_FAILURE;
}

void AdapterRuntime::unmapIoSpace(PVOID virtualAddress, UINT length) {
  const auto start = reinterpret_cast<std::uintptr_t>(virtualAddress);
  for (auto it = mappedWindows_.begin(); it != mappedWindows_.end(); ++it) {
    if (it->start != start) continue;
    if (it->length != length) violation("NdisMUnmapIoSpace with a length other than the mapping's");
    ReleaseRegisterWindow(it->start, it->length);
    mappedWindows_.erase(it);
    return;
  }
  violation("NdisMUnmapIoSpace of an address that is not mapped");
}

std::uint32_t AdapterRuntime::readRegister(unsigned window, std::uint32_t offset, AccessWidth width) {
  return chip_.readRegister(window, offset, width);
}

void AdapterRuntime::writeRegister(unsigned window, std::uint32_t offset, AccessWidth width, std::uint32_t value) {
  chip_.writeRegister(window, offset, width, value);
}

// --- configuration --------------------------------------------------------------------------

AdapterRuntime::ConfigurationSession* AdapterRuntime::openConfiguration() {
  if (refuse(RequestKind::Configuration)) return nullptr;
  auto session = std::make_unique<ConfigurationSession>();
  session->magic = kSessionMagic;
  session->adapter = this;
  configurations_.push_back(std::move(session));
  return configurations_.back().get();
}

void AdapterRuntime::closeConfiguration(ConfigurationSession* session) {
  for (auto it = configurations_.begin(); it != configurations_.end(); ++it) {
    if (it->get() == session) {
      session->magic = 0;
      configurations_.erase(it);
      return;
    }
  }
  violation("NdisCloseConfiguration of a configuration that is not open");
}

AdapterRuntime::ConfigurationSession* AdapterRuntime::configurationSessionOf(NDIS_HANDLE handle,
                                                                             const char* call) {
  auto* session = static_cast<ConfigurationSession*>(handle);
  if (session == nullptr || session->magic != kSessionMagic) {
    FatalFault(std::string(call) + ": not an open configuration handle");
  }
  return session;
}

// --- control devices and events -------------------------------------------------------------

AdapterRuntime::Device* AdapterRuntime::registerDevice(std::u16string name, std::u16string link,
                                                       PDRIVER_DISPATCH dispatch[]) {
  for (const auto& device : devices_) {
    if (device->name == name || device->link == link) return nullptr;
  }
  if (refuse(RequestKind::Device)) return nullptr;
  auto device = std::make_unique<Device>();
  device->magic = kDeviceMagic;
  device->adapter = this;
  device->object = DEVICE_OBJECT{3, sizeof(DEVICE_OBJECT), DO_DEVICE_INITIALIZING, &driverObject_, nullptr};
  device->name = std::move(name);
  device->link = std::move(link);
  for (int i = 0; i <= IRP_MJ_MAXIMUM_FUNCTION; ++i) device->dispatch[i] = dispatch != nullptr ? dispatch[i] : nullptr;
  devices_.push_back(std::move(device));
  return devices_.back().get();
}

bool AdapterRuntime::deregisterDevice(NDIS_HANDLE handle) {
  for (auto it = devices_.begin(); it != devices_.end(); ++it) {
    if (it->get() == handle) {
      (*it)->magic = 0;
      devices_.erase(it);
      return true;
    }
  }
  return false;
}

bool AdapterRuntime::hasDevice(const Device* device) const {
  for (const auto& registered : devices_) {
    if (registered.get() == device) return true;
  }
  return false;
}

AdapterRuntime::Device* AdapterRuntime::findDevice(std::u16string_view link) {
  for (const auto& device : devices_) {
    std::u16string_view full = device->link;
    const auto slash = full.rfind(u'\\');
    const std::u16string_view last = slash == std::u16string_view::npos ? full : full.substr(slash + 1);
    if (full == link || last == link) return device.get();
  }
  return nullptr;
}

std::vector<std::u16string> AdapterRuntime::deviceLinks() const {
  std::vector<std::u16string> links;
  for (const auto& device : devices_) links.push_back(device->link);
  return links;
}

KEVENT* AdapterRuntime::createEvent(HANDLE* handle) {
  // Handles are never reused while an object holds one (the driver sees them as 32-bit words).
  do {
    lastEventHandle_ = lastEventHandle_ >= 0xFFFFFFF0u ? 0x104 : lastEventHandle_ + 4;
  } while (events_.contains(lastEventHandle_));
  auto event = std::make_unique<KEVENT>(KEVENT{kEventMagic, 0, 0, 0, -1});
  KEVENT* raw = event.get();
  events_.emplace(lastEventHandle_, std::move(event));
  *handle = reinterpret_cast<HANDLE>(lastEventHandle_);
  return raw;
}

KEVENT* AdapterRuntime::eventOf(HANDLE handle) {
  auto found = events_.find(reinterpret_cast<std::uintptr_t>(handle));
  return found == events_.end() ? nullptr : found->second.get();
}

void AdapterRuntime::closeEvent(HANDLE handle) {
  auto found = events_.find(reinterpret_cast<std::uintptr_t>(handle));
  if (found == events_.end()) return;
  std::unique_ptr<KEVENT> event = std::move(found->second);
  events_.erase(found);
  event->NotifyFd = -1;  // the descriptor belongs to whoever closed the handle
  if (event->References > 0) closedEvents_.emplace(event.get(), std::move(event));
}

void AdapterRuntime::releaseEventReference(KEVENT* event) {
  --event->References;
  if (event->References == 0) closedEvents_.erase(event);
}

std::size_t AdapterRuntime::eventReferences() const {
  std::size_t references = 0;
  for (const auto& [handle, event] : events_) references += event->References;
  for (const auto& [object, event] : closedEvents_) references += event->References;
  return references;
}

}  // namespace ndis
