// The Main page over the real scan and the in-process simulation on a virtual clock: the
// start-up finds the local adapter, the timer's ticks fill the remote list with named devices
// and their rates.
#include <gtest/gtest.h>

#include <memory>

#include "adapter-sim/core/in_process_backend.h"
#include "adapter-sim/core/network.h"
#include "adapter-sim/core/scenario.h"
#include "brantleapi/turbo_state.h"
#include "platform/clock.h"
#include "scan/scan.h"
#include "support/desktop_fixture.h"
#include "thpapi/exchange.h"
#include "thpapi/frame_intake.h"
#include "ui/scanlink/core_scan.h"

namespace quorrel::ui {
namespace {

const char* kNetwork =
    "[local]\nmac 00:B0:52:10:00:01\nchip 1\nnetwork_key 50D3E4933F855B7040784DF815AA8DB7\n"
    "[remote]\nmac 00:B0:52:20:00:02\nchip 2\nrate 151 140\n"
    "[remote]\nmac 00:B0:52:20:00:03\nchip 3\nrate 75\n"
    "[remote]\nmac 00:B0:52:20:00:04\nchip 5\nrate 30\n";

class MainPageSimTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::setClock(&clock);
    thpapi::ResetExchangeState();
    thpapi::setFrameIntake(nullptr);
    brantleapi::ResetTurboState();
    scan::ResetScan();
    transport::setBackend(&backend);
    persistence::preferences().scanInterval = 2;
  }
  void TearDown() override {
    page.reset();
    transport::ResetInterfaceTable();
    transport::setBackend(nullptr);
    thpapi::setFrameIntake(nullptr);
    scan::ResetScan();
    platform::setClock(nullptr);
  }
  void attach(const char* scenario) {
    sim::Scenario s;
    std::string error;
    ASSERT_TRUE(sim::parseScenario(scenario, s, error)) << error;
    network = std::make_unique<sim::Network>(std::move(s));
    backend.addInterface("sim0", sim::kDefaultHostMac, network.get());
  }
  // What the toolkit timer does: wait its period, then fire.
  void ticks(int n) {
    for (int i = 0; i < n && view.timerRunning; ++i) {
      clock.sleepMs(view.timerPeriod);
      page->TimerFired();
    }
  }

  testing::DesktopState state;
  platform::VirtualClock clock;
  sim::InProcessBackend backend{clock};
  std::unique_ptr<sim::Network> network;
  std::vector<std::string> log;
  testing::RecordingView view{&log};
  ShellState shell;
  std::unique_ptr<MainPageController> page;
};

TEST_F(MainPageSimTest, StartUpThenTicksListTheRemotesWithNamesAndRates) {
  attach(kNetwork);
  page = std::make_unique<MainPageController>(view, coreScan(), shell);
  page->Initialise();
  EXPECT_TRUE(state.notice.shown.empty());
  ASSERT_EQ(view.localRows.size(), 1u);
  EXPECT_EQ(view.localRows[0].macText, "00:B0:52:10:00:01");
  EXPECT_EQ(view.timerPeriod, 2u);  // ⌊2 × 10 / 7⌋

  ticks(20);
  ASSERT_EQ(view.remoteRows.size(), 3u);
  EXPECT_EQ(view.count, "3 Powerline Devices detected:");
  const int row = page->remoteRows().FindRowByMac({0x00, 0xB0, 0x52, 0x20, 0x00, 0x02});
  ASSERT_GE(row, 0);
  const RemoteRow& r = view.remoteRows[static_cast<std::size_t>(row)];
  EXPECT_EQ(r.rateText, "200.00");  // raw 151 × 200 / 151
  EXPECT_EQ(r.name.rfind("Device ", 0), 0u);
  EXPECT_EQ(r.image, 2);  // first generation
  EXPECT_NE(persistence::FindKnownByMac(r.mac), 0);
}

}  // namespace
}  // namespace quorrel::ui
