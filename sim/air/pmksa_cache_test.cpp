// The enterprise network's PMKSA cache: a station's PMKID is honoured only when it was made
// with the cached PMK for the access point that reads it, and the PMKIDs are read from the
// RSN element of the (re)association request.
#include "sim/air/pmksa_cache.h"

#include <gtest/gtest.h>

#include "sim/air/authenticator_crypto.h"

namespace simair {
namespace {

const MacAddress kStation{0x00, 0x1e, 0x4d, 0x2d, 0x17, 0x01};
const MacAddress kEast{0x02, 0x5a, 0x4c, 0x00, 0x00, 0x05};
const MacAddress kWest{0x02, 0x5a, 0x4c, 0x00, 0x00, 0x06};

Pmkid PmkidOf(const air::Bytes& pmk, const MacAddress& authenticator) {
  const air::Bytes bytes = air::Pmkid(pmk, authenticator.data(), kStation.data());
  Pmkid pmkid{};
  std::copy(bytes.begin(), bytes.end(), pmkid.begin());
  return pmkid;
}

// An RSN element (CCMP, 802.1X) of a reassociation request with `pmkids`.
std::vector<std::uint8_t> RsnWith(const std::vector<Pmkid>& pmkids) {
  std::vector<std::uint8_t> body{1, 0, 0x00, 0x0F, 0xAC, 4, 1, 0, 0x00, 0x0F, 0xAC, 4, 1, 0, 0x00, 0x0F, 0xAC, 1, 0, 0};
  body.push_back(static_cast<std::uint8_t>(pmkids.size()));
  body.push_back(0);
  for (const Pmkid& pmkid : pmkids) body.insert(body.end(), pmkid.begin(), pmkid.end());
  std::vector<std::uint8_t> element{48, static_cast<std::uint8_t>(body.size())};
  element.insert(element.end(), body.begin(), body.end());
  return element;
}

class PmksaCacheTest : public ::testing::Test {
protected:
  PmksaCacheTest() { cache_.add(kStation, pmk_); }
  const air::Bytes pmk_ = air::Bytes(32, 0x5c);
  PmksaCache cache_;
};

TEST_F(PmksaCacheTest, APmkidMadeForTheNewAccessPointFindsThePmkOfTheNetwork) {
  const Pmkid unknown{};
  const std::vector<Pmkid> offered = OfferedPmkids(RsnWith({unknown, PmkidOf(pmk_, kWest)}));
  ASSERT_EQ(offered.size(), 2u);
  const auto pmk = cache_.find(kStation, kWest, offered);
  ASSERT_TRUE(pmk);
  EXPECT_EQ(*pmk, pmk_);
}

TEST_F(PmksaCacheTest, AnUnknownPmkidOrAnotherStationFindsNothing) {
  const Pmkid unknown = PmkidOf(air::Bytes(32, 0x11), kWest);
  EXPECT_FALSE(cache_.find(kStation, kWest, std::vector<Pmkid>{unknown}));
  EXPECT_FALSE(cache_.find(kStation, kWest, {}));
  MacAddress other = kStation;
  other[5] ^= 1;
  EXPECT_FALSE(cache_.find(other, kWest, std::vector<Pmkid>{PmkidOf(pmk_, kWest)}));
}

// The PMKID names the PMKSA with the first access point: the second does not take it.
TEST_F(PmksaCacheTest, APmkidMadeForAnotherAccessPointDoesNotMatch) {
  EXPECT_FALSE(cache_.find(kStation, kWest, std::vector<Pmkid>{PmkidOf(pmk_, kEast)}));
  EXPECT_TRUE(cache_.find(kStation, kEast, std::vector<Pmkid>{PmkidOf(pmk_, kEast)}));
}

TEST(OfferedPmkids, AMalformedOrMissingRsnElementOffersNone) {
  std::vector<std::uint8_t> element = RsnWith({Pmkid{}});
  element[22] = 2;  // a PMKID count beyond the element
  EXPECT_TRUE(OfferedPmkids(element).empty());
  EXPECT_TRUE(OfferedPmkids(std::vector<std::uint8_t>{48, 40, 1, 0}).empty());
  EXPECT_TRUE(OfferedPmkids({}).empty());
}

}  // namespace
}  // namespace simair
