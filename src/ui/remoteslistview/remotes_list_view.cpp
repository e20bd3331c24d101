// The remote device list widget.
#include "ui/remoteslistview/remotes_list_view.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QStyledItemDelegate>
#include <algorithm>

#include "ui/presentation/quality_text.h"
#include "ui/presentation/rename_rules.h"
#include "ui/qtplatform/page_metrics.h"

namespace quorrel::qtui {

namespace {
// Limits the typed name; the rename rules decide what of it is kept.
class NameDelegate final : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                        const QModelIndex& index) const override {
    QWidget* w = QStyledItemDelegate::createEditor(parent, option, index);
    if (auto* line = qobject_cast<QLineEdit*>(w))
      line->setMaxLength(static_cast<int>(ui::kMaxTypedNameLength));
    return w;
  }
  // The controller stores the name and redraws the row; the model is left alone here.
  void setModelData(QWidget*, QAbstractItemModel*, const QModelIndex&) const override {}
};
}  // namespace

RemotesListView::RemotesListView(QWidget* parent) : QTreeWidget(parent) {
  setRootIsDecorated(false);
  setUniformRowHeights(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setAllColumnsShowFocus(true);
  setSortingEnabled(false);
  setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::EditKeyPressed);
  setItemDelegateForColumn(0, new NameDelegate(this));
  header()->setSectionsMovable(true);
  header()->setSectionsClickable(true);
  header()->setStretchLastSection(false);
  connect(header(), &QHeaderView::sectionClicked, this, &RemotesListView::headerClicked);
  connect(this, &QTreeWidget::itemSelectionChanged, this,
          [this] { emit rowSelected(selectedRow()); });
  connect(header(), &QHeaderView::sectionMoved, this, &RemotesListView::columnsChanged);
  connect(header(), &QHeaderView::sectionResized, this, &RemotesListView::columnsChanged);
}

RemotesListView::~RemotesListView() = default;

const char* RemotesListView::headerText(ui::ColumnKind kind) {
  switch (kind) {
    case ui::ColumnKind::Name:
      return "Device Name";
    case ui::ColumnKind::Mac:
      return "MAC Address";
    case ui::ColumnKind::Rate:
      return "Rate (Mbps)";
    case ui::ColumnKind::Quality:
      return "Quality";
    case ui::ColumnKind::Password:
      return "Password";
  }
  return "";
}

int RemotesListView::drawnWidth(ui::ColumnKind kind) {
  switch (kind) {
    case ui::ColumnKind::Name:
      return 140;
    case ui::ColumnKind::Mac:
      return 120;
    case ui::ColumnKind::Rate:
      return 70;
    case ui::ColumnKind::Quality:
      return 80;
    case ui::ColumnKind::Password:
      return 110;
  }
  return 100;
}

int RemotesListView::defaultWidth(int column) const {
  const ui::ColumnKind kind = columns_.kindAt(column);
  const int width = std::max(drawnWidth(kind), header()->sectionSizeHint(column));
  return kind == ui::ColumnKind::Quality ? std::max(width, qualityWidth_) : width;
}

void RemotesListView::setupColumns(const ui::ColumnSet& columns, const RemoteListLook& look) {
  columns_ = columns;
  QStringList headers;
  for (ui::ColumnKind k : columns_.kinds) headers << QString::fromUtf8(headerText(k));
  setColumnCount(columns_.count());
  setHeaderLabels(headers);
  // The cell's room for a text, as the item delegate measures it.
  QStyleOptionViewItem cell;
  initViewItemOption(&cell);
  cell.features |= QStyleOptionViewItem::HasDisplay;
  qualityWidth_ = 0;
  for (const std::string& text : ui::qualityTextsUpToFullScale(look.qualityStyle)) {
    cell.text = QString::fromStdString(text);
    qualityWidth_ = std::max(
        qualityWidth_, style()->sizeFromContents(QStyle::CT_ItemViewItem, &cell, {}, this).width());
  }
  for (int c = 0; c < columns_.count(); ++c) header()->resizeSection(c, defaultWidth(c));
  setColumnOrder(persistence::defaultColumnOrder(columns_.count()));

  const ui::Rgb colour = ui::listTextColour(look.listColour);
  QPalette p = palette();
  p.setColor(QPalette::Text, QColor(colour.r, colour.g, colour.b));
  setPalette(p);

  showImages_ = look.iconSize > 0;
  if (showImages_) {
    setIconSize(QSize(look.iconSize, look.iconSize));
    for (const ui::DeviceImage& image : ui::kDeviceImages)
      images_[static_cast<std::size_t>(image.index)] =
          loadListImage(look.workingDirectory + "/" + std::string(image.file), look.iconSize);
  }
}

void RemotesListView::showRows(const ui::RemoteRows& rows) {
  // An editor whose row goes away closes without a word; its edit still has to end, or the
  // autoscan it suspended would stay off.
  int lostEdit = -1;
  if (editRow_ >= rows.size()) {
    lostEdit = editRow_;
    editRow_ = -1;
    committed_ = false;
  }
  {
    const QSignalBlocker quiet(this);
    QString selectedMac;
    const int macColumn = columns_.indexOf(ui::ColumnKind::Mac);
    if (QTreeWidgetItem* s = currentItem(); s != nullptr && s->isSelected())
      selectedMac = s->text(macColumn);
    while (topLevelItemCount() > rows.size()) delete takeTopLevelItem(topLevelItemCount() - 1);
    while (topLevelItemCount() < rows.size()) {
      auto* item = new QTreeWidgetItem(this);
      item->setFlags(item->flags() | Qt::ItemIsEditable);
    }
    QTreeWidgetItem* reselect = nullptr;
    for (int r = 0; r < rows.size(); ++r) {
      const ui::RemoteRow& row = rows.rows()[static_cast<std::size_t>(r)];
      QTreeWidgetItem* item = topLevelItem(r);
      for (int c = 0; c < columns_.count(); ++c)
        item->setText(c, QString::fromStdString(row.text(columns_.kindAt(c))));
      item->setData(0, Qt::UserRole, row.remoteIndex);
      if (showImages_) item->setIcon(0, images_[static_cast<std::size_t>(row.image & 3)]);
      if (!selectedMac.isEmpty() && selectedMac == item->text(macColumn)) reselect = item;
    }
    clearSelection();
    if (reselect != nullptr) {
      setCurrentItem(reselect);
      reselect->setSelected(true);
    }
  }
  if (lostEdit >= 0) emit nameEditEnded(lostEdit, true, QString());
  emit rowSelected(selectedRow());
}

int RemotesListView::selectedRow() const {
  const QList<QTreeWidgetItem*> s = selectedItems();
  return s.isEmpty() ? -1 : indexOfTopLevelItem(s.first());
}

void RemotesListView::editName(int row) {
  QTreeWidgetItem* item = topLevelItem(row);
  if (item == nullptr) return;
  setFocus();
  setCurrentItem(item, 0);
  editItem(item, 0);
}

bool RemotesListView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
  // Only the name is edited, from whichever cell of its row the user starts.
  if (index.isValid() && index.column() != 0) return edit(index.siblingAtColumn(0), trigger, event);
  if (editRow_ >= 0) return QTreeWidget::edit(index, trigger, event);
  const bool opened = QTreeWidget::edit(index, trigger, event);
  if (opened && state() == QAbstractItemView::EditingState) {
    editRow_ = index.row();
    committed_ = false;
    emit nameEditBegan(editRow_);
  }
  return opened;
}

void RemotesListView::commitData(QWidget* editor) {
  if (auto* line = qobject_cast<QLineEdit*>(editor)) {
    committed_ = true;
    committedText_ = line->text();
  }
  QTreeWidget::commitData(editor);
}

void RemotesListView::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
  QTreeWidget::closeEditor(editor, hint);
  if (editRow_ < 0) return;
  const int row = editRow_;
  editRow_ = -1;
  const bool cancelled = !committed_;
  committed_ = false;
  emit nameEditEnded(row, cancelled, committedText_);
}

persistence::ShownColumns RemotesListView::shownColumns() const {
  persistence::ShownColumns shown;
  shown.count = columns_.count();
  for (int p = 0; p < persistence::kRemoteColumns; ++p) {
    const auto at = static_cast<std::size_t>(p);
    shown.order[at] = p < shown.count ? header()->logicalIndex(p) : p;
    shown.widths[at] = p < shown.count ? header()->sectionSize(p) : 0;
  }
  return shown;
}

void RemotesListView::showColumns(const persistence::ShownColumns& shown) {
  setColumnOrder(shown.order);
  for (int c = 0; c < columns_.count(); ++c)
    setColumnWidth(c, shown.widths[static_cast<std::size_t>(c)]);
}

void RemotesListView::setColumnOrder(const persistence::ColumnArray& order) {
  if (!persistence::isColumnOrderValid(order, columns_.count())) return;
  for (int p = 0; p < columns_.count(); ++p)
    header()->moveSection(header()->visualIndex(order[static_cast<std::size_t>(p)]), p);
}

void RemotesListView::setColumnWidth(int column, std::int32_t width) {
  if (column < 0 || column >= columns_.count() || width < 0) return;
  // Data files of earlier versions hold the drawn widths, which the user never chose and
  // which may cut the texts in this font.
  if (width == drawnWidth(columns_.kindAt(column))) width = defaultWidth(column);
  header()->resizeSection(column, width);
}

}  // namespace quorrel::qtui
