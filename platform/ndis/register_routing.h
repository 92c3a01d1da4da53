#pragma once
// Mapped register windows: each NdisMMapIoSpace gets a range of reserved, inaccessible
// addresses, and every register access on an address inside one is routed to its adapter
// as (window, offset). A stray dereference faults instead of touching memory.
#include <cstddef>
#include <cstdint>
#include <optional>

namespace ndis {

class AdapterRuntime;

struct RegisterTarget {
  AdapterRuntime* adapter;
  unsigned window;
  std::uint32_t offset;  // from the start of the window
  std::size_t room;      // bytes from the address to the end of the mapping
};

// Null when no address space is left.
void* ReserveRegisterWindow(AdapterRuntime& adapter, unsigned window, std::uint32_t offsetInWindow,
                            std::size_t length);
void ReleaseRegisterWindow(std::uintptr_t start, std::size_t length);
std::optional<RegisterTarget> FindRegister(const volatile void* address);

}  // namespace ndis
