// The network map window, offscreen, over the simulated network of four adapters, one silent
// when asked: names from the known devices, each rate near the end that reported it, the
// silent one grey and the local one highlighted, the autoscan off only while the map waits.
#include <QLabel>
#include <QTest>
#include <ranges>

#include "persistence/known_devices.h"
#include "support/desktop_fixture.h"
#include "support/four_adapters.h"
#include "support/picture.h"
#include "support/sim_host.h"
#include "thpapi/exchange.h"
#include "ui/quorrel/network_map_dialog.h"

using namespace quorrel;

class NetworkMapTest : public QObject {
  Q_OBJECT
 private slots:
  void fourAdaptersOneSilent() {
    sim::Scenario s;
    std::string error;
    QVERIFY2(sim::parseScenario(testing::kFourAdapters, s, error), error.c_str());
    testing::SimHost host(s);
    api::resetDeviceTable();
    thpapi::resetExchangeState();
    api::currentState().localMac = testing::kSimLocalMac;
    api::currentDevices().localPresent = api::deviceTable().avLocal = true;
    for (const MacAddress& m : s.remotes | std::views::transform(&sim::Adapter::mac))
      api::UpsertRemote(m);
    persistence::resetKnownDevices();
    persistence::appendKnownDevice(s.remotes[0].mac, "Study");
    persistence::appendKnownDevice(s.remotes[2].mac, "Garage");

    std::vector<std::string> log;
    ui::testing::FakeScan scan(&log);
    transport::ReceivePath path;
    qtui::NetworkMapDialog dialog([&] { return qtui::gatherWithScanSuspended(scan, path); });
    dialog.show();
    QVERIFY(dialog.refresh());
    QCOMPARE(log, (std::vector<std::string>{"SuspendAutoscan(off)", "SuspendAutoscan(on)"}));
    QCOMPARE(dialog.summary()->text(), QStringLiteral("4 adapters, 1 did not answer"));

    const qtui::MapLayout layout = dialog.view()->currentLayout();
    QCOMPARE(layout.nodes[1].title, QStringLiteral("Study"));
    QCOMPARE(layout.nodes[2].title, QStringLiteral("00:B0:52:20:00:03"));
    QCOMPARE(layout.lines.size(), std::size_t{3});
    QCOMPARE(layout.rates.size(), std::size_t{6});
    const auto nearer = [&](const char* text, std::size_t from, std::size_t to) {
      const auto gap = [&](const QPointF& at, std::size_t i) {
        return QLineF(at, layout.nodes[i].rect.center()).length();
      };
      for (const qtui::MapRateText& r : layout.rates)
        if (r.text == QString::fromUtf8(text)) return gap(r.at, from) < gap(r.at, to);
      return false;
    };
    QVERIFY(nearer("238 Mbps", 0, 1) && nearer("225 Mbps", 1, 0));
    QVERIFY(nearer("198 Mbps", 1, 2) && nearer("185 Mbps", 2, 1));

    const QImage picture = dialog.view()->grab().toImage();
    const auto inside = [&](std::size_t i) {
      return picture.pixelColor((layout.nodes[i].rect.topLeft() + QPointF(10, 8)).toPoint());
    };
    QCOMPARE(inside(3), QColor(0xE8, 0xE8, 0xE8));
    QCOMPARE(inside(0), QColor(0xDB, 0xE9, 0xFF));
    keep(dialog, "network-map.png");
    persistence::resetKnownDevices();
  }
};

QTEST_MAIN(NetworkMapTest)
#include "network_map_test.moc"
