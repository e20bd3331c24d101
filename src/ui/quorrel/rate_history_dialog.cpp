// The rate history chart over Qt Charts.
#include "ui/quorrel/rate_history_dialog.h"

#include <QComboBox>
#include <QDateTime>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <algorithm>
#include <ctime>
#include <limits>
#include <map>
#include <set>

#include "history/chart_points.h"
#include "history/history_text.h"
#include "persistence/file_io.h"
#include "persistence/known_devices.h"
#include "platform/notice.h"
#include "ui/presentation/scan_control.h"

namespace quorrel::qtui {

namespace {
constexpr char kAllDevices[] = "All devices";
constexpr char kNoHistory[] = "No rates have been kept for this choice yet.";
constexpr char kExportFailed[] = "The rate history could not be written to this file.";

QString deviceLabel(const MacAddress& mac) {
  const QString text = QString::fromStdString(formatMac(mac));
  const std::string name = persistence::knownNameOf(mac);
  return name.empty() ? text : QString::fromStdString(name) + " (" + text + ")";
}

QString macData(const MacAddress& mac) {
  return QString::fromStdString(formatMac(mac));
}
}  // namespace

RateHistoryDialog::RateHistoryDialog(const history::RateHistory& history,
                                     std::optional<MacAddress> device, std::int64_t now,
                                     QWidget* parent)
    : QDialog(parent), history_(history), now_(now) {
  setWindowTitle(QString::fromUtf8(history::kNoticeCaption));
  devices_ = new QComboBox(this);
  devices_->addItem(QString::fromUtf8(kAllDevices));
  std::set<MacAddress> seen;
  for (const history::Sample& s :
       history.samples(std::nullopt, std::numeric_limits<std::int64_t>::min()))
    seen.insert(s.device);
  if (device) seen.insert(*device);
  for (const MacAddress& mac : seen) devices_->addItem(deviceLabel(mac), macData(mac));
  ranges_ = new QComboBox(this);
  ranges_->addItems({"Last day", "Last week", "All"});
  export_ = new QPushButton("Export CSV…", this);
  auto* close = new QPushButton("Close", this);
  view_ = new QChartView(new QChart(), this);
  view_->setRenderHint(QPainter::Antialiasing);
  view_->setMinimumSize(640, 360);

  auto* controls = new QHBoxLayout;
  controls->addWidget(new QLabel("Device:", this));
  controls->addWidget(devices_, 1);
  controls->addWidget(new QLabel("Range:", this));
  controls->addWidget(ranges_);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(export_);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(controls);
  layout->addWidget(view_, 1);
  layout->addLayout(buttons);

  choose(device, HistoryRange::Day);
  connect(devices_, &QComboBox::currentIndexChanged, this, [this] { redraw(); });
  connect(ranges_, &QComboBox::currentIndexChanged, this, [this] { redraw(); });
  connect(export_, &QPushButton::clicked, this, [this] { askAndExport(); });
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

void RateHistoryDialog::choose(std::optional<MacAddress> device, HistoryRange range) {
  const QSignalBlocker a(devices_), b(ranges_);
  const int row = device ? devices_->findData(macData(*device)) : 0;
  devices_->setCurrentIndex(std::max(row, 0));
  ranges_->setCurrentIndex(static_cast<int>(range));
  redraw();
}

std::optional<MacAddress> RateHistoryDialog::chosenDevice() const {
  MacAddress mac{};
  if (devices_->currentIndex() <= 0 ||
      !parseMac(devices_->currentData().toString().toStdString(), mac))
    return std::nullopt;
  return mac;
}

std::int64_t RateHistoryDialog::rangeStart() const {
  switch (static_cast<HistoryRange>(ranges_->currentIndex())) {
    case HistoryRange::Day:
      return now_ - 86400;
    case HistoryRange::Week:
      return now_ - 7 * 86400;
    case HistoryRange::All:
      break;
  }
  return std::numeric_limits<std::int64_t>::min();
}

void RateHistoryDialog::redraw() {
  const auto samples = history_.samples(chosenDevice(), rangeStart());
  std::int64_t from = rangeStart(), to = now_;
  if (!samples.empty()) {
    const auto [first, last] = std::minmax_element(
        samples.begin(), samples.end(),
        [](const history::Sample& x, const history::Sample& y) { return x.time < y.time; });
    from = std::max(from, first->time);
    to = std::max(to, last->time);
  } else if (from == std::numeric_limits<std::int64_t>::min()) {
    from = now_ - 86400;
  }
  const auto lines = history::chartLines(samples, from, to);

  auto* chart = new QChart();
  chart->legend()->setAlignment(Qt::AlignBottom);
  std::map<MacAddress, int> viewers;
  for (const history::ChartLine& l : lines) ++viewers[l.device];
  double top = 0;
  std::vector<QLineSeries*> series;
  for (const history::ChartLine& l : lines) {
    auto* s = new QLineSeries(chart);
    QString name = deviceLabel(l.device);
    if (viewers[l.device] > 1) name += " via " + QString::fromStdString(formatMac(l.viewer));
    s->setName(name);
    QList<QPointF> points;
    points.reserve(static_cast<qsizetype>(l.points.size()));
    for (const history::ChartPoint& p : l.points) {
      points.append(QPointF(static_cast<double>(p.time) * 1000.0, p.mbps));
      top = std::max(top, p.mbps);
    }
    s->replace(points);
    chart->addSeries(s);
    series.push_back(s);
  }
  if (lines.empty()) chart->setTitle(QString::fromUtf8(kNoHistory));
  auto* timeAxis = new QDateTimeAxis(chart);
  timeAxis->setFormat(to - from <= 2 * 86400 ? "hh:mm" : "dd MMM hh:mm");
  timeAxis->setTitleText("Local time");
  timeAxis->setRange(QDateTime::fromSecsSinceEpoch(from), QDateTime::fromSecsSinceEpoch(to));
  // A line a day over a week, every four hours over a day.
  timeAxis->setTickCount(to - from > 6 * 86400 && to - from <= 8 * 86400 ? 8 : 7);
  auto* rateAxis = new QValueAxis(chart);
  rateAxis->setTitleText("Mbps");
  rateAxis->setRange(0, top > 0 ? top * 1.1 : 100);
  rateAxis->applyNiceNumbers();
  rateAxis->setLabelFormat("%.0f");
  chart->addAxis(timeAxis, Qt::AlignBottom);
  chart->addAxis(rateAxis, Qt::AlignLeft);
  for (QLineSeries* s : series) {
    s->attachAxis(timeAxis);
    s->attachAxis(rateAxis);
  }
  QChart* old = view_->chart();
  view_->setChart(chart);
  delete old;
  export_->setEnabled(!samples.empty());
}

bool RateHistoryDialog::exportCsv(const std::string& path) const {
  const std::string text = history::formatCsv(history_.samples(chosenDevice(), rangeStart()));
  const ByteSpan bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  return persistence::replaceFile(path, bytes) == persistence::ReplaceResult::Done;
}

void RateHistoryDialog::askAndExport() {
  const QString path = QFileDialog::getSaveFileName(this, "Export CSV", "rate-history.csv",
                                                    "CSV files (*.csv);;All files (*)");
  if (path.isEmpty()) return;
  if (!exportCsv(path.toStdString()))
    platform::showNotice(kExportFailed, history::kNoticeCaption, platform::NoticeIcon::Error,
                         platform::NoticeButtons::Ok, platform::NoticeOwner::ActiveDialog);
}

void showRateHistory(ui::ScanControl& scan, std::optional<MacAddress> device, QWidget* parent) {
  history::RateHistory* h = scan.rateHistory();
  if (h == nullptr) return;
  RateHistoryDialog dialog(*h, device, static_cast<std::int64_t>(std::time(nullptr)), parent);
  dialog.exec();
}

}  // namespace quorrel::qtui
