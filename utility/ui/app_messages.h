#pragma once
// Codes of the application messages the main sheet receives (the first message parameter).
// The adapter-control library's own codes are in hosts/adapterctl/zelcon_records.h.
#include <cstdint>

enum ZelconAppMessage : uint32_t {
  APPMSG_PROFILES_CHANGED = 1001,  // the adapter was opened
  APPMSG_SECOND_INSTANCE = 1002,   // a second start brought this instance forward
  APPMSG_STATUS_TEXT = 1003,       // worker -> Main page, with a text
  APPMSG_REFRESH_STATUS = 1004,    // worker -> Main page
  APPMSG_RUN_AUTO_LINK = 1007,     // worker -> sheet
  // The sheet's own: a tray state set from another thread, shown by the GUI thread.
  APPMSG_SET_TRAY_STATE = 1013,
  // A problem with Data.cfg met on another thread, with its text; the GUI thread shows it.
  APPMSG_PROFILE_FILE_PROBLEM = 1014,
};

// Auto Link outcomes handed to the worker with the command event.
enum AutoLinkCommand : uint32_t {
  AUTOLINK_CONNECTED = 1009,
  AUTOLINK_NOTHING = 1010,
  AUTOLINK_PROFILE_READY = 1011,
};

// Command ids of the main sheet: its buttons, the radio check box and the tray menu.
enum ZelconCommand : int {
  IDC_RADIO_OFF = 1252,
  ID_TRAY_RADIO = 32772,  // also the hot key's id
  ID_TRAY_RESTORE = 32778,
  ID_TRAY_EXIT = 32781,
};
