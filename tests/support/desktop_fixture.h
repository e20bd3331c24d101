// Shared pieces of the desktop tests: a scratch folder, a scripted scan that fills the device
// table as a local search and a remote search would, a view that records what it was told,
// and clean process-wide tables.
#pragma once

#include <unistd.h>

#include <string>
#include <vector>

#include "api/device_table.h"
#include "api/rate_stats.h"
#include "persistence/device_data.h"
#include "persistence/known_devices.h"
#include "persistence/list_layout.h"
#include "persistence/locations.h"
#include "persistence/preferences.h"
#include "persistence/vendor_list.h"
#include "platform/notice.h"
#include "support/plain_list_layout.h"
#include "support/scratch_dir.h"
#include "transport/interface_table.h"
#include "ui/presentation/main_page_controller.h"
#include "ui/presentation/scan_control.h"

namespace quorrel::ui::testing {

using ::quorrel::testing::ScratchDir;

inline MacAddress mac(std::uint8_t last, std::uint8_t first = 0x00) {
  return {first, 0xB0, 0x52, 0x20, 0x00, last};
}

struct ScriptedRemote {
  MacAddress mac{};
  api::DeviceClass deviceClass = api::DeviceClass::AvFirstGeneration;
  double rate = 0;
};

// Finds what it is told: a local adapter on interface `localInterface` and its remotes.
class FakeScan final : public ScanControl {
 public:
  explicit FakeScan(std::vector<std::string>* log = nullptr) : log_(log) {}

  bool localPresent = true;
  int localInterface = 0;
  api::DeviceClass localClass = api::DeviceClass::AvFirstGeneration;
  MacAddress localMac{0x00, 0xB0, 0x52, 0x10, 0x00, 0x01};
  std::string networkName = "HomePlugAV";
  std::vector<ScriptedRemote> remotes;

  ScanEvents* events = nullptr;
  bool autoscanOn = true;
  int userScans = 0;
  std::uint32_t lastInterval = 0;

  void setEvents(ScanEvents* e) override { events = e; }
  void StartScan(std::uint32_t interval, int, bool enabled) override {
    note("StartScan");
    lastInterval = interval;
    autoscanOn = enabled;
    transport::interfaceTable().interfaceCount = localInterface + 1;
    api::InterfaceDevices& d = api::interfaceDevices(localInterface);
    d.localPresent = localPresent;
    d.localClass = localPresent ? localClass : api::DeviceClass::Unknown;
    d.localMac = localPresent ? localMac : MacAddress{};
    d.localNetworkName = networkName;
    api::deviceTable().avLocal =
        localPresent && (localClass == api::DeviceClass::AvFirstGeneration ||
                         localClass == api::DeviceClass::AvSecondGeneration);
    if (events != nullptr) events->scanTimerChanged(localPresent, 42);
    if (events != nullptr) events->localSearchEnded(localPresent);
  }
  bool SuspendAutoscan(bool on) override {
    note(on ? "SuspendAutoscan(on)" : "SuspendAutoscan(off)");
    const bool previous = autoscanOn;
    autoscanOn = on;
    return previous;
  }
  void requestUserScan() override {
    note("requestUserScan");
    ++userScans;
  }
  void restartScanCycle() override { note("restartScanCycle"); }
  // One remote search: every scripted remote is listed with its rate, then the lists redraw.
  void ScanTick() override {
    if (api::currentDevices().localPresent) {
      for (const ScriptedRemote& r : remotes) {
        api::RemoteDevice* e = api::UpsertRemote(r.mac);
        if (e == nullptr) continue;
        if (e->deviceClass != r.deviceClass) e->classChanged = true;
        e->deviceClass = r.deviceClass;
        api::recordRate(e->rateStats, r.rate, 0, 0);
      }
      int count = 0;
      for (const api::RemoteDevice& e : api::currentDevices().remotes) count += e.inUse ? 1 : 0;
      api::currentDevices().remoteCount = count;
    }
    if (events != nullptr) events->RefreshDeviceLists(3);
  }

 private:
  void note(const char* what) {
    if (log_ != nullptr) log_->push_back(what);
  }
  std::vector<std::string>* log_;
};

class RecordingView final : public MainPageView {
 public:
  explicit RecordingView(std::vector<std::string>* log = nullptr) : log_(log) {}
  void setupLists(const ColumnSet& columns) override {
    note("setupLists");
    layout = ::quorrel::testing::PlainListLayout(columns.count());
  }
  persistence::ShownColumns remoteColumns() const override { return layout.shown(); }
  void showRemoteColumns(const persistence::ShownColumns& c) override { layout.show(c); }
  void setStatusText(const std::string& t) override {
    status = t;
    note("status:" + t);
  }
  void setNetworkTypeText(const std::string& t) override { networkType = t; }
  void setCountText(const std::string& t) override { count = t; }
  void setConnectedText(const std::string& t) override { connected = t; }
  void showLocalRows(const std::vector<LocalRow>& rows, int selected) override {
    localRows = rows;
    if (selected >= 0 && selected < static_cast<int>(rows.size())) selectedLocal = selected;
    note("localRows:" + std::to_string(rows.size()));
  }
  int selectedLocalRow() const override { return selectedLocal; }
  void showRemoteRows(const RemoteRows& rows) override { remoteRows = rows.rows(); }
  void setScanTimer(bool, std::uint32_t) override {}
  void editRemoteName(int) override {}

  ::quorrel::testing::PlainListLayout layout;
  std::string status, networkType, count, connected;
  std::vector<LocalRow> localRows;
  int selectedLocal = -1;
  std::vector<RemoteRow> remoteRows;

 private:
  void note(const std::string& what) {
    if (log_ != nullptr) log_->push_back(what);
  }
  std::vector<std::string>* log_;
};

// Clean tables, the scratch folder as resource and data folder, a recording notice.
class DesktopState {
 public:
  DesktopState() {
    api::resetDeviceTable();
    persistence::resetKnownDevices();
    persistence::resetPreferences();
    persistence::resetListSettings();
    persistence::vendorTable().entries.clear();
    transport::resetInterfaceTable();
    persistence::setResourceDirectory(dir.path());
    ::setenv("XDG_DATA_HOME", dir.path().c_str(), 1);
    ::setenv("HOME", dir.path().c_str(), 1);
    platform::setNotice(&notice);
  }
  ~DesktopState() {
    platform::setNotice(nullptr);
    persistence::setResourceDirectory("");
    persistence::setDataDirectory("");
    transport::resetInterfaceTable();
  }
  ScratchDir dir;
  platform::RecordingNotice notice;
};

}  // namespace quorrel::ui::testing
