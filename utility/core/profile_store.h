#pragma once
// The profile list's life on disk: loaded from Data.cfg once, saved back whole, and the
// Admin page's import and export of *.cfg files.
//
// Nothing on disk is lost through us: a Data.cfg that could not be read is never saved over,
// and one that was damaged is kept as Data.cfg.bak before the first save drops what could
// not be read from it.
#include <string>

#include "utility/core/profile_file.h"
#include "utility/core/profile_list.h"

namespace zelcon {

// What loading found in Data.cfg; it decides what the saves may do to the file.
enum class ProfileFileState {
  kWhole,       // missing, or read to its end: a save replaces it
  kDamaged,     // it ended inside a record: the first save keeps the original as a backup
  kUnreadable,  // it is there but could not be read: never saved over
};

enum class ProfileSaveResult {
  kSaved,
  kSavedAfterBackup,  // the damaged original went to BackupPathOf() first
  kRefused,           // the file could not be read at start, so it is kept as it is
  kFailed,            // nothing was written (no backup could be made, or the write failed)
};

std::string BackupPathOf(const std::string& dataCfgPath);  // Data.cfg.bak beside it

// Appends every record of Data.cfg (a missing or damaged file gives what could be read),
// then makes sure the default profile exists.
ProfileFileState LoadProfiles(ProfileList& list, const std::string& dataCfgPath);
// Writes the whole list, reserved names included, as `state` (from LoadProfiles) allows; a
// backup made turns `state` into kWhole, so it is made once. Anything but kSaved and
// kSavedAfterBackup leaves the old file as it was.
ProfileSaveResult SaveProfiles(const ProfileList& list, const std::string& dataCfgPath,
                               ProfileFileState& state);
// The same for a list that replaces whatever the file holds.
bool SaveProfiles(const ProfileList& list, const std::string& dataCfgPath);
// Appends records read from an imported file and normalises the list (groups, one
// "<Default>", unique names).
void AppendImported(ProfileList& list, ProfileReadResult& read);
// Reads the file and appends it as above. False when the file could not be read to its end;
// what was read is kept.
bool ImportProfiles(ProfileList& list, const std::string& path);
// Writes the list without "<Default>" and "<Site Survey>" (unless `path` is Data.cfg).
bool ExportProfiles(const ProfileList& list, const std::string& path,
                    const std::string& dataCfgPath);

}  // namespace zelcon
