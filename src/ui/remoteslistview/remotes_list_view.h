// The remote device list: a report view that draws RemoteRows, lets the user drag and size
// its columns (it says when; the Main page keeps them in the data file), sort by header click
// and rename a device in place.
#pragma once

#include <QTreeWidget>
#include <array>
#include <string>

#include "persistence/list_layout.h"
#include "ui/presentation/remote_rows.h"

namespace quorrel::qtui {

struct RemoteListLook {
  int iconSize = 24;  // 0: no images
  std::int32_t listColour = 0;
  std::string workingDirectory;  // where the four device images are
  int qualityStyle = 0;          // the Quality column makes room for this style's texts
};

class RemotesListView final : public QTreeWidget {
  Q_OBJECT

 public:
  explicit RemotesListView(QWidget* parent = nullptr);
  ~RemotesListView() override;

  void setupColumns(const ui::ColumnSet& columns, const RemoteListLook& look);
  void showRows(const ui::RemoteRows& rows);
  int selectedRow() const;
  // Opens the in-place editor on the name of `row`.
  void editName(int row);
  const ui::ColumnSet& columns() const { return columns_; }

  // The columns as shown, and the ones to show: a width of -1 keeps the column's, an order
  // that is not a permutation of the columns present keeps the order.
  persistence::ShownColumns shownColumns() const;
  void showColumns(const persistence::ShownColumns& shown);
  // `order` holds columnCount() valid entries, a permutation of the columns present.
  void setColumnOrder(const persistence::ColumnArray& order);
  void setColumnWidth(int column, std::int32_t width);

  static const char* headerText(ui::ColumnKind kind);
  // The width each column was drawn with in the page's original face.
  static int drawnWidth(ui::ColumnKind kind);
  // At least the drawn width, and wide enough in this font for the column's header text and,
  // in the Quality column, for every quality text of the style.
  int defaultWidth(int column) const;

 signals:
  void headerClicked(int column);
  // A column was moved or sized.
  void columnsChanged();
  void rowSelected(int row);
  void nameEditBegan(int row);
  void nameEditEnded(int row, bool cancelled, const QString& text);

 protected:
  bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
  void commitData(QWidget* editor) override;
  void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

 private:
  ui::ColumnSet columns_;
  std::array<QIcon, 4> images_;
  bool showImages_ = false;
  int qualityWidth_ = 0;
  int editRow_ = -1;
  bool committed_ = false;
  QString committedText_;
};

}  // namespace quorrel::qtui
