#include "utility/core/profile_store.h"

#include <sys/stat.h>

#include <cerrno>

#include "platform/win32/atomic_file.h"

namespace zelcon {
namespace {

// A damaged file is copied whole; one larger than this is no profile file we wrote.
constexpr size_t kMaxBackupBytes = size_t(64) << 20;

void AppendRecords(ProfileList& list, ProfileReadResult& read) {
  for (PROFILE_ENTRY& record : read.records) {
    list.Append(record);
    WipeProfile(record);
  }
}

// Data.cfg.bak with the original's bytes and permissions `st` (a later backup replaces it).
bool BackUp(const std::string& dataCfgPath, const struct stat& st) {
  std::optional<std::string> bytes = plat::ReadWholeFile(dataCfgPath, kMaxBackupBytes);
  if (!bytes) return false;
  const bool ok = plat::WriteFileAtomically(BackupPathOf(dataCfgPath), *bytes,
                                            plat::FileMode{st.st_mode & 07777, false});
  volatile char* wipe = bytes->data();  // the pass phrases are only masked
  for (size_t i = 0; i < bytes->size(); ++i) wipe[i] = 0;
  return ok;
}

}  // namespace

std::string BackupPathOf(const std::string& dataCfgPath) { return dataCfgPath + ".bak"; }

ProfileFileState LoadProfiles(ProfileList& list, const std::string& dataCfgPath) {
  ProfileReadResult read = ReadProfileFile(dataCfgPath);
  AppendRecords(list, read);
  list.EnsureDefaultProfile();
  if (read.unreadable) return ProfileFileState::kUnreadable;
  if (!read.complete && !read.missing) return ProfileFileState::kDamaged;
  return ProfileFileState::kWhole;
}

ProfileSaveResult SaveProfiles(const ProfileList& list, const std::string& dataCfgPath,
                               ProfileFileState& state) {
  if (state == ProfileFileState::kUnreadable) return ProfileSaveResult::kRefused;
  bool backedUp = false;
  if (state == ProfileFileState::kDamaged) {  // a file gone meanwhile leaves nothing to keep
    struct stat st {};
    if (::stat(dataCfgPath.c_str(), &st) == 0) {
      if (!BackUp(dataCfgPath, st)) return ProfileSaveResult::kFailed;
      backedUp = true;
    } else if (errno != ENOENT) {
      return ProfileSaveResult::kFailed;
    }
  }
  state = ProfileFileState::kWhole;
  if (!WriteProfileFile(dataCfgPath, list.Records(), dataCfgPath))
    return ProfileSaveResult::kFailed;
  return backedUp ? ProfileSaveResult::kSavedAfterBackup : ProfileSaveResult::kSaved;
}

bool SaveProfiles(const ProfileList& list, const std::string& dataCfgPath) {
  ProfileFileState replaceWhatever = ProfileFileState::kWhole;
  return SaveProfiles(list, dataCfgPath, replaceWhatever) == ProfileSaveResult::kSaved;
}

void AppendImported(ProfileList& list, ProfileReadResult& read) {
  AppendRecords(list, read);
  list.NormalizeImportedProfiles();
}

bool ImportProfiles(ProfileList& list, const std::string& path) {
  ProfileReadResult read = ReadProfileFile(path);
  AppendImported(list, read);
  return read.complete;
}

bool ExportProfiles(const ProfileList& list, const std::string& path,
                    const std::string& dataCfgPath) {
  return WriteProfileFile(path, list.Records(), dataCfgPath);
}

}  // namespace zelcon
