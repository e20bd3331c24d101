// A remote list without widgets: the columns the preferences ask for, order and widths as set.
#pragma once

#include "persistence/list_layout.h"

namespace quorrel::testing {

struct PlainListLayout {
  explicit PlainListLayout(int columns = persistence::kRemoteColumns)
      : count(columns), order(persistence::defaultColumnOrder(columns)) {}
  persistence::ShownColumns shown() const { return {count, order, widths}; }
  // As the widget takes them: an order only when it fits, a width only when not -1.
  void show(const persistence::ShownColumns& s) {
    if (persistence::isColumnOrderValid(s.order, count)) order = s.order;
    for (int c = 0; c < count; ++c)
      if (s.widths[c] >= 0) widths[c] = s.widths[c];
  }

  int count;
  persistence::ColumnArray order;
  persistence::ColumnArray widths{140, 120, 70, 80, 110};
};

}  // namespace quorrel::testing
