#pragma once
// Where the utility keeps Data.cfg and Zelcon.ini: beside the program when its folder is
// writable; otherwise (a system-wide install) in the user's configuration folder
// $XDG_CONFIG_HOME/zelcon (by default ~/.config/zelcon), created owner-only. There, a file
// still beside the program is copied the first time, so nothing the user had is left behind.
#include <string>

namespace zelcon {

inline constexpr const char* kProfileFileName = "Data.cfg";
inline constexpr const char* kSettingsFileName = "Zelcon.ini";

// The folder to use; empty when neither is usable.
std::string SettingsDirectory(const std::string& programDirectory);

}  // namespace zelcon
