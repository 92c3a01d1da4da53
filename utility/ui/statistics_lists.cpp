#include "utility/ui/statistics_lists.h"

#include <string_view>

namespace statistics_lists {

void SetUpColumns(zfw::ListView list) {
  list.setExtendedStyle(list.extendedStyle() | zfw::LVS_EX_GRIDLINES);
  const int width = kListWidth / 4 - 1;
  constexpr std::string_view kHeadings[] = {"Element", "Data", "Element", "Data"};
  for (int column = 0; column < 4; ++column) list.insertColumn(column, kHeadings[column], width);
}

std::string Counter(int64_t value) {
  return std::to_string(static_cast<uint32_t>(static_cast<uint64_t>(value)));
}

void Fill(zfw::ListView list, const std::vector<Row>& rows) {
  // Rows are kept and overwritten so that a refresh does not make the list flicker.
  while (list.itemCount() > static_cast<int>(rows.size())) list.deleteItem(list.itemCount() - 1);
  for (int row = 0; row < static_cast<int>(rows.size()); ++row) {
    if (row >= list.itemCount()) list.insertItem(row, rows[row][0]);
    for (int column = 0; column < 4; ++column) list.setItemText(row, column, rows[row][column]);
  }
  // A quarter of the list is too narrow for the longer names ("Received Beacons").
  list.widenColumnsToFit();
}

std::vector<Row> TransmitRows(const NDIS_802_11_STATISTICS& s) {
  return {{"Total Packet", Counter(s.TransmittedFragmentCount + s.MulticastTransmittedFrameCount),
           "Failed Count", Counter(s.FailedCount)},
          {"Unicast Packet", Counter(s.TransmittedFragmentCount), "RTS Success",
           Counter(s.RTSSuccessCount)},
          {"Multicast Packet", Counter(s.MulticastTransmittedFrameCount), "RTS Failure",
           Counter(s.RTSFailureCount)},
          {"Single Retries", Counter(s.RetryCount), "ACK Error", Counter(s.ACKFailureCount)},
          {"Multiple Retries", Counter(s.MultipleRetryCount), "", ""}};
}

}  // namespace statistics_lists
