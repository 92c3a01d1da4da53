#include "ksSupp/keys/pmksa_cache.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "ksSupp/keys/information_elements.h"
#include "ksSupp/keys/key_test_support.h"
#include "ksSupp/keys/null_key_handler_services.h"
#include "platform/win32/tick_count.h"
#include "sim/air/authenticator_crypto.h"

namespace {

struct MapRecorder : NullKeyHandlerServices {
  std::vector<Bytes> maps;  // each PMKID map as the host receives it
  int hits = 0;
  void SetPmkidList(uint32_t count, const uint8_t* entries) override {
    maps.emplace_back(entries, entries + count * PmksaCache::kMapEntryLength);
  }
  void PmksaCacheHit() override { ++hits; }
};

using Address = std::array<uint8_t, 6>;

Address Ap(uint32_t n) { return {0x02, 0x00, 0x00, 0x00, static_cast<uint8_t>(n >> 8), static_cast<uint8_t>(n)}; }

class PmksaCacheTest : public testing::Test {
 protected:
  // The PMKSA of a 4-way handshake with `aa` on a fresh 802.1X authentication: pending,
  // picked by a message 1 without PMKID, proved by message 3.
  void Validate(const Address& aa, const Bytes& pmk) {
    cache_.SetPending(pmk.data(), static_cast<uint32_t>(pmk.size()), aa.data());
    SecureByteArray selected;
    ASSERT_TRUE(cache_.UsePmkid(PmkidKdeElement(), aa.data(), selected));
    cache_.ValidatePending(aa.data());
  }

  // Message 1 naming `pmkid`; the PMK it picked, or nothing when refused.
  std::optional<Bytes> Select(const Bytes& pmkid, const Address& aa) {
    Bytes kde = {0xDD, 0x14, 0x00, 0x0F, 0xAC, 0x04};
    kde.insert(kde.end(), pmkid.begin(), pmkid.end());
    PmkidKdeElement element;
    element.Store(kde.data(), static_cast<uint32_t>(kde.size()));
    SecureByteArray pmk;
    if (!cache_.UsePmkid(element, aa.data(), pmk)) return std::nullopt;
    return Bytes(pmk.begin(), pmk.end());
  }

  void SetCandidates(const std::vector<std::pair<Address, uint8_t>>& list) {
    std::vector<PmkidCandidate> candidates;
    for (const auto& [bssid, flags] : list) {
      PmkidCandidate c{};
      std::copy(bssid.begin(), bssid.end(), c.bssid);
      c.flags = flags;
      candidates.push_back(c);
    }
    cache_.SetCandidates(static_cast<uint32_t>(candidates.size()), candidates.data());
  }

  // The {BSSID, PMKID} pairs of the last map.
  std::vector<std::pair<Address, Bytes>> LastMap() const {
    std::vector<std::pair<Address, Bytes>> out;
    const Bytes& map = services_.maps.back();
    for (size_t i = 0; i + PmksaCache::kMapEntryLength <= map.size(); i += PmksaCache::kMapEntryLength) {
      Address bssid;
      std::copy(map.begin() + i, map.begin() + i + 6, bssid.begin());
      out.emplace_back(bssid, Bytes(map.begin() + i + 6, map.begin() + i + 22));
    }
    return out;
  }

  Bytes PmkidOf(const Bytes& pmk, const Address& aa) const { return air::Pmkid(pmk, aa.data(), spa_.data()); }
  bool Cached(const Address& aa) const { return cache_.FindByAuthenticator(aa.data()) != nullptr; }

  plat::ManualTickCount clock_{5000};
  MapRecorder services_;
  const Address spa_ = {0x00, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E};
  PmksaCache cache_{services_, spa_.data()};
  const Bytes pmk_ = Bytes(32, 0x5C), otherPmk_ = Bytes(32, 0xA3);
};

TEST_F(PmksaCacheTest, AProvedPmksaIsFoundByItsPmkidOnTheNextAssociation) {
  Validate(Ap(1), pmk_);
  const PmksaEntry* entry = cache_.FindByAuthenticator(Ap(1).data());
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(Bytes(entry->pmkid, entry->pmkid + 16), PmkidOf(pmk_, Ap(1))) << "as OpenSSL computes it";
  EXPECT_FALSE(cache_.HasPending());

  cache_.Reset();
  EXPECT_EQ(Select(PmkidOf(pmk_, Ap(1)), Ap(1)), pmk_);
  EXPECT_EQ(services_.hits, 1);
  cache_.ValidatePending(Ap(1).data());
  EXPECT_EQ(cache_.Count(), 1u);

  Validate(Ap(1), otherPmk_);  // a new authentication with the same access point replaces it
  EXPECT_EQ(cache_.Count(), 1u);
  EXPECT_EQ(cache_.FindByPmkid(PmkidOf(pmk_, Ap(1)).data()), nullptr);
}

TEST_F(PmksaCacheTest, AnUnknownPmkidIsRefusedAndTheHostGetsAFreshMap) {
  Validate(Ap(1), pmk_);
  SetCandidates({{Ap(1), 1}});
  const size_t maps = services_.maps.size();
  cache_.SetPending(otherPmk_.data(), 32, Ap(2).data());
  EXPECT_FALSE(Select(Bytes(16, 0xEE), Ap(2)));
  EXPECT_EQ(services_.maps.size(), maps + 1);
  EXPECT_EQ(LastMap().size(), 1u);
  // That message 1 carried no MIC: the pending PMKSA is still there for the genuine one.
  EXPECT_TRUE(cache_.HasPending());
  EXPECT_EQ(Select(PmkidOf(otherPmk_, Ap(2)), Ap(2)), otherPmk_);
}

TEST_F(PmksaCacheTest, AMessage1NamingACachedPmksaLeavesTheFreshOneUntilMessage3) {
  Validate(Ap(1), pmk_);
  cache_.SetPending(otherPmk_.data(), 32, Ap(1).data());
  EXPECT_EQ(Select(PmkidOf(pmk_, Ap(1)), Ap(1)), pmk_);
  EXPECT_TRUE(cache_.HasPending());
  cache_.ValidatePending(Ap(1).data());  // the access point proved the cached one
  EXPECT_FALSE(cache_.HasPending());
  EXPECT_EQ(Bytes(cache_.FindByAuthenticator(Ap(1).data())->pmk.begin(),
                  cache_.FindByAuthenticator(Ap(1).data())->pmk.end()), pmk_);
}

TEST_F(PmksaCacheTest, APmksaNamedByAnotherAccessPointMovesToIt) {
  Validate(Ap(1), pmk_);
  cache_.Reset();
  EXPECT_EQ(Select(PmkidOf(pmk_, Ap(1)), Ap(2)), pmk_);
  cache_.ValidatePending(Ap(2).data());
  EXPECT_FALSE(Cached(Ap(1)));
  EXPECT_TRUE(Cached(Ap(2)));
}

TEST_F(PmksaCacheTest, TheSixtyFifthPmksaFreesTheOldestThatIsNotInTheMap) {
  Validate(Ap(0), pmk_);
  SetCandidates({{Ap(0), 1}});  // in the map: never pruned
  for (uint32_t n = 1; n <= 64; ++n) Validate(Ap(n), pmk_);
  EXPECT_EQ(cache_.Count(), 65u);
  Validate(Ap(65), pmk_);
  EXPECT_EQ(cache_.Count(), 65u);
  EXPECT_TRUE(Cached(Ap(0)));
  EXPECT_FALSE(Cached(Ap(1)));
  EXPECT_TRUE(Cached(Ap(2)));
  EXPECT_TRUE(Cached(Ap(65)));
}

TEST_F(PmksaCacheTest, EntriesOlderThanEightHoursArePrunedEvenWhenTheCacheIsNotFull) {
  Validate(Ap(1), pmk_);
  clock_.Advance(PmksaCache::kLifetimeMs);
  Validate(Ap(2), pmk_);
  EXPECT_TRUE(Cached(Ap(1))) << "exactly the lifetime is still young enough";
  clock_.Advance(1);
  Validate(Ap(3), pmk_);
  EXPECT_FALSE(Cached(Ap(1)));
  EXPECT_TRUE(Cached(Ap(2)));
}

TEST_F(PmksaCacheTest, CandidatesGetCachedOrOpportunisticPmkidsAndPreauthentication) {
  Validate(Ap(1), pmk_);
  std::vector<std::pair<Address, uint8_t>> candidates;
  for (uint32_t n = 1; n <= 20; ++n) candidates.emplace_back(Ap(n), n == 3 ? 0 : 1);
  SetCandidates(candidates);

  const auto map = LastMap();
  ASSERT_EQ(map.size(), 16u) << "the first 16 candidates";
  for (uint32_t n = 1; n <= 16; ++n) {
    EXPECT_EQ(map[n - 1].first, Ap(n));
    EXPECT_EQ(map[n - 1].second, PmkidOf(pmk_, Ap(n))) << "under the last validated PMK";
  }
  EXPECT_EQ(cache_.Count(), 16u);
  EXPECT_TRUE(cache_.FindByAuthenticator(Ap(2).data())->opportunistic);

  // Ap(1) has a PMKSA of its own and Ap(3) does not allow pre-authentication; the ones
  // with only an opportunistic entry still need it.
  uint8_t bssid[6];
  ASSERT_TRUE(cache_.NextPreauthCandidate(bssid));
  EXPECT_EQ(Address(std::to_array(bssid)), Ap(2));
  ASSERT_TRUE(cache_.NextPreauthCandidate(bssid));
  EXPECT_EQ(Address(std::to_array(bssid)), Ap(4));

  cache_.AddPmksa(Ap(4).data(), otherPmk_.data(), 32);  // pre-authenticated
  EXPECT_EQ(LastMap()[3].second, PmkidOf(otherPmk_, Ap(4)));
  SetCandidates({{Ap(4), 1}, {Ap(5), 1}});
  ASSERT_TRUE(cache_.NextPreauthCandidate(bssid));
  EXPECT_EQ(Address(std::to_array(bssid)), Ap(5));
  EXPECT_FALSE(cache_.NextPreauthCandidate(bssid));
}

TEST_F(PmksaCacheTest, AFlushForgetsEveryPmksaAndTheLastPmk) {
  Validate(Ap(1), pmk_);
  SetCandidates({{Ap(1), 1}, {Ap(2), 1}});
  EXPECT_EQ(LastMap().size(), 2u);
  cache_.Flush();
  EXPECT_TRUE(LastMap().empty());
  EXPECT_EQ(cache_.Count(), 0u);
  SetCandidates({{Ap(1), 1}, {Ap(2), 1}});
  EXPECT_TRUE(LastMap().empty()) << "no opportunistic entry from a flushed PMK";
}

TEST_F(PmksaCacheTest, AnExpiredPmkMakesNoOpportunisticEntries) {
  Validate(Ap(1), pmk_);
  clock_.Advance(PmksaCache::kLifetimeMs + 1);
  SetCandidates({{Ap(1), 1}, {Ap(2), 1}});
  EXPECT_TRUE(LastMap().empty());
  EXPECT_EQ(cache_.Count(), 0u);
}

}  // namespace
