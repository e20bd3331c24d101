// The local device list: one row per interface with a local adapter.
#pragma once

#include <QTreeWidget>
#include <vector>

#include "ui/presentation/main_page_controller.h"

namespace quorrel::qtui {

class LocalListView final : public QTreeWidget {
  Q_OBJECT

 public:
  explicit LocalListView(QWidget* parent = nullptr);
  void setup(int iconSize);
  void showRows(const std::vector<ui::LocalRow>& rows, int selectedRow);
  int selectedRow() const;

 private:
  QIcon icon_;
  bool showIcon_ = false;
};

}  // namespace quorrel::qtui
