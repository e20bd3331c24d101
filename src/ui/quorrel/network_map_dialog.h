// The network map window: the adapters of the current interface's HomePlug AV network, each
// link with the rate each end reported, silent stations greyed and without links, and a
// Refresh button that asks again. Opened from the Main page's local device list.
#pragma once

#include <QDialog>
#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

#include "api/device_table.h"
#include "netmap/network_map.h"
#include "ui/presentation/scan_control.h"

class QAbstractScrollArea;
class QLabel;
class QTimer;
class QPushButton;

namespace quorrel::qtui {

inline constexpr const char* kNetworkMapAction = "Network Map\u2026";
inline constexpr const char* kNetworkMapCaption = "Network Map";
inline constexpr const char* kMapAvOnly = netmap::kAvOnlyText;
inline constexpr const char* kMapNoAdapter = api::kAdapterNotDetectedText;

// Where the map puts each adapter and each rate, for a view of a given size.
struct MapNodeBox {
  QRectF rect;
  QString title;     // the known device's name, else the MAC address
  QString subtitle;  // the MAC address under a name; "no answer" for a silent station
  bool local = false;
  bool silent = false;
};
struct MapRateText {
  QPointF at;  // centre of the text, near the adapter that reported the rate
  QString text;
};
struct MapLayout {
  std::vector<MapNodeBox> nodes;
  std::vector<std::pair<std::size_t, std::size_t>> lines;  // node indexes
  std::vector<MapRateText> rates;
};

// Nodes on a circle, the local device at the top; each rate sits on its link near the adapter
// that reported it. `names` gives the known name of each node, empty when none.
MapLayout layoutMap(const netmap::NetworkMap& map, const std::vector<QString>& names,
                    const QSizeF& size);

class NetworkMapView final : public QWidget {
 public:
  explicit NetworkMapView(QWidget* parent = nullptr);
  void setMap(netmap::NetworkMap map, std::vector<QString> names);
  const netmap::NetworkMap& map() const { return map_; }
  // Where the map is drawn now: the view less the legend's line at the bottom.
  MapLayout currentLayout() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  netmap::NetworkMap map_;
  std::vector<QString> names_;
};

class NetworkMapDialog final : public QDialog {
 public:
  using Gather = std::function<netmap::MapResult()>;
  // `gather` runs when the dialog is refreshed: at the first refresh() and on Refresh.
  explicit NetworkMapDialog(Gather gather, QWidget* parent = nullptr);
  // Gathers the map again and shows it; false when it could not be gathered.
  bool refresh();
  NetworkMapView* view() const { return view_; }
  QPushButton* refreshButton() const { return refresh_; }
  QLabel* summary() const { return summary_; }

 private:
  Gather gather_;
  NetworkMapView* view_ = nullptr;
  QLabel* summary_ = nullptr;
  QPushButton* refresh_ = nullptr;
};

// The map of the current interface over the program's receive path, with the autoscan suspended
// while it waits and restored after.
netmap::MapResult gatherWithScanSuspended(ui::ScanControl& scan, transport::ReceivePath& path);

// Opens the map, modal over `parent`; says why instead when there is no HomePlug AV network.
void openNetworkMap(QWidget* parent, ui::ScanControl& scan);
// The same from a page whose `scanTimer` drives the scan: the timer stops while the map is open
// (a user scan left pending would otherwise tick while the map waits) and runs again after.
void openNetworkMapFromPage(QWidget* parent, ui::ScanControl& scan, QTimer& scanTimer);
// Gives `list` a context menu with "Network Map…", which opens the map from the page.
void addNetworkMapMenu(QAbstractScrollArea* list, ui::ScanControl& scan, QTimer& scanTimer);

}  // namespace quorrel::qtui
