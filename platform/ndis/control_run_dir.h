#pragma once
// Where the driver host serves its control devices, as both the host and its clients find it:
// ZELNIC_RUN_DIR; else, for a user other than root with XDG_RUNTIME_DIR,
// $XDG_RUNTIME_DIR/zelnic (/run is root's); else /run/zelnic.
#include <string>

namespace ndis {

struct ControlRunDir {
  std::string path;
  std::string why;  // non-empty when the choice is worth saying (not asked for, not the default)
};

ControlRunDir ChooseControlRunDir();

}  // namespace ndis
