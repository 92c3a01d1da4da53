#pragma once
// What the two statistics pages share: the four-column counter lists ("Element", "Data",
// "Element", "Data") and the way a counter is printed.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "hosts/adapterctl/zelcon_records.h"
#include "platform/gui/list_view.h"

namespace statistics_lists {

// The width every counter list is given.
inline constexpr int kListWidth = 450;

using Row = std::array<std::string, 4>;

// Grid lines on and the four columns, each a quarter of the list's width less one.
void SetUpColumns(zfw::ListView list);
// The low 32 bits of a counter, unsigned: what the adapter's 32-bit counters show.
std::string Counter(int64_t value);
// Replaces the list's rows with `rows`, widening a column whose text would not fit.
void Fill(zfw::ListView list, const std::vector<Row>& rows);

// The transmit list's rows, the same on both pages (the detailed page passes its rebased
// counters).
std::vector<Row> TransmitRows(const NDIS_802_11_STATISTICS& stats);

}  // namespace statistics_lists
