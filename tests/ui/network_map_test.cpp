// The network map window, offscreen, over the simulated network: four adapters, one silent
// when asked. The silent one is drawn grey and without links, every other pair with the rate
// each end reported near that end, and the autoscan is off only while the map waits.
#include <QLabel>
#include <QTest>
#include <filesystem>

#include "adapter-sim/core/scenario.h"
#include "api/device_table.h"
#include "persistence/known_devices.h"
#include "support/desktop_fixture.h"
#include "support/sim_host.h"
#include "thpapi/exchange.h"
#include "ui/quorrel/network_map_dialog.h"

using namespace quorrel;

namespace {

constexpr MacAddress kA{0x00, 0xB0, 0x52, 0x20, 0x00, 0x02};
constexpr MacAddress kB{0x00, 0xB0, 0x52, 0x20, 0x00, 0x03};
constexpr MacAddress kSilent{0x00, 0xB0, 0x52, 0x20, 0x00, 0x04};

const char* kFourAdapters =
    "[local]\nmac 00:B0:52:10:00:01\nchip 1\n"
    "[remote]\nmac 00:B0:52:20:00:02\nchip 2\nrate 180 170\nlink 00:B0:52:20:00:03 150 140\n"
    "[remote]\nmac 00:B0:52:20:00:03\nchip 3\nrate 120 110\n"
    "[remote]\nmac 00:B0:52:20:00:04\nchip 2\nrate 90 80\nnetwork_info no\n";

double distance(const QPointF& a, const QPointF& b) {
  return std::hypot(a.x() - b.x(), a.y() - b.y());
}

}  // namespace

class NetworkMapTest : public QObject {
  Q_OBJECT
 private slots:
  void fourAdaptersOneSilent() {
    sim::Scenario s;
    std::string error;
    QVERIFY2(sim::parseScenario(kFourAdapters, s, error), error.c_str());
    testing::SimHost host(s);
    api::ResetDeviceTable();
    thpapi::ResetExchangeState();
    api::currentState().localMac = testing::kSimLocalMac;
    api::currentDevices().localPresent = true;
    api::deviceTable().avLocal = true;
    for (const MacAddress& m : {kA, kB, kSilent}) api::UpsertRemote(m);
    persistence::ResetKnownDevices();
    persistence::AppendKnownDevice(kA, "Study");
    persistence::AppendKnownDevice(kSilent, "Garage");

    std::vector<std::string> log;
    ui::testing::FakeScan scan(&log);
    transport::ReceivePath path;
    qtui::NetworkMapDialog dialog([&] { return qtui::gatherWithScanSuspended(scan, path); });
    dialog.show();
    QVERIFY(dialog.refresh());
    QCOMPARE(log, (std::vector<std::string>{"SuspendAutoscan(off)", "SuspendAutoscan(on)"}));
    QVERIFY(scan.autoscanOn);
    QCOMPARE(dialog.summary()->text(), QStringLiteral("4 adapters, 1 did not answer"));

    qtui::NetworkMapView* view = dialog.view();
    const qtui::MapLayout layout = view->currentLayout();
    QCOMPARE(layout.nodes.size(), std::size_t{4});
    QCOMPARE(layout.nodes[1].title, QStringLiteral("Study"));
    QCOMPARE(layout.nodes[2].title, QStringLiteral("00:B0:52:20:00:03"));
    QVERIFY(layout.nodes[0].local && layout.nodes[3].silent);
    QCOMPARE(layout.lines.size(), std::size_t{3});
    for (const auto& [a, b] : layout.lines) QVERIFY(a != 3 && b != 3);
    // Each rate nearer the end that reported it: 238 from the local device towards Study,
    // 225 back; 198 from Study towards B, 185 back.
    const auto near = [&](const char* text, std::size_t from, std::size_t to) {
      for (const qtui::MapRateText& r : layout.rates)
        if (r.text == QString::fromUtf8(text))
          return distance(r.at, layout.nodes[from].rect.center()) <
                 distance(r.at, layout.nodes[to].rect.center());
      return false;
    };
    QVERIFY(near("238 Mbps", 0, 1) && near("225 Mbps", 1, 0));
    QVERIFY(near("198 Mbps", 1, 2) && near("185 Mbps", 2, 1));
    QCOMPARE(layout.rates.size(), std::size_t{6});

    // The silent adapter's box is grey, the local one's highlighted.
    const QImage picture = view->grab().toImage();
    const auto inside = [&](std::size_t i) {
      return picture.pixelColor((layout.nodes[i].rect.topLeft() + QPointF(10, 8)).toPoint());
    };
    QCOMPARE(inside(3), QColor(0xE8, 0xE8, 0xE8));
    QCOMPARE(inside(0), QColor(0xDB, 0xE9, 0xFF));
    std::filesystem::create_directories(QUORREL_ARTIFACT_DIR);
    QVERIFY(dialog.grab().save(QStringLiteral(QUORREL_ARTIFACT_DIR "/network-map.png"), "PNG"));
    persistence::ResetKnownDevices();
  }
};

QTEST_MAIN(NetworkMapTest)
#include "network_map_test.moc"
