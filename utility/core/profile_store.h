#pragma once
// The profile list's life on disk: loaded from Data.cfg once, saved back whole, and the
// Admin page's import and export of *.cfg files.
#include <string>

#include "utility/core/profile_list.h"

namespace zelcon {

// Appends every record of Data.cfg (a missing or damaged file gives what could be read),
// then makes sure the default profile exists. Always succeeds.
void LoadProfiles(ProfileList& list, const std::string& dataCfgPath);
// Writes the whole list, reserved names included; false leaves the old file as it was.
bool SaveProfiles(const ProfileList& list, const std::string& dataCfgPath);
// Appends the file's records and normalises the list (groups, one "<Default>", unique
// names). False when the file could not be read to its end; what was read is kept.
bool ImportProfiles(ProfileList& list, const std::string& path);
// Writes the list without "<Default>" and "<Site Survey>" (unless `path` is Data.cfg).
bool ExportProfiles(const ProfileList& list, const std::string& path,
                    const std::string& dataCfgPath);

}  // namespace zelcon
