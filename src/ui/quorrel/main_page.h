// The Main page: the local and remote device lists, the scan state and the buttons; the
// decisions are MainPageController's, this class lays out widgets and forwards events.
#pragma once

#include <QImage>
#include <QTimer>
#include <memory>

#include "ui/presentation/main_page_controller.h"
#include "ui/quorrel/sheet_page.h"

class QLabel;
class QPushButton;

namespace quorrel::qtui {

class LocalListView;
class RemotesListView;

inline constexpr int kMainPageWidthDlu = 392;
inline constexpr int kMainPageHeightDlu = 215;
inline constexpr const char* kOemSmallBitmap = "oemSmall.bmp";
inline constexpr const char* kCertBitmap = "cert.bmp";

class MainPage final : public SheetPage, public ui::MainPageView {
 public:
  MainPage(ui::ScanControl& scan, ui::ShellState& shell, QWidget* parent = nullptr);
  ~MainPage() override;

  // The page's start-up work; the sheet runs it once, when the page first exists.
  void initialise();

  void pageEntered() override;
  void pageLeft() override;
  void closeRequested() override;

  ui::MainPageController& controller() { return *controller_; }
  LocalListView* localList() const { return localList_; }
  RemotesListView* remoteList() const { return remoteList_; }
  QLabel* statusLabel() const { return status_; }
  QLabel* countLabel() const { return count_; }
  QLabel* networkTypeLabel() const { return networkType_; }
  QLabel* connectedLabel() const { return connected_; }
  QPushButton* scanButton() const { return scanButton_; }
  // Where the page's operations run.
  ui::ScanControl& scan() const { return scan_; }
  QPushButton* renameButton() const { return renameButton_; }
  QPushButton* connectButton() const { return connectButton_; }
  QPushButton* upgradeButton() const { return upgradeButton_; }
  QPushButton* passwordButton() const { return passwordButton_; }
  QPushButton* addButton() const { return addButton_; }
  const ui::ShellState& shell() const { return shell_; }
  // The Enter Password and Add buttons' dialogs, modal over the page.
  void openPasswordDialog();
  void openAddDialog();
  const QTimer& scanTimer() const { return timer_; }

  // MainPageView
  void setupLists(const ui::ColumnSet& columns) override;
  persistence::ShownColumns remoteColumns() const override;
  void showRemoteColumns(const persistence::ShownColumns& columns) override;
  void setStatusText(const std::string& text) override;
  void setNetworkTypeText(const std::string& text) override;
  void setCountText(const std::string& text) override;
  void setConnectedText(const std::string& text) override;
  void showLocalRows(const std::vector<ui::LocalRow>& rows, int selectedRow) override;
  int selectedLocalRow() const override;
  void showRemoteRows(const ui::RemoteRows& rows) override;
  void setScanTimer(bool running, std::uint32_t periodMs) override;
  void editRemoteName(int row) override;
  void setUpgradeEnabled(bool enable) override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void updateWidgets();

  ui::ShellState& shell_;
  QPushButton* passwordButton_ = nullptr;
  QPushButton* addButton_ = nullptr;
  LocalListView* localList_ = nullptr;
  RemotesListView* remoteList_ = nullptr;
  QLabel* connected_ = nullptr;
  QLabel* count_ = nullptr;
  QLabel* networkType_ = nullptr;
  QLabel* status_ = nullptr;
  QPushButton* connectButton_ = nullptr;
  QPushButton* renameButton_ = nullptr;
  QPushButton* scanButton_ = nullptr;
  QPushButton* upgradeButton_ = nullptr;
  QTimer timer_;
  ui::ScanControl& scan_;
  QImage oemSmall_, cert_;
  std::unique_ptr<ui::MainPageController> controller_;
};

}  // namespace quorrel::qtui
