// The Main page without its widgets: the start-up of the page, scan requests, the refresh of
// both device lists after each scan phase, the sort and the rename of a remote device. The
// widgets implement MainPageView and forward the user's actions here.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "api/device_table.h"
#include "hpapi/membership.h"
#include "persistence/list_layout.h"
#include "platform/bytes.h"
#include "ui/presentation/main_page_text.h"
#include "ui/presentation/remote_rows.h"
#include "ui/presentation/scan_control.h"

namespace quorrel::ui {

inline constexpr int kPageDropThreshold = 3;
inline constexpr std::size_t kWorkingDirectorySize = 512;

struct LocalRow {
  std::string label;
  std::string macText;
  int interfaceIndex = 0;
  bool operator==(const LocalRow&) const = default;
};

class MainPageView {
 public:
  virtual ~MainPageView() = default;
  // Makes the columns of both lists; the remote list shows its default column order.
  virtual void setupLists(const ColumnSet& columns) = 0;
  // The remote list's columns as they are shown now, and the ones to show (a width of -1:
  // keep the one it has; an order that is not a permutation of its columns: keep its order).
  virtual persistence::ShownColumns remoteColumns() const = 0;
  virtual void showRemoteColumns(const persistence::ShownColumns& columns) = 0;
  virtual void setStatusText(const std::string& text) = 0;
  virtual void setNetworkTypeText(const std::string& text) = 0;
  virtual void setCountText(const std::string& text) = 0;
  virtual void setConnectedText(const std::string& text) = 0;
  virtual void showLocalRows(const std::vector<LocalRow>& rows, int selectedRow) = 0;
  // -1 when no row is selected.
  virtual int selectedLocalRow() const = 0;
  virtual void showRemoteRows(const RemoteRows& rows) = 0;
  virtual void setScanTimer(bool running, std::uint32_t periodMs) = 0;
  // Focus on the remote list and the label editor opened on `row`.
  virtual void editRemoteName(int row) = 0;
  // Enables or disables the Upgrade Firmware button.
  virtual void setUpgradeEnabled(bool enable) { (void)enable; }
};

// Shell state the pages share.
struct ShellState {
  bool firstActivation = true;
  bool localSeenAtActivation = false;
  std::string workingDirectory;
  // Cleared by the Privacy page while it names every device: the Main page, entered then,
  // starts no scan of its own.
  bool settingAllDevices = true;
};

struct InterfaceSnapshot {
  bool present = false;
  api::DeviceClass localClass = api::DeviceClass::Unknown;
  MacAddress mac{};
  bool operator==(const InterfaceSnapshot&) const = default;
};

class MainPageController final : public ScanEvents {
 public:
  MainPageController(MainPageView& view, ScanControl& scan, ShellState& shell);
  ~MainPageController() override;

  // The page's initialisation at start-up, in its fixed order.
  void initialise();
  // A device whose known record another page deleted leaves the remote list at once.
  void removeRemoteRow(const MacAddress& mac);

  // Buttons and list notifications.
  void scanClicked();
  void connectClicked();
  void renameClicked();
  void remoteSelectionChanged(int row);
  void headerClicked(int column);
  // The user moved or sized a column of the remote list: the data file keeps the new layout.
  void remoteColumnsChanged();
  void labelEditBegan(int row);
  // True when the new name was stored; the view then shows it, else it keeps the old text.
  bool labelEditEnded(int row, bool cancelled, const std::string& text);

  // Sheet notifications.
  void pageEntered();
  void pageLeft();
  void closeRequested();
  void timerFired();

  void RequestScan();
  // Clears the remote list and starts the local search; localSearchEnded finishes what asked.
  void RestartScan();
  void ResetRemoteList();
  void UpdateStatusLabels(int phase);
  void UpdateConnectedLabel();
  // Connect: the selected row of the local list names the interface.
  void SelectLocalAdapter();
  // Start-up: the selected row (0 when none) counts the interfaces with an adapter present.
  void selectLocalAdapterByCount();
  void FillLocalList();

  // ScanEvents
  void RefreshDeviceLists(int phase) override;
  void enableUpgradeButton(bool enable) override;
  void scanTimerChanged(bool running, std::uint32_t periodMs) override;
  void localSearchEnded(bool found) override;

  const RemoteRows& remoteRows() const { return *rows_; }
  const SortState& sortState() const { return sort_; }
  int currentKnown() const { return currentKnown_; }
  int selectedRemoteRow() const { return selectedRemoteRow_; }
  bool upgradeEnabled() const { return upgradeEnabled_; }
  const std::vector<std::string>& rowMacs() const { return rowMacs_; }
  const std::vector<std::string>& rowPasswords() const { return rowPasswords_; }
  // The Password column of the device's row and the copy the add dialog checks against take
  // `stored` at once, not at the next refresh.
  void showStoredPassword(const MacAddress& mac, const std::string& stored);

  // A pending add (filled by the add dialog and the add operation), shared with the key
  // operations.
  bool& addingDevice = hpapi::membershipState().addingDevice;
  std::string& addName = hpapi::membershipState().addName;
  std::string& addPassword = hpapi::membershipState().addPassword;
  MacAddress& addedMac = hpapi::membershipState().addedMac;
  // Set while the network name is being changed: no adapter message on a failed scan.
  bool& suppressAdapterMessage = hpapi::membershipState().suppressAdapterMessage;
  // Advanced after each refresh while an add dialog is open.
  ProgressLine addProgress{ProgressLine::Kind::Add};
  bool addDialogOpen = false;

 private:
  // What to finish when a local search ends, in the order the searches were asked for.
  enum class AfterSearch { StartUp, UserScan };
  void finishStartUp();
  void finishUserScan(bool found);
  std::deque<AfterSearch> pendingSearches_;
  bool enteredDuringStartUp_ = false;

  void refreshRows();
  void makeCurrent(int interfaceIndex);
  void saveSortState();
  void loadSortState();
  bool admitNewDevices();
  bool takeInterfaceSnapshot();

  MainPageView& view_;
  ScanControl& scan_;
  ShellState& shell_;
  std::optional<RemoteRows> rows_;
  SortState sort_;
  SortToggle toggle_;
  int selectedLocalRow_ = 0;
  int selectedRemoteRow_ = -1;
  int currentKnown_ = 0;
  bool editAutoscan_ = false;
  bool adapterMissingShown_ = false;
  bool upgradeEnabled_ = false;
  std::array<InterfaceSnapshot, api::kInterfaceCount> snapshot_{};
  std::vector<LocalRow> localRows_;
  std::vector<std::string> rowMacs_, rowPasswords_;
};

}  // namespace quorrel::ui
