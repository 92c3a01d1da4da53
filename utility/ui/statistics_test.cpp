#include "utility/ui/statistics.h"

#include <gtest/gtest.h>

#include <cstring>

#include "hosts/adapterctl/zelcon_records.h"
#include "utility/ui/debug_stats_page.h"
#include "utility/ui/testing/column_fit.h"
#include "utility/ui/testing/show_page.h"

namespace zelcon_test {
namespace {

using zfw::testing::processEvents;

template <class Record>
std::vector<uint8_t> BytesOf(const Record& record) {
  std::vector<uint8_t> bytes(sizeof(Record));
  std::memcpy(bytes.data(), &record, sizeof(Record));
  return bytes;
}

NDIS_802_11_STATISTICS Stats(int64_t base) {
  NDIS_802_11_STATISTICS s{};
  s.Length = sizeof(s);
  s.TransmittedFragmentCount = base + 1;
  s.MulticastTransmittedFrameCount = base + 2;
  s.FailedCount = base + 3;
  s.RetryCount = base + 4;
  s.MultipleRetryCount = base + 5;
  s.RTSSuccessCount = base + 6;
  s.RTSFailureCount = base + 7;
  s.ACKFailureCount = base + 8;
  s.FrameDuplicateCount = base + 9;
  s.ReceivedFragmentCount = base + 10;
  s.MulticastReceivedFrameCount = base + 11;
  s.FCSErrorCount = base + 12;
  return s;
}

using Rows = std::vector<std::vector<std::string>>;

Rows ListRows(zfw::Wnd& page, int id) {
  zfw::ListView list = page.listView(id);
  Rows rows;
  for (int r = 0; r < list.itemCount(); ++r) {
    std::vector<std::string> row;
    for (int c = 0; c < 4; ++c) row.push_back(list.itemText(r, c));
    rows.push_back(row);
  }
  return rows;
}

struct StatisticsTest : ZelconFixture {
  zfw::PropertyPage* page = nullptr;

  // Starts the utility with the plain or the detailed page and shows it.
  void ShowStatistics(bool detailed) {
    if (detailed) {
      plat::IniFile ini = Ini();
      ini.WriteInt("Debug", "Statistics", 1);
    }
    if (detailed) {
      page = ShowPage<CDebugStatsPage>(*this);
    } else {
      page = ShowPage<CStatistics>(*this);
    }
    ASSERT_NE(page, nullptr);
  }
  void Tick() { fake.timers.advance(1000); }
  void Linked(uint32_t wlanMode) {
    Sheet().Link().connected = 1;
    Sheet().Link().wlanMode = wlanMode;
  }
};

TEST_F(StatisticsTest, ListsShowTheCountersAndTheLinkIcon) {
  ShowStatistics(false);
  EXPECT_TRUE(fake.timers.isRunning(*page, CStatistics::kTimerId));
  EXPECT_EQ(fake.timers.period(*page, CStatistics::kTimerId), 1000u);
  EXPECT_EQ(page->listView(1003).columnCount(), 4);
  EXPECT_EQ(page->listView(1003).columnWidth(0), 450 / 4 - 1);
  NDIS_802_11_STATISTICS s = Stats(100);
  s.TransmittedFragmentCount = 0x1FFFFFFFFLL;  // only the low 32 bits are shown
  lib.SetBytes("QueryStatistics", BytesOf(s));
  lib.SetBytes("QueryBeaconStatistics", BytesOf(BEACON_STATS{77, 3}));
  Linked(1);
  Tick();
  EXPECT_EQ(ListRows(*page, 1003),
            (Rows{{"Total Packet", "101", "Failed Count", "103"},
                  {"Unicast Packet", "4294967295", "RTS Success", "106"},
                  {"Multicast Packet", "102", "RTS Failure", "107"},
                  {"Single Retries", "104", "ACK Error", "108"},
                  {"Multiple Retries", "105", "", ""}}));
  EXPECT_EQ(ListRows(*page, 1004),
            (Rows{{"Total Packet", "221", "Duplicate Frame", "109"},
                  {"Unicast Packet", "110", "Received Beacons", "77"},
                  {"Multicast Packet", "111", "Beacon Loss", "3"}}));
  for (int list : {1003, 1004}) {
    for (int column = 0; column < 4; ++column) ExpectColumnShowsItsTextsWhole(*page, list, column);
  }
  zfw::testing::saveScreenshot(Sheet(), "statistics");

  auto& stats = dynamic_cast<CStatistics&>(*page);
  const struct {
    uint32_t wlanMode;
    int icon;
  } modes[] = {{1, 157}, {2, 160}, {0, 140}, {3, 140}};
  for (const auto& m : modes) {
    Linked(m.wlanMode);
    Tick();
    EXPECT_EQ(stats.StatusIcon(), m.icon) << m.wlanMode;
  }
  Sheet().Link().connected = 0;
  Tick();
  EXPECT_EQ(stats.StatusIcon(), 136);
  EXPECT_EQ(page->progressBar(CStatistics::kSignalBar).pos(), 0);

  ASSERT_TRUE(Sheet().setActivePage(0));
  EXPECT_FALSE(fake.timers.isRunning(*page, CStatistics::kTimerId));
}

TEST_F(StatisticsTest, SignalBarAveragesTheSamplesRoundedUpAndCapped) {
  ShowStatistics(false);
  Linked(1);
  const struct {
    std::vector<int> dbm;
    int bar;
  } cases[] = {
      {{-60, -61, -62}, 35},
      {{-50}, 40},
      {{-60, -61}, 36},         // 36 + 35 = 71 / 2 rounded up
      {{-120}, 0},              // below -96 dBm counts as 0
      {{-86, -86, -86, -86, -86, -86, -86, -86, -86, -86, -66}, 12},  // ten held: 9*10 + 30
  };
  for (const auto& c : cases) {
    Sheet().Link().connected = 0;
    Tick();  // the link went down: the samples restart
    Linked(1);
    for (int dbm : c.dbm) {
      lib.SetDword("QueryRssi", static_cast<uint32_t>(dbm));
      Tick();
    }
    EXPECT_EQ(page->progressBar(CStatistics::kSignalBar).pos(), c.bar) << c.dbm.size();
  }
}

TEST_F(StatisticsTest, RadioOffKeepsTheListsAndQueriesNothing) {
  ShowStatistics(false);
  Linked(1);
  lib.SetBytes("QueryStatistics", BytesOf(Stats(0)));
  Tick();
  const Rows before = ListRows(*page, 1003);
  dynamic_cast<CStatistics&>(*page).OnRadioStateChanged(0);
  lib.SetBytes("QueryStatistics", BytesOf(Stats(500)));
  lib.ClearCalls();
  Tick();
  EXPECT_FALSE(Called("QueryStatistics()"));
  EXPECT_FALSE(Called("QueryRssi()"));
  EXPECT_EQ(ListRows(*page, 1003), before);
}

TEST_F(StatisticsTest, DetailedPageRebasesAfterResetAndCountsFcsPerSecond) {
  ShowStatistics(true);
  ASSERT_EQ(page->templateId(), 124);
  // Activation shows zeros until the first tick.
  EXPECT_EQ(ListRows(*page, 1004)[1], (std::vector<std::string>{"Unicast Packet", "0",
                                                                  "FCS Per Sec", "0"}));
  lib.SetBytes("QueryStatistics", BytesOf(Stats(1000)));
  RSSI_STATS rssi{{5, 6, 7, 8}};
  lib.SetBytes("QueryRssiStat", BytesOf(rssi));
  lib.SetBytes("QueryBeaconStatistics", BytesOf(BEACON_STATS{40, 2}));
  Tick();
  EXPECT_EQ(ListRows(*page, 1004),
            (Rows{{"Total Packet", "2021", "FCS Error", "1012"},
                  {"Unicast Packet", "1010", "FCS Per Sec", "1012"},
                  {"Multicast Packet", "1011", "Received Beacons", "40"},
                  {"Duplicate Frame", "1009", "Beacon Loss", "2"}}));
  EXPECT_EQ(ListRows(*page, 1007), (Rows{{"0 -- 19", "5", "40 -- 59", "7"},
                                         {"20 -- 39", "6", "60 & Up", "8"}}));
  zfw::testing::saveScreenshot(Sheet(), "debug_statistics");

  NDIS_802_11_STATISTICS later = Stats(1000);
  later.FCSErrorCount = 1030;
  lib.SetBytes("QueryStatistics", BytesOf(later));
  Tick();
  EXPECT_EQ(ListRows(*page, 1004)[1][3], "18");
  Tick();
  EXPECT_EQ(ListRows(*page, 1004)[1][3], "0");  // nothing new

  lib.ClearCalls();
  ASSERT_TRUE(zfw::testing::click(*page, 1001));
  EXPECT_EQ(lib.CallTexts(), (std::vector<std::string>{"QueryStatistics()", "ResetStatistics()"}));
  // The counters grew by 7 since Reset; the FCS rate starts over from the whole count.
  lib.SetBytes("QueryStatistics", BytesOf(Stats(1007)));
  Tick();
  EXPECT_EQ(ListRows(*page, 1003),
            (Rows{{"Total Packet", "2017", "Failed Count", "7"},
                  {"Unicast Packet", "1008", "RTS Success", "7"},
                  {"Multicast Packet", "1009", "RTS Failure", "7"},
                  {"Single Retries", "7", "ACK Error", "7"},
                  {"Multiple Retries", "7", "", ""}}));
  EXPECT_EQ(ListRows(*page, 1004)[1][3], "1019");

  // The adapter reset its counters on its own: they fall below the baselines, and are shown
  // as they are rather than as negative or wrapped figures.
  lib.SetBytes("QueryStatistics", BytesOf(Stats(0)));
  Tick();
  EXPECT_EQ(ListRows(*page, 1003)[0][3], "3");
  EXPECT_EQ(ListRows(*page, 1003)[3], (std::vector<std::string>{"Single Retries", "4",
                                                                  "ACK Error", "8"}));
  EXPECT_EQ(ListRows(*page, 1004)[1][3], "0");
}

}  // namespace
}  // namespace zelcon_test
