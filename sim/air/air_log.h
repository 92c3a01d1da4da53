#pragma once
// Where the air tells what its peers did that a frame on the air does not show (a report an
// access point read, keys a reassociation brought): one line at a time, no secrets. zelnicd
// prints the lines; an empty function drops them.
#include <functional>
#include <string>

namespace simair {

using AirLog = std::function<void(const std::string& line)>;

}  // namespace simair
