#pragma once
// Until the shell's OS layer is here: the OS services the chip layer uses, straight over the
// runtime's NDIS calls, for the chip layer's tests.
#include <cstdint>

#include "platform/ndis/ndis.h"

struct OsLayer {
  NDIS_HANDLE adapter = nullptr;
  NDIS_HANDLE configuration = nullptr;
};

struct AdapterResourceRecord {
  std::uint16_t vendor = 0;
  std::uint16_t device = 0;
  unsigned windows = 0;
  PVOID window[2] = {};
  NDIS_MINIPORT_INTERRUPT interrupt{};
  bool interruptRegistered = false;
};

struct OsTimerRecord {
  NDIS_MINIPORT_TIMER timer{};
  void (*callback)(void*) = nullptr;
  void* context = nullptr;
};
