#include "platform/ndis/register_routing.h"

#include <sys/mman.h>

#include <map>
#include <mutex>

namespace ndis {
namespace {

struct Mapping {
  AdapterRuntime* adapter;
  unsigned window;
  std::uint32_t offsetInWindow;
  std::size_t length;
};

std::mutex g_mutex;
std::map<std::uintptr_t, Mapping>& Mappings() {
  static std::map<std::uintptr_t, Mapping> mappings;
  return mappings;
}

}  // namespace

void* ReserveRegisterWindow(AdapterRuntime& adapter, unsigned window, std::uint32_t offsetInWindow,
                            std::size_t length) {
  void* range = mmap(nullptr, length == 0 ? 1 : length, PROT_NONE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (range == MAP_FAILED) return nullptr;
  std::lock_guard lock(g_mutex);
  Mappings().emplace(reinterpret_cast<std::uintptr_t>(range), Mapping{&adapter, window, offsetInWindow, length});
  return range;
}

void ReleaseRegisterWindow(std::uintptr_t start, std::size_t length) {
  {
    std::lock_guard lock(g_mutex);
    Mappings().erase(start);
  }
  munmap(reinterpret_cast<void*>(start), length == 0 ? 1 : length);
}

std::optional<RegisterTarget> FindRegister(const volatile void* address) {
  const auto at = reinterpret_cast<std::uintptr_t>(address);
  std::lock_guard lock(g_mutex);
  auto& mappings = Mappings();
  auto after = mappings.upper_bound(at);
  if (after == mappings.begin()) return std::nullopt;
  const auto& [start, mapping] = *std::prev(after);
  if (at - start >= mapping.length) return std::nullopt;
  return RegisterTarget{mapping.adapter, mapping.window,
                        mapping.offsetInWindow + static_cast<std::uint32_t>(at - start),
                        mapping.length - (at - start)};
}

}  // namespace ndis
