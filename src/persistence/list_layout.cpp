// The remote device list's column order, widths and sort state, as the data file keeps them.
#include "persistence/list_layout.h"

#include <algorithm>

namespace quorrel::persistence {

namespace {
// What the data file keeps, and the list that shows it (none until the pages give one).
struct Layout {
  ListSettings settings;
  ListLayout* layout = nullptr;
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
void ResetListSettings() {
  state.settings = ListSettings{};
}

void setListLayout(ListLayout* l) {
  state.layout = l;
}
ListLayout* listLayout() {
  return state.layout;
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

void CaptureListLayout() {
  if (state.layout == nullptr) return;
  const int count = clampedCount(state.layout->columnCount());
  ColumnArray order = state.layout->columnOrder();
  if (!isColumnOrderValid(order, count)) order = defaultColumnOrder(count);
  completeOrder(order, count);
  state.settings.columnOrder = order;
  for (int c = 0; c < kRemoteColumns; ++c)
    state.settings.columnWidths[c] = c < count ? state.layout->columnWidth(c) : 0;
}

void ApplyListLayout() {
  if (state.layout == nullptr) return;
  const int count = clampedCount(state.layout->columnCount());
  if (!isColumnOrderValid(state.settings.columnOrder, count))
    state.settings.columnOrder = defaultColumnOrder(count);
  completeOrder(state.settings.columnOrder, count);
  state.layout->setColumnOrder(state.settings.columnOrder);
  for (int c = 0; c < count; ++c) {
    const std::int32_t w = state.settings.columnWidths[c];
    if (w >= 0 && w <= kMaxColumnWidth) state.layout->setColumnWidth(c, w);
  }
}

}  // namespace quorrel::persistence
