// The Main page's decisions: start-up, scans, list refresh, sort and rename.
#include "ui/presentation/main_page_controller.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "persistence/device_data.h"
#include "persistence/known_devices.h"
#include "persistence/list_layout.h"
#include "persistence/locations.h"
#include "persistence/preferences.h"
#include "persistence/vendor_list.h"
#include "platform/notice.h"
#include "transport/interface_table.h"
#include "ui/presentation/rename_rules.h"

namespace quorrel::ui {

namespace {
using platform::NoticeButtons;
using platform::NoticeIcon;
using platform::NoticeOwner;

int interfacesListed() {
  return std::clamp(transport::interfaceTable().interfaceCount, 0, api::kInterfaceCount);
}

bool anyLocalPresent() {
  for (int i = 0; i < api::kInterfaceCount; ++i)
    if (api::interfaceDevices(i).localPresent) return true;
  return false;
}
}  // namespace

MainPageController::MainPageController(MainPageView& view, ScanControl& scan, ShellState& shell)
    : view_(view), scan_(scan), shell_(shell) {
  scan_.setEvents(this);
}

MainPageController::~MainPageController() {
  scan_.setEvents(nullptr);
}

void MainPageController::initialise() {
  const persistence::Preferences& prefs = persistence::preferences();
  shell_.localSeenAtActivation = false;
  persistence::ChooseDataDirectory(NoticeOwner::MainPage);
  persistence::LoadVendorList();
  shell_.workingDirectory = persistence::resourceDirectory();
  if (shell_.workingDirectory.size() >= kWorkingDirectorySize)
    shell_.workingDirectory.resize(kWorkingDirectorySize - 1);
  const ColumnSet columns =
      ColumnSet::fromPreferences(prefs.showRateColumn != 0, prefs.showQualityColumn != 0);
  rows_.emplace(columns, prefs.qualityStyle);
  view_.setupLists(columns);
  remoteColumnsChanged();
  // The stored layout, unless the file is of an older version, whose layout was not read. The
  // list takes a copy: its own notices of the change rewrite the settings as it goes.
  if (persistence::LoadDeviceData() != persistence::LoadOutcome::OldVersion) {
    view_.showRemoteColumns(
        persistence::columnsToShow(persistence::listSettings(), columns.count()));
    remoteColumnsChanged();
  }
  loadSortState();
  pendingSearches_.push_back(AfterSearch::StartUp);
  RestartScan();
}

void MainPageController::finishStartUp() {
  scan_.SuspendAutoscan(persistence::preferences().autoscanEnabled != 0);
  selectLocalAdapterByCount();
  RefreshDeviceLists(5);
  // The page was entered while the search ran: it notes now what it would have noted then.
  if (enteredDuringStartUp_ && anyLocalPresent()) shell_.localSeenAtActivation = true;
  enteredDuringStartUp_ = false;
}

void MainPageController::localSearchEnded(bool found) {
  if (pendingSearches_.empty()) return;
  const AfterSearch after = pendingSearches_.front();
  pendingSearches_.pop_front();
  if (after == AfterSearch::StartUp)
    finishStartUp();
  else
    finishUserScan(found);
}

void MainPageController::removeRemoteRow(const MacAddress& mac) {
  if (rows_ && rows_->RemoveRowByMac(mac)) view_.showRemoteRows(*rows_);
}

void MainPageController::remoteColumnsChanged() {
  persistence::listSettings() =
      persistence::withShownColumns(persistence::listSettings(), view_.remoteColumns());
}

void MainPageController::loadSortState() {
  const persistence::ListSettings& s = persistence::listSettings();
  sort_.column = static_cast<int>(s.sortColumn);
  sort_.directionFlag = s.sortDirection != 0;
}

void MainPageController::saveSortState() {
  persistence::ListSettings& s = persistence::listSettings();
  s.sortColumn = static_cast<std::uint32_t>(sort_.column);
  s.sortDirection = sort_.directionFlag ? 1 : 0;
}

void MainPageController::RestartScan() {
  ResetRemoteList();
  const persistence::Preferences& prefs = persistence::preferences();
  scan_.StartScan(static_cast<std::uint32_t>(prefs.scanInterval), kPageDropThreshold,
                  prefs.autoscanEnabled != 0);
}

void MainPageController::ResetRemoteList() {
  api::ClearRemotes();
  persistence::PurgeUnaddressedKnown();
  persistence::SaveDeviceData();
  if (rows_) {
    rows_->clear();
    rowMacs_.clear();
    rowPasswords_.clear();
    view_.showRemoteRows(*rows_);
  }
}

void MainPageController::RequestScan() {
  try {
    scan_.requestUserScan();
    shell_.firstActivation = false;
    pendingSearches_.push_back(AfterSearch::UserScan);
    RestartScan();
  } catch (...) {
    platform::showNotice(main_text::kUnknownErrorText, main_text::kScanNetworkCaption,
                         NoticeIcon::None, NoticeButtons::Ok, NoticeOwner::MainPage);
  }
}

void MainPageController::finishUserScan(bool found) {
  try {
    if (!found && !suppressAdapterMessage) {
      platform::showNotice(main_text::kNotDetectedText, main_text::kNotDetected, NoticeIcon::Stop,
                           NoticeButtons::Ok, NoticeOwner::MainPage);
      // The interfaces belong to the wire: a wait there may be looking at them.
      scan_.runOperation([] { transport::CloseAllInterfaces(); });
    }
    UpdateConnectedLabel();
    localRows_.clear();
    view_.showLocalRows(localRows_, -1);
    if (found) FillLocalList();
    ResetRemoteList();
  } catch (...) {
    platform::showNotice(main_text::kUnknownErrorText, main_text::kScanNetworkCaption,
                         NoticeIcon::None, NoticeButtons::Ok, NoticeOwner::MainPage);
  }
}

void MainPageController::UpdateStatusLabels(int phase) {
  const api::InterfaceDevices& d = api::currentDevices();
  view_.setStatusText(
      statusText(phase, addingDevice, persistence::preferences().autoscanEnabled != 0));
  view_.setNetworkTypeText(networkTypeText(d.localNetworkName.view(), api::deviceTable().avLocal));
  view_.setCountText(countText(d.remoteCount));
}

void MainPageController::UpdateConnectedLabel() {
  const api::InterfaceDevices& d = api::currentDevices();
  view_.setConnectedText(connectedText(d.localPresent, d.localClass));
}

void MainPageController::FillLocalList() {
  localRows_.clear();
  for (int i = 0; i < interfacesListed(); ++i) {
    const api::InterfaceDevices& d = api::interfaceDevices(i);
    if (!d.localPresent || isZeroMac(d.localMac)) continue;
    localRows_.push_back(
        {std::string(api::deviceClassLabel(d.localClass)), formatMac(d.localMac), i});
  }
  view_.showLocalRows(localRows_, selectedLocalRow_);
}

void MainPageController::makeCurrent(int i) {
  transport::setCurrentInterface(static_cast<std::uint32_t>(i));
  api::deviceTable().turboLocal = api::interfaceDevices(i).localClass == api::DeviceClass::Turbo;
}

void MainPageController::SelectLocalAdapter() {
  const int row = view_.selectedLocalRow();
  selectedLocalRow_ = row < 0 ? 0 : row;
  // The row names its interface, so a present adapter whose MAC is still unknown (and
  // therefore not listed) cannot shift the choice onto the wrong interface.
  if (selectedLocalRow_ < static_cast<int>(localRows_.size())) {
    const int i = localRows_[static_cast<std::size_t>(selectedLocalRow_)].interfaceIndex;
    if (api::interfaceDevices(i).localPresent) makeCurrent(i);
  }
  UpdateConnectedLabel();
}

void MainPageController::selectLocalAdapterByCount() {
  const int row = view_.selectedLocalRow();
  selectedLocalRow_ = row < 0 ? 0 : row;
  // At start-up the local list is still empty, and the interface stored in the data file
  // may have no adapter any more: the row counts the interfaces that have one.
  int seen = 0;
  for (int i = 0; i < interfacesListed(); ++i) {
    if (!api::interfaceDevices(i).localPresent) continue;
    if (seen++ == selectedLocalRow_) {
      makeCurrent(i);
      break;
    }
  }
  UpdateConnectedLabel();
}

bool MainPageController::admitNewDevices() {
  bool changed = false;
  api::InterfaceDevices& d = api::currentDevices();
  if (!d.localPresent) return false;
  const auto now = static_cast<std::int64_t>(std::time(nullptr));
  for (const api::RemoteDevice& e : d.remotes) {
    if (!e.inUse || isZeroMac(e.mac)) continue;
    const int k = persistence::FindKnownByMac(e.mac);
    // Seen now: a device still listed is not the one to give way when the table is full.
    if (persistence::KnownDevice* seen = persistence::knownAt(k)) seen->lastSeen = now;
    if (k >= 1 && !isZeroMac(addedMac) && e.mac != addedMac) continue;
    if (k == 0) {
      if (addingDevice) {
        const int added = persistence::appendKnownDevice(e.mac, addName);
        if (persistence::KnownDevice* r = persistence::knownAt(added)) r->password = addPassword;
        addingDevice = false;
        addedMac = kNoMac;
        changed = true;
      } else {
        persistence::appendKnownDevice(e.mac, persistence::defaultDeviceName());
      }
      addDialogOpen = false;
    } else if (addingDevice && e.mac != d.localMac && !isZeroMac(addedMac)) {
      if (persistence::KnownDevice* r = persistence::knownAt(k)) {
        r->name = addName;
        r->password = addPassword;
      }
      addingDevice = false;
      changed = true;
      addedMac = kNoMac;
      addDialogOpen = false;
    }
  }
  return changed;
}

bool MainPageController::takeInterfaceSnapshot() {
  bool changed = false;
  for (int i = 0; i < api::kInterfaceCount; ++i) {
    const api::InterfaceDevices& d = api::interfaceDevices(i);
    const InterfaceSnapshot now{d.localPresent, d.localClass, d.localMac};
    if (!(snapshot_[static_cast<std::size_t>(i)] == now)) {
      snapshot_[static_cast<std::size_t>(i)] = now;
      changed = true;
    }
  }
  return changed;
}

void MainPageController::refreshRows() {
  if (!rows_) return;
  rows_->RefreshRemoteRows(sort_);
  rowMacs_.clear();
  rowPasswords_.clear();
  const int passwordColumn = rows_->columns().indexOf(ColumnKind::Password);
  for (const RemoteRow& row : rows_->rows()) {
    rowMacs_.push_back(row.macText.substr(0, 79));
    rowPasswords_.push_back(passwordColumn >= 0 ? row.password.substr(0, 79) : std::string());
  }
  view_.showRemoteRows(*rows_);
}

void MainPageController::showStoredPassword(const MacAddress& mac, const std::string& stored) {
  if (!rows_ || rows_->columns().indexOf(ColumnKind::Password) < 0) return;
  const std::string macText = formatMac(mac).substr(0, 79);
  for (std::size_t i = 0; i < rowMacs_.size() && i < rowPasswords_.size(); ++i)
    if (rowMacs_[i] == macText) rowPasswords_[i] = stored.substr(0, 79);
  if (rows_->setRowPassword(rows_->FindRowByMac(mac), stored)) view_.showRemoteRows(*rows_);
}

void MainPageController::RefreshDeviceLists(int phase) {
  UpdateStatusLabels(phase);
  bool changed = admitNewDevices();
  if (takeInterfaceSnapshot()) changed = true;
  if (changed) {
    if (!api::currentDevices().localPresent && !adapterMissingShown_) {
      adapterMissingShown_ = true;
      platform::showNotice(main_text::kNotDetected, main_text::kProblemCaption, NoticeIcon::Stop,
                           NoticeButtons::Ok, NoticeOwner::MainPage);
      adapterMissingShown_ = false;
    }
    FillLocalList();
    SelectLocalAdapter();
    ResetRemoteList();
  }
  refreshRows();
  if (api::deviceTable().avLocal && addDialogOpen) addProgress.step(1);
}

void MainPageController::scanTimerChanged(bool running, std::uint32_t periodMs) {
  view_.setScanTimer(running, periodMs);
}

void MainPageController::timerFired() {
  scan_.ScanTick();
}

void MainPageController::enableUpgradeButton(bool enable) {
  upgradeEnabled_ = enable;
  view_.setUpgradeEnabled(enable);
}

void MainPageController::scanClicked() {
  enableUpgradeButton(false);
  RequestScan();
}

void MainPageController::connectClicked() {
  SelectLocalAdapter();
  UpdateConnectedLabel();
  enableUpgradeButton(false);
  RequestScan();
}

void MainPageController::renameClicked() {
  if (rows_ && selectedRemoteRow_ >= 0 && selectedRemoteRow_ < rows_->size())
    view_.editRemoteName(selectedRemoteRow_);
}

void MainPageController::remoteSelectionChanged(int row) {
  selectedRemoteRow_ = row;
}

void MainPageController::headerClicked(int column) {
  if (!rows_ || column < 0 || column >= rows_->columns().count()) return;
  toggle_.ToggleSort(sort_, column);
  saveSortState();
  rows_->sortBy(sort_);
  view_.showRemoteRows(*rows_);
}

void MainPageController::labelEditBegan(int row) {
  editAutoscan_ = scan_.SuspendAutoscan(false);
  currentKnown_ = 0;
  if (rows_ && row >= 0 && row < rows_->size())
    currentKnown_ =
        persistence::FindKnownByMacText(rows_->rows()[static_cast<std::size_t>(row)].macText);
}

bool MainPageController::labelEditEnded(int row, bool cancelled, const std::string& text) {
  scan_.SuspendAutoscan(editAutoscan_);
  if (cancelled) return false;
  const RenameCheck check = checkRename(text);
  if (!check.accepted) {
    platform::showNotice(main_text::kAnotherNameText, main_text::kAttentionCaption,
                         NoticeIcon::Warning, NoticeButtons::Ok, NoticeOwner::MainPage);
    return false;
  }
  // A row without a record has nothing to rename; another record must not take the name.
  persistence::KnownDevice* record = persistence::knownAt(currentKnown_);
  if (record == nullptr) {
    std::fprintf(stderr, "rename: row %d has no known-device record\n", row);
    return false;
  }
  record->name = check.storedName;
  persistence::SaveDeviceData();
  if (rows_) {
    // A user scan may have moved the rows while the editor was open; the MAC still names it.
    rows_->setRowName(rows_->FindRowByMac(record->mac), check.storedName);
    view_.showRemoteRows(*rows_);
  }
  return true;
}

void MainPageController::pageEntered() {
  UpdateStatusLabels(3);
  scan_.restartScanCycle();
  if (persistence::preferences().autoscanEnabled != 0 && shell_.localSeenAtActivation &&
      shell_.settingAllDevices) {
    RequestScan();
    return;
  }
  if (!pendingSearches_.empty() && pendingSearches_.front() == AfterSearch::StartUp) {
    enteredDuringStartUp_ = true;
    return;
  }
  if (anyLocalPresent()) shell_.localSeenAtActivation = true;
}

void MainPageController::pageLeft() {
  persistence::SaveDeviceData();
}

void MainPageController::closeRequested() {
  persistence::SaveDeviceData();
}

}  // namespace quorrel::ui
