#include "utility/core/profile_store.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/win32/atomic_file.h"
#include "platform/win32/test_other_user.h"
#include "platform/win32/test_temp_dir.h"
#include "utility/core/profile_file.h"

namespace zelcon {
namespace {

PROFILE_ENTRY Named(std::string_view name, uint32_t networkType = 1) {
  PROFILE_ENTRY p{};
  SetFieldText(p.name, name);
  SetFieldText(p.ssid, name);
  p.networkType = networkType;
  return p;
}

std::vector<std::string> Names(const ProfileList& list) {
  std::vector<std::string> names;
  for (size_t i = 0; i < list.Size(); ++i) names.emplace_back(FieldText(list.At(i).name));
  return names;
}

TEST(ProfileStore, LoadingGivesTheDefaultProfileWhateverTheFile) {
  plat::TestTempDir dir;
  std::string store = dir.File("Data.cfg");
  ProfileList missing;
  LoadProfiles(missing, store);
  EXPECT_EQ(Names(missing), std::vector<std::string>{"<Default>"});

  ASSERT_TRUE(plat::WriteFileAtomically(store, ""));
  ProfileList empty;
  LoadProfiles(empty, store);
  EXPECT_EQ(Names(empty), std::vector<std::string>{"<Default>"});

  std::string damaged = EncodeProfileFile({Named("office"), Named("party", 0)}, true);
  damaged.resize(damaged.size() - 10);
  ASSERT_TRUE(plat::WriteFileAtomically(store, damaged));
  ProfileList partial;
  LoadProfiles(partial, store);
  EXPECT_EQ(Names(partial), (std::vector<std::string>{"office", "<Default>"}));
}

TEST(ProfileStore, SaveThenLoadKeepsTheListAndImportExportFollowTheRules) {
  plat::TestTempDir dir;
  std::string store = dir.File("Data.cfg");
  ProfileList list;
  list.Append(Named("net9"));
  list.Append(Named("<Site Survey>"));
  list.Append(Named("party", 0));
  list.EnsureDefaultProfile();
  ASSERT_TRUE(SaveProfiles(list, store));
  ProfileList loaded;
  LoadProfiles(loaded, store);
  EXPECT_EQ(Names(loaded), Names(list));

  std::string exported = dir.File("mine.cfg");
  ASSERT_TRUE(ExportProfiles(list, exported, store));
  EXPECT_EQ(ReadProfileFile(exported).records.size(), 2u);

  // A file from elsewhere: a second "<Default>", a clashing name, an ad hoc profile first.
  std::string other = dir.File("other.cfg");
  ASSERT_TRUE(plat::WriteFileAtomically(
      other, EncodeProfileFile({Named("lab", 0), Named("<Default>"), Named("net9")}, true)));
  EXPECT_TRUE(ImportProfiles(loaded, other));
  EXPECT_EQ(Names(loaded), (std::vector<std::string>{"net9", "<Site Survey>", "<Default>",
                                                     "net10", "party", "lab"}));
  EXPECT_FALSE(ImportProfiles(loaded, dir.File("absent.cfg")));
  EXPECT_EQ(loaded.Size(), 6u);
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0;
}

std::optional<std::string> Bytes(const std::string& path) {
  return plat::ReadWholeFile(path, 1 << 20);
}

TEST(ProfileStore, AFileThatCannotBeReadIsNeverSavedOver) {
  plat::TestTempDir dir;
  std::string store = dir.File("Data.cfg");
  const std::string original = EncodeProfileFile({Named("office")}, true);
  ASSERT_TRUE(plat::WriteFileAtomically(store, original));
  ::chmod(store.c_str(), 0);
  {
    plat::TestAsOtherUser user(dir.Path());
    ProfileList list;
    ProfileFileState state = LoadProfiles(list, store);
    EXPECT_EQ(state, ProfileFileState::kUnreadable);
    list.Append(Named("new"));
    EXPECT_EQ(SaveProfiles(list, store, state), ProfileSaveResult::kRefused);
    EXPECT_EQ(SaveProfiles(list, store, state), ProfileSaveResult::kRefused);
  }
  EXPECT_EQ(Bytes(store), original);
  EXPECT_FALSE(std::filesystem::exists(BackupPathOf(store)));
}

TEST(ProfileStore, ADamagedFileIsKeptAsBackupBeforeTheFirstSaveOnly) {
  plat::TestTempDir dir;
  std::string store = dir.File("Data.cfg");
  std::string damaged = EncodeProfileFile({Named("office"), Named("lab"), Named("far")}, true);
  damaged[4 + 792 + 3] = '\x7f';  // the second length word now runs past the end
  ASSERT_TRUE(plat::WriteFileAtomically(store, damaged));
  ::chmod(store.c_str(), 0640);

  ProfileList list;
  ProfileFileState state = LoadProfiles(list, store);
  EXPECT_EQ(state, ProfileFileState::kDamaged);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"office", "<Default>"}));
  EXPECT_EQ(SaveProfiles(list, store, state), ProfileSaveResult::kSavedAfterBackup);
  EXPECT_EQ(Bytes(BackupPathOf(store)), damaged);
  EXPECT_EQ(ModeOf(BackupPathOf(store)), 0640u);
  // The save itself is a normal one, byte for byte.
  EXPECT_EQ(Bytes(store), EncodeProfileFile(list.Records(), true));

  ASSERT_TRUE(std::filesystem::remove(BackupPathOf(store)));
  EXPECT_EQ(SaveProfiles(list, store, state), ProfileSaveResult::kSaved);
  ProfileList again;
  ProfileFileState reloaded = LoadProfiles(again, store);
  EXPECT_EQ(reloaded, ProfileFileState::kWhole);
  EXPECT_EQ(SaveProfiles(again, store, reloaded), ProfileSaveResult::kSaved);
  EXPECT_FALSE(std::filesystem::exists(BackupPathOf(store)));
}

TEST(ProfileStore, NoBackupNoSave) {
  plat::TestTempDir dir;
  std::string store = dir.File("Data.cfg");
  std::string damaged = EncodeProfileFile({Named("office")}, true);
  damaged.resize(damaged.size() - 1);
  ASSERT_TRUE(plat::WriteFileAtomically(store, damaged));
  std::filesystem::create_directory(BackupPathOf(store));  // the backup cannot be written
  ProfileList list;
  ProfileFileState state = LoadProfiles(list, store);
  EXPECT_EQ(SaveProfiles(list, store, state), ProfileSaveResult::kFailed);
  EXPECT_EQ(Bytes(store), damaged);
  EXPECT_EQ(state, ProfileFileState::kDamaged);
}

TEST(ProfileStore, ProfileFilesAreOwnerOnlyAndASymlinkedStoreStaysALink) {
  plat::TestTempDir dir;
  ProfileList list;
  list.Append(Named("office"));
  ASSERT_TRUE(SaveProfiles(list, dir.File("Data.cfg")));
  EXPECT_EQ(ModeOf(dir.File("Data.cfg")), 0600u);
  ASSERT_TRUE(ExportProfiles(list, dir.File("mine.cfg"), dir.File("Data.cfg")));
  EXPECT_EQ(ModeOf(dir.File("mine.cfg")), 0600u);
  ::chmod(dir.File("mine.cfg").c_str(), 0644);  // the user's own choice stays
  ASSERT_TRUE(ExportProfiles(list, dir.File("mine.cfg"), dir.File("Data.cfg")));
  EXPECT_EQ(ModeOf(dir.File("mine.cfg")), 0644u);

  std::filesystem::create_directory(dir.File("synced"));
  std::filesystem::create_symlink("synced/Data.cfg", dir.File("linked.cfg"));
  ASSERT_TRUE(SaveProfiles(list, dir.File("linked.cfg")));
  EXPECT_TRUE(std::filesystem::is_symlink(dir.File("linked.cfg")));
  EXPECT_EQ(Bytes(dir.File("synced/Data.cfg")), EncodeProfileFile(list.Records(), true));
}

}  // namespace
}  // namespace zelcon
