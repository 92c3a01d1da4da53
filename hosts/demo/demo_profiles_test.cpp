// The demonstration's profile file reads back as the utility reads it: every network of the
// demo world, the enterprise profiles first and the only preferred ones.
#include <gtest/gtest.h>

#include <string>

#include "hosts/demo/demo_profiles.h"
#include "utility/core/profile_file.h"

namespace demo {
namespace {

TEST(DemoProfiles, TheFileHoldsEveryDemoNetworkEnterpriseFirst) {
  std::array<std::uint8_t, 20> hash{};
  hash[0] = 0xAB;
  const std::string bytes = zelcon::EncodeProfileFile(DemoProfiles(hash), true);
  const zelcon::ProfileReadResult read = zelcon::ReadProfileRecords(bytes);
  ASSERT_TRUE(read.complete);
  std::vector<std::string> names, ssids;
  std::vector<std::uint32_t> auths, preferred;
  for (const PROFILE_ENTRY& p : read.records) {
    names.emplace_back(zelcon::FieldText(p.name));
    ssids.emplace_back(zelcon::ProfileSsid(p));
    auths.push_back(p.authMode);
    preferred.push_back(p.prefer);
  }
  EXPECT_EQ(ssids, (std::vector<std::string>{"Zelnet Corp", "Zelnet Corp", "Zelnet Office",
                                             "Zelnet Warehouse", "Zelnet Workshop", "Zelnet Guest"}));
  EXPECT_EQ(auths, (std::vector<std::uint32_t>{zelcon::kAuthWpa2Peap, zelcon::kAuthWpa2Tls,
                                               zelcon::kAuthWpa2Psk, zelcon::kAuthWpaPsk,
                                               zelcon::kAuthOpen, zelcon::kAuthOpen}));
  EXPECT_EQ(preferred, (std::vector<std::uint32_t>{1, 1, 0, 0, 0, 0}));
  EXPECT_EQ(zelcon::FieldText(read.records[0].wpa.loginName), kPeapUser);
  EXPECT_EQ(zelcon::FieldText(read.records[0].wpa.password), kPeapPassword);
  EXPECT_EQ(read.records[1].wpa.certHash[0], 0xAB);
  EXPECT_EQ(read.records[2].wpa.passphraseLength, 28u);
  EXPECT_EQ(read.records[4].wepKeys[0].length, 5u);
  // Without a client certificate there is no EAP-TLS profile.
  EXPECT_EQ(DemoProfiles(std::nullopt).size(), 5u);
}

}  // namespace
}  // namespace demo
