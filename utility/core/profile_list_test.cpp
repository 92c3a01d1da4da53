#include "utility/core/profile_list.h"

#include <gtest/gtest.h>

#include <chrono>

namespace zelcon {
namespace {

// "name" is infrastructure, "name/a" ad hoc.
PROFILE_ENTRY Profile(std::string_view spec) {
  PROFILE_ENTRY p{};
  bool adHoc = spec.size() > 2 && spec.substr(spec.size() - 2) == "/a";
  if (adHoc) spec.remove_suffix(2);
  SetFieldText(p.name, spec);
  SetFieldText(p.ssid, spec);
  p.networkType = adHoc ? 0 : 1;
  return p;
}

void Fill(ProfileList& list, const std::vector<std::string>& specs) {
  for (const std::string& s : specs) list.Append(Profile(s));
}

std::vector<std::string> Names(const ProfileList& list) {
  std::vector<std::string> names;
  for (size_t i = 0; i < list.Size(); ++i) names.emplace_back(FieldText(list.At(i).name));
  return names;
}

using Names_ = std::vector<std::string>;

TEST(ProfileList, DefaultProfileIsEnsuredOnceAndPlacedBeforeTheAdHocGroup) {
  const std::pair<Names_, Names_> cases[] = {
      {{}, {"<Default>"}},
      {{"office"}, {"office", "<Default>"}},
      {{"office", "party/a"}, {"office", "<Default>", "party"}},
      // A "<Default>" behind an ad hoc profile still counts: no second one.
      {{"office", "party/a", "<Default>/a"}, {"office", "party", "<Default>"}},
  };
  for (const auto& [before, after] : cases) {
    ProfileList list;
    Fill(list, before);
    list.EnsureDefaultProfile();
    EXPECT_EQ(Names(list), after);
  }
  ProfileList list;
  list.EnsureDefaultProfile();
  PROFILE_ENTRY expected = MakeDefaultProfile();
  EXPECT_EQ(std::memcmp(&list.At(0), &expected, sizeof expected), 0);
  EXPECT_EQ(FieldText(expected.ssid), "<ANY SSID>");
  EXPECT_EQ(expected.prefer, 1u);
  EXPECT_EQ(expected.rtsThreshold, 2347u);
}

TEST(ProfileList, IncrementStepKeepsEveryName) {
  const std::pair<const char*, const char*> cases[] = {
      {"net3", "net4"},   {"net19", "net20"}, {"net9", "net10"}, {"net99", "net100"},
      {"home", "home2"},  {"9", "10"},        {"net009", "net010"},
      {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa2"},
      {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa99", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa100"},
  };
  for (auto [name, next] : cases) EXPECT_EQ(IncrementProfileName(name), next) << name;
}

TEST(ProfileList, ImportNormalisesGroupsAndNamesWithoutLosingProfiles) {
  const std::pair<Names_, Names_> cases[] = {
      {{"net9", "net9"}, {"net9", "net10"}},
      {{"net99", "net99"}, {"net99", "net100"}},
      {{"a", "a", "a"}, {"a", "a2", "a3"}},
      {{"Net", "Net2", "Net"}, {"Net", "Net2", "Net3"}},
      {{"<Default>", "home", "<Default>", "home"}, {"<Default>", "home", "home2"}},
      {{"party/a", "office", "lab/a", "cafe"}, {"office", "cafe", "party", "lab"}},
  };
  for (const auto& [before, after] : cases) {
    ProfileList list;
    Fill(list, before);
    list.NormalizeImportedProfiles();
    EXPECT_EQ(Names(list), after);
  }
}

// Importing a file of 3,000 profiles of one name: each later one gets the next free name,
// and the whole import takes well under a second (one name set, not a rescan per candidate).
TEST(ProfileList, ImportingThousandsOfOneNameIsQuick) {
  ProfileList list;
  Names_ many(3000, "net");
  many.push_back("net2");  // already taken by a profile of its own
  many.insert(many.end(), 200, "<Default>");
  Fill(list, many);
  const auto start = std::chrono::steady_clock::now();
  list.NormalizeImportedProfiles();
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_LT(elapsed, std::chrono::milliseconds(500));
  ASSERT_EQ(list.Size(), 3002u);
  EXPECT_EQ(FieldText(list.At(0).name), "net");
  EXPECT_EQ(FieldText(list.At(1).name), "net3");
  EXPECT_EQ(FieldText(list.At(2999).name), "net3001");
  EXPECT_EQ(FieldText(list.At(3000).name), "net2");
  EXPECT_EQ(FieldText(list.At(3001).name), "<Default>");
}

TEST(ProfileList, UniqueNameLooksAtTheWholeList) {
  ProfileList list;
  Fill(list, {"Net2", "Net", "Net3"});
  EXPECT_EQ(list.UniqueName("Net"), "Net4");
  EXPECT_EQ(list.UniqueName("Lab"), "Lab");
  EXPECT_EQ(list.UniqueName("Net", list.IdAt(1)), "Net");
}

TEST(ProfileList, MakingCurrentMovesToTheHeadOfTheGroup) {
  ProfileList list;
  Fill(list, {"a", "b", "c", "d", "e", "x/a", "y/a"});
  list.MoveToFrontOfGroup(list.IdAt(4));
  EXPECT_EQ(Names(list), (Names_{"e", "a", "b", "c", "d", "x", "y"}));
  list.MoveToFrontOfGroup(list.IdAt(6));
  EXPECT_EQ(Names(list), (Names_{"e", "a", "b", "c", "d", "y", "x"}));
  list.At(2).networkType = 7;  // neither group: stays
  list.MoveToFrontOfGroup(list.IdAt(2));
  EXPECT_EQ(Names(list), (Names_{"e", "a", "b", "c", "d", "y", "x"}));
}

TEST(ProfileList, RemovingOrReplacingTheProfileInUseNeverLeavesAStaleId) {
  ProfileList list;
  Fill(list, {"office", "lab", "home"});
  ProfileId lab = list.IdAt(1);
  list.SetCurrent(lab);
  list.Remove(lab);
  EXPECT_EQ(list.Current(), kNoProfile);
  EXPECT_EQ(list.Find(lab), nullptr);

  // A one-touch profile for "home" replaces both stored "home" profiles, the one in use too.
  list.Append(Profile("home"));
  list.Append(Profile("home/a"));
  list.SetCurrent(list.IdAt(1));
  PROFILE_ENTRY fresh = Profile("home");
  fresh.authMode = kAuthWpaPsk;
  ProfileId placed = list.PlaceReplacing(fresh);
  EXPECT_EQ(Names(list), (Names_{"home", "office", "home"}));
  EXPECT_EQ(list.IdAt(0), placed);
  EXPECT_EQ(list.Current(), placed);
  EXPECT_EQ(list.At(2).networkType, 0u);  // the ad hoc one is another network
}

}  // namespace
}  // namespace zelcon
