#include "utility/core/profile_store.h"

#include <gtest/gtest.h>

#include "platform/win32/atomic_file.h"
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

}  // namespace
}  // namespace zelcon
