#pragma once
// Whether a device-change notification is about one of our adapters: its interface name (or
// hardware key), upper-cased, holds one of the adapters' hardware ids.
#include <string_view>

namespace zelcon {

bool IsOurAdapter(std::string_view deviceName);

}  // namespace zelcon
