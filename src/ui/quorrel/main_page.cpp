// The Main page's widgets.
#include "ui/quorrel/main_page.h"

#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>

#include "persistence/preferences.h"
#include "ui/qtplatform/page_metrics.h"
#include "ui/quorrel/key_dialogs.h"
#include "ui/quorrel/network_map_dialog.h"
#include "ui/quorrel/rate_history_dialog.h"
#include "ui/quorrel/upgrade_dialogs.h"
#include "ui/remoteslistview/local_list_view.h"
#include "ui/remoteslistview/remotes_list_view.h"

namespace quorrel::qtui {

namespace {
QLabel* label(QWidget* parent, const char* text, const QRect& where) {
  auto* l = new QLabel(QString::fromUtf8(text), parent);
  // The desktop's font may run wider than the face the page was drawn for.
  l->setGeometry(where.x(), where.y(), std::max(where.width(), l->sizeHint().width()),
                 where.height());
  return l;
}
QPushButton* button(QWidget* parent, const char* text, const QRect& where) {
  auto* b = new QPushButton(QString::fromUtf8(text), parent);
  b->setGeometry(where);
  return b;
}
QString qs(const std::string& s) {
  return QString::fromStdString(s);
}
}  // namespace

MainPage::MainPage(ui::ScanControl& scan, ui::ShellState& shell, QWidget* parent)
    : SheetPage(parent), shell_(shell), scan_(scan) {
  using namespace ui::main_text;
  setFont(pageFont());
  const DialogUnits du(font());
  setMinimumSize(du.size(kMainPageWidthDlu, kMainPageHeightDlu));

  label(this, kLocalDevicesLabel, du.rect(7, 5, 108, 8));
  localList_ = new LocalListView(this);
  localList_->setGeometry(du.rect(7, 14, 178, 50));
  connected_ = label(this, kConnectionLabel, du.rect(196, 13, 164, 8));
  connectButton_ = button(this, kConnect, du.rect(194, 24, 63, 14));
  count_ = label(this, kCountLabel, du.rect(7, 69, 108, 9));
  networkType_ = label(this, kNetworkTypeLabel, du.rect(119, 69, 75, 9));
  status_ = label(this, kStatusLabel, du.rect(210, 69, 142, 9));
  status_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  remoteList_ = new RemotesListView(this);
  remoteList_->setGeometry(du.rect(7, 79, 379, 98));
  renameButton_ = button(this, kRename, du.rect(126, 195, 50, 14));
  scanButton_ = button(this, kScan, du.rect(315, 195, 50, 14));
  upgradeButton_ = button(this, "Upgrade Firmware", du.rect(194, 50, 63, 14));
  upgradeButton_->setEnabled(false);
  upgradeButton_->setAutoDefault(false);
  upgradeButton_->setVisible(persistence::preferences().showUpgradeButton != 0);
  passwordButton_ = button(this, kEnterPassword, du.rect(187, 195, 56, 14));
  addButton_ = button(this, kAdd, du.rect(257, 195, 48, 14));
  passwordButton_->setAutoDefault(false);
  addButton_->setAutoDefault(false);
  connect(passwordButton_, &QPushButton::clicked, this, [this] { openPasswordDialog(); });
  connect(addButton_, &QPushButton::clicked, this, [this] { openAddDialog(); });
  // Enter scans wherever the focus is, as the page's one default button.
  connectButton_->setAutoDefault(false);
  renameButton_->setAutoDefault(false);

  timer_.setTimerType(Qt::PreciseTimer);
  controller_ = std::make_unique<ui::MainPageController>(*this, scan, shell_);
  ui::MainPageController* c = controller_.get();
  connect(&timer_, &QTimer::timeout, this, [c] { c->timerFired(); });
  connect(scanButton_, &QPushButton::clicked, this, [this, c] {
    c->scanClicked();
    updateWidgets();
  });
  connect(connectButton_, &QPushButton::clicked, this, [this, c] {
    c->connectClicked();
    updateWidgets();
  });
  connect(renameButton_, &QPushButton::clicked, this, [c] { c->renameClicked(); });
  connect(upgradeButton_, &QPushButton::clicked, this, [this, &scan] {
    // No scan tick may exchange frames while the worker does, even a user scan left pending.
    const bool running = timer_.isActive();
    timer_.stop();
    startUpgrade(this, scan);
    if (running && !timer_.isActive()) timer_.start();
  });
  addNetworkMapMenu(localList_, scan, timer_);
  connect(remoteList_, &RemotesListView::rowSelected, this, [this, c](int row) {
    c->remoteSelectionChanged(row);
    updateWidgets();
  });
  connect(remoteList_, &RemotesListView::headerClicked, this,
          [c](int column) { c->headerClicked(column); });
  connect(remoteList_, &RemotesListView::columnsChanged, this, [c] { c->remoteColumnsChanged(); });
  connect(remoteList_, &RemotesListView::nameEditBegan, this,
          [c](int row) { c->labelEditBegan(row); });
  connect(remoteList_, &RemotesListView::nameEditEnded, this,
          [this, c](int row, bool cancelled, const QString& text) {
            if (!c->labelEditEnded(row, cancelled, text.toStdString()))
              remoteList_->showRows(c->remoteRows());
          });
  // A remote row's rate history: double-click (renaming starts from a click on a selected row
  // or F2, never a double-click) or the row's context menu.
  auto historyOf = [this, c, &scan](QTreeWidgetItem* item) {
    const int row = item != nullptr ? remoteList_->indexOfTopLevelItem(item) : -1;
    if (row < 0 || row >= c->remoteRows().size()) return;
    showRateHistory(scan, c->remoteRows().rows()[static_cast<std::size_t>(row)].mac, this);
  };
  connect(remoteList_, &QTreeWidget::itemDoubleClicked, this,
          [historyOf](QTreeWidgetItem* item) { historyOf(item); });
  remoteList_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(remoteList_, &QWidget::customContextMenuRequested, this,
          [this, historyOf, &scan](const QPoint& at) {
            QTreeWidgetItem* item = remoteList_->itemAt(at);
            QMenu menu(this);
            QAction* history =
                item != nullptr ? menu.addAction(QString::fromUtf8(kRateHistoryAction)) : nullptr;
            QAction* map = menu.addAction(kNetworkMapAction);
            QAction* chosen = menu.exec(remoteList_->viewport()->mapToGlobal(at));
            if (chosen != nullptr && chosen == history) historyOf(item);
            if (chosen == map) openNetworkMapFromPage(this, scan, timer_);
          });
  updateWidgets();
}

MainPage::~MainPage() {
  timer_.stop();
  QObject::disconnect(remoteList_, nullptr, this, nullptr);
  controller_.reset();
}

void MainPage::initialise() {
  controller_->initialise();
  oemSmall_ = loadPaletteBitmap(shell_.workingDirectory + "/" + kOemSmallBitmap);
  cert_ = loadPaletteBitmap(shell_.workingDirectory + "/" + kCertBitmap);
  updateWidgets();
  update();
}

void MainPage::pageEntered() {
  controller_->pageEntered();
}
void MainPage::pageLeft() {
  controller_->pageLeft();
}
void MainPage::closeRequested() {
  controller_->closeRequested();
}

void MainPage::updateWidgets() {
  renameButton_->setEnabled(remoteList_->selectedRow() >= 0);
}

void MainPage::setupLists(const ui::ColumnSet& columns) {
  const persistence::Preferences& prefs = persistence::preferences();
  localList_->setup(prefs.iconSize);
  remoteList_->setupColumns(columns, RemoteListLook{prefs.iconSize, prefs.listColour,
                                                    shell_.workingDirectory, prefs.qualityStyle});
}

persistence::ShownColumns MainPage::remoteColumns() const {
  return remoteList_->shownColumns();
}
void MainPage::showRemoteColumns(const persistence::ShownColumns& columns) {
  remoteList_->showColumns(columns);
}

void MainPage::setStatusText(const std::string& text) {
  status_->setText(qs(text));
}
void MainPage::setNetworkTypeText(const std::string& text) {
  networkType_->setText(qs(text));
}
void MainPage::setCountText(const std::string& text) {
  count_->setText(qs(text));
}
void MainPage::setConnectedText(const std::string& text) {
  connected_->setText(qs(text));
}

void MainPage::showLocalRows(const std::vector<ui::LocalRow>& rows, int selectedRow) {
  localList_->showRows(rows, selectedRow);
}
int MainPage::selectedLocalRow() const {
  return localList_->selectedRow();
}

void MainPage::showRemoteRows(const ui::RemoteRows& rows) {
  remoteList_->showRows(rows);
  updateWidgets();
}

void MainPage::setScanTimer(bool running, std::uint32_t periodMs) {
  timer_.stop();
  if (running) timer_.start(static_cast<int>(std::min<std::uint32_t>(periodMs, INT32_MAX)));
}

void MainPage::setUpgradeEnabled(bool enable) {
  upgradeButton_->setEnabled(enable);
}

void MainPage::editRemoteName(int row) {
  remoteList_->editName(row);
}

void MainPage::paintEvent(QPaintEvent* event) {
  SheetPage::paintEvent(event);
  QPainter painter(this);
  // Loaded once by initialise(), as PaintBitmapFile would load them for every paint; placed
  // where they sit among the controls in the face the page was drawn with.
  const DialogUnits du(font());
  if (!oemSmall_.isNull()) painter.drawImage(du.fromClassicPixels(12, 286), oemSmall_);
  if (!cert_.isNull()) painter.drawImage(du.fromClassicPixels(510, 36), cert_);
}

void MainPage::openPasswordDialog() {
  PasswordDialog dialog(*this);
  if (dialog.usable()) dialog.exec();
}

void MainPage::openAddDialog() {
  {
    AddDeviceDialog dialog(*this);
    dialog.exec();
  }
  if (persistence::preferences().autoscanEnabled == 0) controller_->RequestScan();
}

}  // namespace quorrel::qtui
