// The local device list widget.
#include "ui/remoteslistview/local_list_view.h"

#include <QApplication>
#include <QHeaderView>
#include <QStyle>

#include "ui/presentation/main_page_text.h"
#include "ui/presentation/quality_text.h"

namespace quorrel::qtui {

LocalListView::LocalListView(QWidget* parent) : QTreeWidget(parent) {
  setRootIsDecorated(false);
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setAllColumnsShowFocus(true);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setWordWrap(false);
  header()->setSectionsClickable(false);
  header()->setSectionsMovable(false);
  header()->setStretchLastSection(true);
}

void LocalListView::setup(int iconSize) {
  setColumnCount(2);
  setHeaderLabels({QString::fromUtf8(ui::main_text::kLocalTypeHeader),
                   QString::fromUtf8(ui::main_text::kLocalMacHeader)});
  header()->resizeSection(0, ui::main_text::kLocalTypeWidth);
  QPalette p = palette();
  p.setColor(QPalette::Text,
             QColor(ui::kLocalListColour.r, ui::kLocalListColour.g, ui::kLocalListColour.b));
  setPalette(p);
  showIcon_ = iconSize > 0;
  if (showIcon_) {
    setIconSize(QSize(iconSize, iconSize));
    icon_ = QApplication::style()->standardIcon(QStyle::SP_DriveNetIcon);
  }
}

void LocalListView::showRows(const std::vector<ui::LocalRow>& rows, int selectedRow) {
  clear();
  for (const ui::LocalRow& row : rows) {
    auto* item = new QTreeWidgetItem(this);
    item->setText(0, QString::fromStdString(row.label));
    item->setText(1, QString::fromStdString(row.macText));
    item->setData(0, Qt::UserRole, row.interfaceIndex);
    if (showIcon_) item->setIcon(0, icon_);
  }
  if (QTreeWidgetItem* item = topLevelItem(selectedRow)) {
    setCurrentItem(item);
    item->setSelected(true);
    setFocus();
  }
}

int LocalListView::selectedRow() const {
  const QList<QTreeWidgetItem*> s = selectedItems();
  return s.isEmpty() ? -1 : indexOfTopLevelItem(s.first());
}

}  // namespace quorrel::qtui
