// The rate history chart over a week of three devices whose rates follow the simulation's
// daily pattern, with a picture of it.
#include <QApplication>
#include <QComboBox>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtTest/QtTest>

#include "adapter-sim/core/network.h"
#include "api/rate_stats.h"
#include "history/history_text.h"
#include "support/picture.h"
#include "support/scratch_dir.h"
#include "ui/quorrel/rate_history_dialog.h"

namespace quorrel {
namespace {

constexpr std::int64_t kMonday = 1'797'206'400;  // 2026-12-14 00:00 UTC
constexpr char kScenario[] =
    "[local]\nmac 00:B0:52:10:00:01\nchip 4\n"
    "[remote]\nmac 00:B0:52:20:00:02\nchip 4\nrate 900\n"
    "[remote]\nmac 00:B0:52:20:00:03\nchip 4\nrate 600\n"
    "[remote]\nmac 00:B0:52:20:00:04\nchip 4\nrate 300\n"
    "[behaviour]\ndaily_dip 40 18 23\n";

}  // namespace

class HistoryChartTest : public QObject {
  Q_OBJECT

 private slots:
  void weekOfThreeDevicesShowsTheEveningDips() {
    sim::Scenario scenario;
    std::string error;
    QVERIFY(sim::parseScenario(kScenario, scenario, error));
    sim::Network net(scenario);
    const testing::ScratchDir dir;
    history::RateHistory h(history::historyPath(dir.path()));
    h.open(kMonday);
    std::int64_t t = kMonday;
    for (; t < kMonday + 7 * 86400; t += 600) {  // a cycle every ten minutes, sampled
      net.receive(std::vector<std::uint8_t>(60, 0),
                  static_cast<std::uint64_t>(t - kMonday) * 1000000);
      std::vector<history::Reading> readings;
      for (const sim::Adapter& r : net.scenario().remotes)
        readings.push_back(
            {r.mac, scenario.local.mac, api::rateToMbps(r.txRate, api::RateMode::HomePlugAv)});
      QCOMPARE(h.record(readings, t), history::WriteOutcome::Done);
    }

    qtui::RateHistoryDialog dialog(h, std::nullopt, t);
    dialog.choose(std::nullopt, qtui::HistoryRange::Week);
    dialog.resize(900, 520);
    QCOMPARE(dialog.deviceBox()->count(), 4);  // "All devices" and the three
    const QList<QAbstractSeries*> series = dialog.chartView()->chart()->series();
    QCOMPARE(series.size(), 3);
    for (QAbstractSeries* s : series) {
      const QList<QPointF> points = static_cast<QLineSeries*>(s)->points();
      QVERIFY(points.size() > 7 * 24 / 2);
      double low = 1e9, high = 0;
      for (const QPointF& p : points) low = std::min(low, p.y()), high = std::max(high, p.y());
      QVERIFY2(low < high * 0.5, "the evening dip to 40 % shows in every line");
    }
    dialog.show();
    keep(dialog, "rate-history-week.png");

    dialog.choose(scenario.remotes[1].mac, qtui::HistoryRange::Day);
    QCOMPARE(dialog.chartView()->chart()->series().size(), 1);
    const std::string csv = dir.file("export.csv");
    QVERIFY(dialog.exportCsv(csv));
    const std::vector<std::uint8_t> text = testing::readFile(csv);
    const std::string_view header = history::kCsvHeader;
    QVERIFY(text.size() > header.size() && std::equal(header.begin(), header.end(), text.begin()));
    QCOMPARE(std::count(text.begin(), text.end(), '\n') - 1,
             static_cast<std::ptrdiff_t>(h.samples(scenario.remotes[1].mac, t - 86400).size()));
  }
};

}  // namespace quorrel

QTEST_MAIN(quorrel::HistoryChartTest)
#include "history_chart_test.moc"
