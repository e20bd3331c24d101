// The scan against the in-process simulation on a virtual clock: no root, no real waits.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "adapter-sim/core/in_process_backend.h"
#include "adapter-sim/core/network.h"
#include "api/device_table.h"
#include "brantleapi/turbo_state.h"
#include "persistence/known_devices.h"
#include "platform/clock.h"
#include "platform/notice.h"
#include "scan/scan.h"
#include "scan/scan_services.h"
#include "thpapi/exchange.h"
#include "transport/interface_table.h"

namespace quorrel::scan::testing {

// What the scan's reports held, as the pages would act on them; `order` has one letter per
// change: L lists, U upgrade button, T timer, P parameters, A ageing, R remote list reset.
struct Reported {
  std::vector<int> refreshes, timer, parameterLogs;
  bool upgradeEnabled = false;
  std::vector<AgeingReached::Before> ageings;
  std::string order;

  void take() {
    for (const ScanChange& c : takeScanReport().changes) {
      order += "LUTPAR"[c.index()];
      if (const auto* l = std::get_if<ListsChanged>(&c)) refreshes.push_back(l->phase);
      if (const auto* u = std::get_if<UpgradeButtonChanged>(&c)) upgradeEnabled = u->enable;
      if (const auto* t = std::get_if<TimerChanged>(&c))
        timer.push_back(t->running ? static_cast<int>(t->periodMs) : -1);
      if (const auto* p = std::get_if<ParametersRepeated>(&c)) parameterLogs.push_back(p->kind);
      if (const auto* a = std::get_if<AgeingReached>(&c)) ageings.push_back(*a->before);
    }
  }
};

// "[remote]" sections for `n` first-generation stations 00:B0:52:30:00:01.. with rates
// 10, 11, 12, ...
inline std::string stations(int n) {
  std::string text;
  for (int i = 1; i <= n; ++i) {
    char line[160];
    std::snprintf(line, sizeof line, "[remote]\nmac 00:B0:52:30:00:%02X\nchip 2\nrate %d\n", i,
                  9 + i);
    text += line;
  }
  return text;
}

inline MacAddress stationMac(int i) {
  return MacAddress{0x00, 0xB0, 0x52, 0x30, 0x00, static_cast<std::uint8_t>(i)};
}

class ScanFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::setClock(&clock);
    platform::setNotice(&notices);
    reset();
    api::resetDeviceTable();
    thpapi::resetExchangeState();
    persistence::resetKnownDevices();
    setTurboOperations(nullptr);
    brantleapi::resetTurboState();
    transport::setBackend(&backend);
  }
  void TearDown() override {
    reset();
    transport::setBackend(nullptr);
    platform::setNotice(nullptr);
    platform::setClock(nullptr);
  }
  static void reset() {
    transport::resetInterfaceTable();
    setKnownDeviceStore(nullptr);
    setLocalKeyReader(nullptr);
    resetScan();
  }

  // Adds an interface with a network answering on it (none for an empty scenario).
  sim::Network* attach(const std::string& scenarioText, MacAddress hostMac = sim::kDefaultHostMac) {
    sim::Network* n = nullptr;
    if (!scenarioText.empty()) {
      sim::Scenario s;
      std::string error;
      EXPECT_TRUE(sim::parseScenario(scenarioText, s, error)) << error;
      networks.push_back(std::make_unique<sim::Network>(std::move(s)));
      n = networks.back().get();
    }
    backend.addInterface("sim" + std::to_string(ports++), hostMac, n);
    return n;
  }

  void ticks(int n) {
    for (int i = 0; i < n; ++i) {
      clock.sleepMs(scanTimerPeriodMs());
      ScanTick();
    }
  }
  Reported& reported() {
    reported_.take();
    return reported_;
  }
  std::uint64_t nowMs() { return clock.microseconds() / 1000; }
  const api::RemoteDevice& remote(int i) {
    return api::currentDevices().remotes[static_cast<std::size_t>(i)];
  }

  platform::VirtualClock clock;
  platform::RecordingNotice notices;
  sim::InProcessBackend backend{clock};
  std::vector<std::unique_ptr<sim::Network>> networks;
  Reported reported_;
  int ports = 0;
};

inline const std::string kAvLocal =
    "[local]\nmac 00:B0:52:10:00:01\nchip 2\nfirmware LQA-100-FW-2-4-0517-TEST\n"
    "network_key 50D3E4933F855B7040784DF815AA8DB7\n";
inline const std::string kAvLocalSecondGen =
    "[local]\nmac 00:B0:52:40:00:01\nchip 4\nfirmware LQB-200-FW-5-1-0902-TEST\n"
    "network_key 50D3E4933F855B7040784DF815AA8DB7\n";
inline constexpr MacAddress kAvLocalMac{0x00, 0xB0, 0x52, 0x10, 0x00, 0x01};

}  // namespace quorrel::scan::testing
