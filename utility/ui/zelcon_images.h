#pragma once
// The utility's own images, drawn in code and registered with the framework by resource id:
// the link icons of the status and statistics pages (by the link's radio), the Profile
// Manager's row icons, and the header and watermark bitmaps of the "Create New Profile" wizard.

enum : int {
  IDB_WIZARD_HEADER = 131,     // 49 x 49, at the right of the wizard's header
  IDB_WIZARD_WATERMARK = 132,  // 164 x 314, down the left of its exterior page
  IDI_LINK_NONE = 136,         // 32 x 32: no link
  IDI_LINK_G = 140,            // a link in any mode but 802.11b and 802.11a
  IDI_PROFILE_IN_USE = 153,    // 16 x 16: the profile of the connection
  IDI_PROFILE_NOT_IN_USE = 154,
  IDI_LINK_B = 157,  // 802.11b
  IDI_LINK_A = 160,  // 802.11a (5 GHz)
};

// Registers every image above (once; later calls do nothing).
void RegisterZelconImages();
