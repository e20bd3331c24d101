// The remote device list's column order, widths and sort state, as the data file keeps them.
#include "persistence/list_layout.h"

#include <algorithm>

namespace quorrel::persistence {

namespace {
// What the data file keeps.
struct Layout {
  ListSettings settings;
};
Layout state;

int clampedCount(int count) {
  return std::clamp(count, kMinRemoteColumns, kRemoteColumns);
}

// Fills the positions past `count` with the indices that are not present.
void completeOrder(ColumnArray& order, int count) {
  for (int p = count; p < kRemoteColumns; ++p) order[p] = p;
}
}  // namespace

ListSettings& listSettings() {
  return state.settings;
}
void resetListSettings() {
  state.settings = ListSettings{};
}

ColumnArray defaultColumnOrder(int columnCount) {
  const int count = clampedCount(columnCount);
  ColumnArray order{};
  order[0] = 0;
  for (int p = 1; p < count; ++p) order[p] = count - p;
  completeOrder(order, count);
  return order;
}

bool isColumnOrderValid(const ColumnArray& order, int columnCount) {
  if (columnCount < 1 || columnCount > kRemoteColumns) return false;
  std::array<bool, kRemoteColumns> seen{};
  for (int p = 0; p < columnCount; ++p) {
    const std::int32_t c = order[p];
    if (c < 0 || c >= columnCount || seen[c]) return false;
    seen[c] = true;
  }
  return true;
}

ListSettings withShownColumns(ListSettings settings, const ShownColumns& shown) {
  const int count = clampedCount(shown.count);
  ColumnArray order = shown.order;
  if (!isColumnOrderValid(order, count)) order = defaultColumnOrder(count);
  completeOrder(order, count);
  settings.columnOrder = order;
  for (int c = 0; c < kRemoteColumns; ++c)
    settings.columnWidths[c] = c < count ? shown.widths[c] : 0;
  return settings;
}

ShownColumns columnsToShow(const ListSettings& settings, int columnCount) {
  ShownColumns shown;
  shown.count = clampedCount(columnCount);
  shown.order = settings.columnOrder;
  if (!isColumnOrderValid(shown.order, shown.count)) shown.order = defaultColumnOrder(shown.count);
  completeOrder(shown.order, shown.count);
  shown.widths.fill(-1);
  for (int c = 0; c < shown.count; ++c) {
    const std::int32_t w = settings.columnWidths[c];
    if (w >= 0 && w <= kMaxColumnWidth) shown.widths[c] = w;
  }
  return shown;
}

}  // namespace quorrel::persistence
