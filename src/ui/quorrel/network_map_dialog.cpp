// The map is gathered on the user-interface thread: the program's clock gives the event loop a
// turn on every sleep, so the window keeps painting through the few hundred milliseconds a
// silent station costs, and user input waits until the map is in.
#include "ui/quorrel/network_map_dialog.h"

#include <QAbstractScrollArea>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>
#include <numbers>

#include "api/device_table.h"
#include "persistence/known_devices.h"
#include "platform/notice.h"
#include "scan/autoscan_hold.h"
#include "scan/scan.h"
#include "ui/presentation/operation_text.h"
#include "ui/qtplatform/wire_window.h"

namespace quorrel::qtui {

namespace {

constexpr double kBoxWidth = 160, kBoxHeight = 44, kMargin = 24;
constexpr int kLegendHeight = 30;
// How far along a link, from the adapter that reported it, its rate is written.
constexpr double kRateAlong = 0.3;
constexpr const char* kLegend =
    "Each rate (Mbps) stands near the adapter that reported it: what that adapter sends to the "
    "other end. Grey adapters did not answer.";

QString macText(const MacAddress& m) {
  return QString::fromStdString(formatMac(m));
}

QString rateText(double mbps) {
  return QString::number(static_cast<long>(mbps)) + QStringLiteral(" Mbps");
}

std::vector<QString> knownNames(const netmap::NetworkMap& map) {
  std::vector<QString> names;
  for (const netmap::MapNode& n : map.nodes)
    names.push_back(n.local ? QString() : QString::fromStdString(persistence::knownNameOf(n.mac)));
  return names;
}

}  // namespace

MapLayout layoutMap(const netmap::NetworkMap& map, const std::vector<QString>& names,
                    const QSizeF& size) {
  MapLayout out;
  const std::size_t n = map.nodes.size();
  const QPointF centre(size.width() / 2, size.height() / 2);
  const double radius =
      std::max(0.0, std::min(size.width() - kBoxWidth, size.height() - kBoxHeight) / 2 - kMargin);
  std::vector<QPointF> centres;
  for (std::size_t i = 0; i < n; ++i) {
    const double angle = -std::numbers::pi / 2 + 2 * std::numbers::pi * double(i) / double(n);
    const QPointF c =
        n == 1 ? centre : centre + QPointF(radius * std::cos(angle), radius * std::sin(angle));
    centres.push_back(c);
    const netmap::MapNode& node = map.nodes[i];
    MapNodeBox box;
    box.rect = QRectF(c.x() - kBoxWidth / 2, c.y() - kBoxHeight / 2, kBoxWidth, kBoxHeight);
    const bool named = i < names.size() && !names[i].isEmpty();
    box.title = named ? names[i] : macText(node.mac);
    box.subtitle = !node.answered ? QStringLiteral("no answer")
                   : named        ? macText(node.mac)
                   : node.local   ? QStringLiteral("local device")
                                  : QString();
    box.local = node.local;
    box.silent = !node.answered;
    out.nodes.push_back(box);
  }
  for (const netmap::MapLink& l : map.links) {
    if (l.a >= n || l.b >= n) continue;
    out.lines.emplace_back(l.a, l.b);
    const QPointF a = centres[l.a], b = centres[l.b];
    if (l.aToB) out.rates.push_back({a + (b - a) * kRateAlong, rateText(*l.aToB)});
    if (l.bToA) out.rates.push_back({b + (a - b) * kRateAlong, rateText(*l.bToA)});
  }
  return out;
}

NetworkMapView::NetworkMapView(QWidget* parent) : QWidget(parent) {
  setMinimumSize(600, 440);
}

void NetworkMapView::setMap(netmap::NetworkMap map, std::vector<QString> names) {
  map_ = std::move(map);
  names_ = std::move(names);
  update();
}

MapLayout NetworkMapView::currentLayout() const {
  return layoutMap(map_, names_, QSizeF(width(), height() - kLegendHeight));
}

void NetworkMapView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  p.fillRect(rect(), Qt::white);
  const MapLayout layout = currentLayout();
  p.setPen(QPen(QColor(0x60, 0x70, 0x80), 2));
  for (const auto& [a, b] : layout.lines)
    p.drawLine(layout.nodes[a].rect.center(), layout.nodes[b].rect.center());
  const QFontMetrics fm(font());
  for (const MapRateText& r : layout.rates) {
    QRectF box = fm.boundingRect(r.text);
    box.adjust(-4, -1, 4, 1);
    box.moveCenter(r.at);
    p.setPen(QColor(0x60, 0x70, 0x80));
    p.setBrush(QColor(0xFF, 0xF8, 0xE0));
    p.drawRoundedRect(box, 3, 3);
    p.setPen(Qt::black);
    p.drawText(box, Qt::AlignCenter, r.text);
  }
  for (const MapNodeBox& b : layout.nodes) {
    QPen border(b.local ? QColor(0x1F, 0x5F, 0xBF) : QColor(0x55, 0x55, 0x55), b.local ? 3 : 1.5);
    if (b.silent) {
      border = QPen(QColor(0xA0, 0xA0, 0xA0), 1.5, Qt::DashLine);
    }
    p.setPen(border);
    p.setBrush(b.silent ? QColor(0xE8, 0xE8, 0xE8)
                        : (b.local ? QColor(0xDB, 0xE9, 0xFF) : QColor(0xF7, 0xF7, 0xF7)));
    p.drawRoundedRect(b.rect, 6, 6);
    p.setPen(b.silent ? QColor(0x90, 0x90, 0x90) : QColor(Qt::black));
    QFont bold = font();
    bold.setBold(b.local);
    p.setFont(bold);
    const QRectF top = b.rect.adjusted(4, 3, -4, -b.rect.height() / 2);
    const QRectF bottom = b.rect.adjusted(4, b.rect.height() / 2, -4, -3);
    p.drawText(b.subtitle.isEmpty() ? b.rect : top, Qt::AlignCenter, b.title);
    p.setFont(font());
    if (!b.subtitle.isEmpty()) p.drawText(bottom, Qt::AlignCenter, b.subtitle);
  }
  p.setPen(QColor(0x50, 0x50, 0x50));
  p.drawText(QRectF(8, height() - kLegendHeight, width() - 16, kLegendHeight),
             Qt::AlignLeft | Qt::TextWordWrap, QString::fromUtf8(kLegend));
}

NetworkMapDialog::NetworkMapDialog(Gather gather, QWidget* parent)
    : QDialog(parent), gather_(std::move(gather)) {
  setWindowTitle(QString::fromUtf8(kNetworkMapCaption));
  view_ = new NetworkMapView(this);
  summary_ = new QLabel(this);
  refresh_ = new QPushButton(QStringLiteral("Refresh"), this);
  auto* close = new QPushButton(QStringLiteral("Close"), this);
  refresh_->setAutoDefault(false);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(summary_, 1);
  buttons->addWidget(refresh_);
  buttons->addWidget(close);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(view_, 1);
  layout->addLayout(buttons);
  connect(refresh_, &QPushButton::clicked, this, [this] { refresh(); });
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

bool NetworkMapDialog::refresh() {
  refresh_->setEnabled(false);
  const netmap::MapResult r = gather_();
  refresh_->setEnabled(true);
  if (r.outcome != netmap::MapOutcome::Gathered) return false;
  std::size_t silent = 0;
  for (const netmap::MapNode& n : r.map.nodes) silent += n.answered ? 0 : 1;
  summary_->setText(
      QStringLiteral("%1 adapters, %2 did not answer").arg(r.map.nodes.size()).arg(silent));
  view_->setMap(r.map, knownNames(r.map));
  return true;
}

netmap::MapResult gatherWithScanSuspended(ui::ScanControl& scan, transport::ReceivePath& path) {
  scan::WireHold hold;
  const bool autoscan = scan.SuspendAutoscan(false);
  platform::WaitCursor busy;
  netmap::MapResult r = netmap::gatherNetworkMap(path);
  scan.SuspendAutoscan(autoscan);
  return r;
}

void openNetworkMap(QWidget* parent, ui::ScanControl& scan) {
  const api::InterfaceDevices& d = api::currentDevices();
  if (!d.localPresent) {
    platform::showNotice(kMapNoAdapter, kNetworkMapCaption, platform::NoticeIcon::Information);
    return;
  }
  if (!api::deviceTable().avLocal) {
    platform::showNotice(kMapAvOnly, kNetworkMapCaption, platform::NoticeIcon::Information);
    return;
  }
  // The map is gathered on the wire while a box offers Cancel; a cancelled gathering shows what
  // had answered by then.
  NetworkMapDialog dialog(
      [&scan, parent] {
        netmap::MapResult r;
        runWithProgress(scan, parent, QString::fromUtf8(ui::operation_text::kGatheringMap),
                        [&] { r = gatherWithScanSuspended(scan, scan::receivePath()); });
        return r;
      },
      parent);
  dialog.show();
  dialog.refresh();
  dialog.exec();
}

void openNetworkMapFromPage(QWidget* parent, ui::ScanControl& scan, QTimer& scanTimer) {
  const bool running = scanTimer.isActive();
  scanTimer.stop();
  openNetworkMap(parent, scan);
  if (running && !scanTimer.isActive()) scanTimer.start();
}

void addNetworkMapMenu(QAbstractScrollArea* list, ui::ScanControl& scan, QTimer& scanTimer) {
  list->setContextMenuPolicy(Qt::CustomContextMenu);
  QObject::connect(list, &QWidget::customContextMenuRequested, list,
                   [list, &scan, &scanTimer](const QPoint& at) {
                     QMenu menu(list);
                     menu.addAction(QString::fromUtf8(kNetworkMapAction), list, [&, list] {
                       openNetworkMapFromPage(list->window(), scan, scanTimer);
                     });
                     menu.exec(list->viewport()->mapToGlobal(at));
                   });
}

}  // namespace quorrel::qtui
