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

// What the remote device list offers the data file; the widget implements it.
class ListLayout {
 public:
  virtual ~ListLayout() = default;
  // Columns present, kMinRemoteColumns..kRemoteColumns.
  virtual int columnCount() const = 0;
  // Display order of the columns present: `order[p]` for p < columnCount().
  virtual ColumnArray columnOrder() const = 0;
  // Width of column index `column`; 0 for a column that is not present.
  virtual std::int32_t columnWidth(int column) const = 0;
  // `order` holds columnCount() valid entries, a permutation of the columns present.
  virtual void setColumnOrder(const ColumnArray& order) = 0;
  virtual void setColumnWidth(int column, std::int32_t width) = 0;
};

// The stored settings; the sort state is read and changed by the list's sort toggle.
ListSettings& listSettings();
// Puts the stored settings back to their start values.
void ResetListSettings();

// The list the settings go to (nullptr: none yet). The caller keeps ownership.
void setListLayout(ListLayout* layout);
ListLayout* listLayout();

// The order columns take when inserted one after another at display position 1:
// Name first, then the rest in reverse index order.
ColumnArray defaultColumnOrder(int columnCount);
// True when the first `columnCount` entries are a permutation of 0..columnCount-1.
bool isColumnOrderValid(const ColumnArray& order, int columnCount);

// Reads the list's order and widths into the stored settings (right after the list's columns
// are made, and before each save). Nothing happens without a list.
void CaptureListLayout();
// Gives the stored order and widths to the list. An order that is not a permutation of the
// columns present is replaced by the default order; widths outside 0..kMaxColumnWidth are
// left as the list has them.
void ApplyListLayout();

}  // namespace quorrel::persistence
