#include "utility/core/profile_store.h"

#include "utility/core/profile_file.h"

namespace zelcon {
namespace {

bool AppendFile(ProfileList& list, const std::string& path) {
  ProfileReadResult read = ReadProfileFile(path);
  for (PROFILE_ENTRY& record : read.records) {
    list.Append(record);
    WipeProfile(record);
  }
  return read.complete;
}

}  // namespace

void LoadProfiles(ProfileList& list, const std::string& dataCfgPath) {
  AppendFile(list, dataCfgPath);
  list.EnsureDefaultProfile();
}

bool SaveProfiles(const ProfileList& list, const std::string& dataCfgPath) {
  return WriteProfileFile(dataCfgPath, list.Records(), dataCfgPath);
}

bool ImportProfiles(ProfileList& list, const std::string& path) {
  bool complete = AppendFile(list, path);
  list.NormalizeImported();
  return complete;
}

bool ExportProfiles(const ProfileList& list, const std::string& path,
                    const std::string& dataCfgPath) {
  return WriteProfileFile(path, list.Records(), dataCfgPath);
}

}  // namespace zelcon
