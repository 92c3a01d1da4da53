// Register access: routed through the mapped window to the adapter's chip.
#include "platform/ndis/hal.h"

#include <cstdio>

#include "platform/ndis/adapter_runtime.h"
#include "platform/ndis/register_routing.h"

namespace ndis {
namespace {

RegisterTarget Route(const volatile void* address, const char* call) {
  auto target = FindRegister(address);
  if (!target) {
    char text[96];
    std::snprintf(text, sizeof text, "%s at %p, outside every mapped register window", call,
                  const_cast<const void*>(address));
    FatalFault(text);
  }
  return *target;
}

std::uint32_t Read(const volatile void* address, AccessWidth width, const char* call) {
  const RegisterTarget target = Route(address, call);
  if (target.room < static_cast<std::size_t>(width)) {
    target.adapter->violation(std::string(call) + " runs past the end of its mapped window");
    return 0xFFFFFFFFu;
  }
  return target.adapter->readRegister(target.window, target.offset, width);
}

void Write(const volatile void* address, AccessWidth width, std::uint32_t value, const char* call) {
  const RegisterTarget target = Route(address, call);
  if (target.room < static_cast<std::size_t>(width)) {
    target.adapter->violation(std::string(call) + " runs past the end of its mapped window");
    return;
  }
  target.adapter->writeRegister(target.window, target.offset, width, value);
}

}  // namespace
}  // namespace ndis

using ndis::AccessWidth;

UCHAR READ_REGISTER_UCHAR(volatile UCHAR* reg) {
  return static_cast<UCHAR>(ndis::Read(reg, AccessWidth::U8, "READ_REGISTER_UCHAR"));
}
USHORT READ_REGISTER_USHORT(volatile USHORT* reg) {
  return static_cast<USHORT>(ndis::Read(reg, AccessWidth::U16, "READ_REGISTER_USHORT"));
}
ULONG READ_REGISTER_ULONG(volatile ULONG* reg) { return ndis::Read(reg, AccessWidth::U32, "READ_REGISTER_ULONG"); }
void WRITE_REGISTER_UCHAR(volatile UCHAR* reg, UCHAR value) {
  ndis::Write(reg, AccessWidth::U8, value, "WRITE_REGISTER_UCHAR");
}
void WRITE_REGISTER_USHORT(volatile USHORT* reg, USHORT value) {
  ndis::Write(reg, AccessWidth::U16, value, "WRITE_REGISTER_USHORT");
}
void WRITE_REGISTER_ULONG(volatile ULONG* reg, ULONG value) {
  ndis::Write(reg, AccessWidth::U32, value, "WRITE_REGISTER_ULONG");
}
