#pragma once
// Who manages the adapter on a system with Zero Configuration: bit 15 of "ControlFlags" of
// the adapter's interface key set means the service does. Everything goes through the
// adapter-control library (the adapter's instance id, the registry).
#include <cstdint>

#include "hosts/adapterctl/adapter_control.h"

namespace zelcon {

inline constexpr uint32_t kZeroConfigOwnsBit = 0x8000;

// Sets (enable non-zero) or clears the bit, keeping every other bit. The value is written
// back only when it was read or does not exist yet, never after a failed read.
void SetZeroConfigFlag(IAdapterControl& lib, int enable);

// Reads the bit; false when the adapter's instance id could not be had. A value that cannot
// be read counts as set. Without an open `adapter` one is opened for the look-up.
bool QueryZeroConfigFlag(IAdapterControl& lib, void* adapter, bool& owns);

}  // namespace zelcon
