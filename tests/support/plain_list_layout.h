// A list layout without widgets: the columns the preferences ask for, order and widths as set.
#pragma once

#include "persistence/list_layout.h"

namespace quorrel::testing {

class PlainListLayout final : public persistence::ListLayout {
 public:
  explicit PlainListLayout(int columns = persistence::kRemoteColumns)
      : count(columns), order(persistence::defaultColumnOrder(columns)) {}
  int columnCount() const override { return count; }
  persistence::ColumnArray columnOrder() const override { return order; }
  std::int32_t columnWidth(int c) const override { return c >= 0 && c < count ? widths[c] : 0; }
  void setColumnOrder(const persistence::ColumnArray& o) override {
    order = o;
    ++orderSets;
  }
  void setColumnWidth(int c, std::int32_t w) override {
    if (c >= 0 && c < count) widths[c] = w;
  }

  int count;
  persistence::ColumnArray order;
  persistence::ColumnArray widths{140, 120, 70, 80, 110};
  int orderSets = 0;
};

}  // namespace quorrel::testing
