// The remote device list's column order, widths and sort state, as the data file keeps them.
#pragma once

#include <array>
#include <cstdint>

namespace quorrel::persistence {

// Name, MAC address, Rate (Mbps), Quality, Password: the most the remote list ever has.
inline constexpr int kRemoteColumns = 5;
// Name, MAC address and Password are always there.
inline constexpr int kMinRemoteColumns = 3;
// Wider than any screen; a stored width beyond it is not applied.
inline constexpr std::int32_t kMaxColumnWidth = 8192;
// The sort state before a data file says otherwise.
inline constexpr std::uint32_t kDefaultSortDirection = 1;
inline constexpr std::uint32_t kDefaultSortColumn = 1;

using ColumnArray = std::array<std::int32_t, kRemoteColumns>;

struct ListSettings {
  // For each display position the index of the column shown there. Positions past the columns
  // present hold the missing indices in rising order, so the array is always a permutation.
  ColumnArray columnOrder{0, 4, 3, 2, 1};
  ColumnArray columnWidths{140, 120, 70, 80, 110};      // by column index; 0 for a missing column
  std::uint32_t sortDirection = kDefaultSortDirection;  // 0 or 1
  std::uint32_t sortColumn = kDefaultSortColumn;        // 0..4

  bool operator==(const ListSettings&) const = default;
};

// The columns a remote device list shows: how many, their display order (`order[p]` for
// p < count) and the width of each column index (0 for a column not present).
struct ShownColumns {
  int count = kRemoteColumns;
  ColumnArray order{0, 4, 3, 2, 1};
  ColumnArray widths{};

  bool operator==(const ShownColumns&) const = default;
};

// The stored settings; the sort state is read and changed by the list's sort toggle.
ListSettings& listSettings();
// Puts the stored settings back to their start values.
void resetListSettings();

// The order columns take when inserted one after another at display position 1:
// Name first, then the rest in reverse index order.
ColumnArray defaultColumnOrder(int columnCount);
// True when the first `columnCount` entries are a permutation of 0..columnCount-1.
bool isColumnOrderValid(const ColumnArray& order, int columnCount);

// The settings with the order and widths `shown` (when the list's columns are made, and
// whenever the user moves or sizes one): an order that is not a permutation of the columns
// present is stored as the default order, and the positions and widths past the columns
// present as the missing indices and 0.
ListSettings withShownColumns(ListSettings settings, const ShownColumns& shown);
// What a list of `count` columns should show of `settings`: an order that is not a
// permutation of the columns present gives way to the default order; a width outside
// 0..kMaxColumnWidth is -1, for the list to keep the one it has.
ShownColumns columnsToShow(const ListSettings& settings, int count);

}  // namespace quorrel::persistence
