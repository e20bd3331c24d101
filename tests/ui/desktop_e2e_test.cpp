// The desktop program's Main page over the real libpcap path: adapter-sim answers on the far
// end of a veth pair, the sheet runs in the host namespace with its own timer, and the remote
// list comes to show the simulated stations with their names, images and rates.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTreeWidget>
#include <cstdio>
#include <filesystem>
#include <map>
#include <thread>

#include "e2e/sim_pair_test.h"
#include "persistence/known_devices.h"
#include "persistence/locations.h"
#include "persistence/preferences.h"
#include "platform/notice.h"
#include "platform/state_lock.h"
#include "ui/qtplatform/qt_notice.h"
#include "ui/qtplatform/wire_window.h"
#include "ui/quorrel/main_page.h"
#include "ui/quorrel/property_sheet.h"
#include "ui/quorrel/shell.h"
#include "ui/remoteslistview/remotes_list_view.h"
#include "ui/scanlink/core_scan.h"

namespace quorrel::e2e {
namespace {

const char* kScenario =
    "[local]\nmac 00:B0:52:10:00:01\nchip 1\nnetwork_key 50D3E4933F855B7040784DF815AA8DB7\n"
    "[remote]\nmac 00:B0:52:20:00:02\nchip 2\nrate 151 140\n"
    "[remote]\nmac 00:B0:52:20:00:03\nchip 3\nrate 75\n"
    "[remote]\nmac 00:B0:52:20:00:04\nchip 5\nrate 30\n";

class DesktopE2e : public SimPairTest {};

TEST_F(DesktopE2e, MainPageListsTheSimulatedRemotes) {
  startOnLinks(kScenario);
  // Before the toolkit starts any thread, so all of them live in the host namespace.
  std::string error;
  ASSERT_TRUE(pair.enterHost(error)) << error;

  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ::setenv("XDG_DATA_HOME", dir.c_str(), 1);
  persistence::setResourceDirectory(dir);
  persistence::resetPreferences();
  persistence::resetKnownDevices();
  persistence::preferences().scanInterval = 2;
  platform::RecordingNotice notice;
  {
    int argc = 1;
    char name[] = "desktop_e2e_tests";
    char* argv[] = {name, nullptr};
    QApplication app(argc, argv);
    // As the program runs: the scan on its wire thread, the window holding the state while
    // it handles an event.
    qtui::holdStateWhileAwake(app);
    ui::coreScan().startWireThread(qtui::postToWindow);
    qtui::QtNotice qtNotice;
    ui::ShellState shell;
    qtui::Sheet s = qtui::buildSheet(ui::coreScan(), shell, qtNotice);
    std::unique_ptr<qtui::PropertySheet> sheet(s.sheet);
    platform::setNotice(&notice);
    sheet->show();
    s.mainPage->initialise();
    s.mainPage->pageEntered();

    QTreeWidget& remotes = *s.mainPage->remoteList();  // name, MAC, rate, quality, password
    // Raw rates × 200 / 151; the devices are named on sight.
    const std::map<std::string, std::string> want{{"00:B0:52:20:00:02", "200.00"},
                                                  {"00:B0:52:20:00:03", "99.00"},
                                                  {"00:B0:52:20:00:04", "39.00"}};
    std::map<std::string, std::string> rates;
    QElapsedTimer waited;
    waited.start();
    while (rates != want && waited.elapsed() < 20000) {
      QApplication::processEvents(QEventLoop::AllEvents, 20);
      rates.clear();
      for (int r = 0; r < remotes.topLevelItemCount(); ++r)
        rates[remotes.topLevelItem(r)->text(1).toStdString()] =
            remotes.topLevelItem(r)->text(2).toStdString();
      // This loop never lets its event loop go idle: it lets go of the state itself.
      platform::releaseState();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(rates, want);
    for (int r = 0; r < remotes.topLevelItemCount(); ++r)
      EXPECT_TRUE(remotes.topLevelItem(r)->text(0).startsWith(QStringLiteral("Device ")));
    EXPECT_TRUE(notice.shown.empty());

    const std::string picture = QUORREL_ARTIFACT_DIR "/e2e-main-page.png";
    std::filesystem::create_directories(QUORREL_ARTIFACT_DIR);
    EXPECT_TRUE(sheet->grab().save(QString::fromStdString(picture), "PNG"));
    std::printf("picture: %s\n", picture.c_str());

    ui::coreScan().stopWireThread();
    platform::releaseState();
    platform::setNotice(nullptr);
  }
  persistence::setResourceDirectory("");
}

}  // namespace
}  // namespace quorrel::e2e
