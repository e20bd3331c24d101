// The Diagnostics page's widgets.
#include "ui/quorrel/diagnostics_page.h"

#include <QApplication>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeWidget>

#include "ui/qtplatform/page_metrics.h"
#include "ui/quorrel/rate_history_dialog.h"

namespace quorrel::qtui {

namespace {
QTreeWidget* reportList(QWidget* parent, const QRect& where) {
  auto* list = new QTreeWidget(parent);
  list->setGeometry(where);
  list->setRootIsDecorated(false);
  list->setUniformRowHeights(true);
  list->setAllColumnsShowFocus(true);
  list->setSelectionBehavior(QAbstractItemView::SelectRows);
  list->header()->setStretchLastSection(false);
  return list;
}
QPushButton* button(QWidget* parent, const char* text, const QRect& where) {
  auto* b = new QPushButton(QString::fromUtf8(text), parent);
  b->setGeometry(where);
  b->setAutoDefault(false);
  return b;
}
QString qs(const std::string& s) {
  return QString::fromStdString(s);
}
constexpr int kMacColumn = 1;
}  // namespace

DiagnosticsPage::DiagnosticsPage(ui::ScanControl& scan, diagnostics::Printer& printer,
                                 ui::DiagnosticsPageController::RowRemoved rowRemoved,
                                 QWidget* parent)
    : SheetPage(parent) {
  using namespace ui::diagnostics_text;
  setFont(pageFont());
  const DialogUnits du(font());
  setMinimumSize(du.size(kDiagnosticsPageWidthDlu, kDiagnosticsPageHeightDlu));
  systemList_ = reportList(this, du.rect(7, 7, 363, 73));
  systemList_->setSelectionMode(QAbstractItemView::NoSelection);
  auto* label = new QLabel(QString::fromUtf8(kHistoryLabel), this);
  const QRect at = du.rect(7, 87, 93, 8);
  label->setGeometry(at.x(), at.y(), std::max(at.width(), label->sizeHint().width()), at.height());
  historyList_ = reportList(this, du.rect(7, 96, 363, 88));
  historyList_->setSelectionMode(QAbstractItemView::SingleSelection);
  delete_ = button(this, kDelete, du.rect(65, 192, 54, 14));
  save_ = button(this, kSaveReport, du.rect(143, 192, 54, 14));
  print_ = button(this, kPrintReport, du.rect(223, 192, 54, 14));

  controller_ =
      std::make_unique<ui::DiagnosticsPageController>(*this, scan, printer, std::move(rowRemoved));
  ui::DiagnosticsPageController* c = controller_.get();
  connect(delete_, &QPushButton::clicked, this, [c] { c->deleteClicked(); });
  connect(save_, &QPushButton::clicked, this, [c] { c->saveClicked(); });
  connect(print_, &QPushButton::clicked, this, [c] { c->printClicked(); });
  c->initialise();

  // The rate history of a device in the history list: double-click or its context menu.
  auto historyOf = [this, &scan](QTreeWidgetItem* item) {
    MacAddress mac{};
    if (item != nullptr && parseMac(item->text(kMacColumn).toStdString(), mac))
      showRateHistory(scan, mac, this);
  };
  connect(historyList_, &QTreeWidget::itemDoubleClicked, this,
          [historyOf](QTreeWidgetItem* item) { historyOf(item); });
  historyList_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(historyList_, &QWidget::customContextMenuRequested, this,
          [this, historyOf](const QPoint& where) {
            QTreeWidgetItem* item = historyList_->itemAt(where);
            if (item == nullptr) return;
            QMenu menu(this);
            QAction* history = menu.addAction(QString::fromUtf8(kRateHistoryAction));
            if (menu.exec(historyList_->viewport()->mapToGlobal(where)) == history) historyOf(item);
          });
}

DiagnosticsPage::~DiagnosticsPage() = default;

void DiagnosticsPage::pageEntered() {
  controller_->pageEntered();
}
void DiagnosticsPage::pageLeft() {
  controller_->pageLeft();
}

void DiagnosticsPage::setupDiagnosticsColumns(
    const diagnostics::ReportColumn& host, const std::vector<diagnostics::ReportColumn>& remote) {
  systemList_->setHeaderLabels({QString::fromUtf8(host.title)});
  systemList_->header()->resizeSection(0, host.width);
  QStringList titles;
  for (const diagnostics::ReportColumn& c : remote) titles << QString::fromUtf8(c.title);
  historyList_->setHeaderLabels(titles);
  for (int i = 0; i < static_cast<int>(remote.size()); ++i)
    historyList_->header()->resizeSection(i, remote[static_cast<std::size_t>(i)].width);
}

void DiagnosticsPage::showLists(const diagnostics::DiagnosticsLists& lists) {
  systemList_->clear();
  QList<QTreeWidgetItem*> hostItems;
  for (const std::string& row : lists.hostRows)
    hostItems << new QTreeWidgetItem(QStringList{qs(row)});
  systemList_->addTopLevelItems(hostItems);

  // The selection and the scroll position survive a refill.
  const std::optional<std::string> selected = selectedMac();
  const int scroll =
      historyList_->verticalScrollBar() ? historyList_->verticalScrollBar()->value() : 0;
  historyList_->clear();
  QTreeWidgetItem* reselect = nullptr;
  for (const std::vector<std::string>& row : lists.remoteRows) {
    QStringList cells;
    for (const std::string& cell : row) cells << qs(cell);
    auto* item = new QTreeWidgetItem(historyList_, cells);
    if (selected && row.size() > kMacColumn && row[kMacColumn] == *selected) reselect = item;
  }
  if (reselect != nullptr) {
    historyList_->setCurrentItem(reselect);
    reselect->setSelected(true);
  }
  historyList_->verticalScrollBar()->setValue(scroll);
}

std::optional<std::string> DiagnosticsPage::selectedMac() const {
  const QList<QTreeWidgetItem*> items = historyList_->selectedItems();
  if (items.isEmpty()) return std::nullopt;
  return items.first()->text(kMacColumn).toStdString();
}

std::optional<std::string> DiagnosticsPage::chooseReportFile() {
  QFileDialog dialog(QApplication::activeWindow() != nullptr ? QApplication::activeWindow() : this);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters(QString::fromUtf8(ui::diagnostics_text::kReportFilters).split(";;"));
  dialog.setDefaultSuffix(QString::fromUtf8(ui::diagnostics_text::kReportExtension));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first().toStdString();
}

}  // namespace quorrel::qtui
