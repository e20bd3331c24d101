// The rate history chart: one device or all, the last day, week or everything kept, rate in
// Mbps against local time, and the shown samples exported as CSV.
#pragma once

#include <QDialog>
#include <cstdint>
#include <optional>

#include "history/rate_history.h"

class QChart;
class QChartView;
class QComboBox;
class QPushButton;

namespace quorrel::ui {
class ScanControl;
}

namespace quorrel::qtui {

// The context-menu entry that opens the chart, on the Main and Diagnostics pages.
inline constexpr const char* kRateHistoryAction = "Rate History\u2026";

enum class HistoryRange { Day = 0, Week = 1, All = 2 };

class RateHistoryDialog final : public QDialog {
 public:
  // `now` (seconds since the epoch) ends the day and week ranges.
  RateHistoryDialog(const history::RateHistory& history, std::optional<MacAddress> device,
                    std::int64_t now, QWidget* parent = nullptr);

  // Picks the device (all when none or not listed) and the range, and draws.
  void choose(std::optional<MacAddress> device, HistoryRange range);
  // The samples the chart shows, as CSV, written atomically; false (and nothing replaced) when
  // the file could not be written.
  bool exportCsv(const std::string& path) const;

  QComboBox* deviceBox() const { return devices_; }
  QComboBox* rangeBox() const { return ranges_; }
  QChartView* chartView() const { return view_; }
  QPushButton* exportButton() const { return export_; }

 private:
  void redraw();
  std::optional<MacAddress> chosenDevice() const;
  std::int64_t rangeStart() const;
  void askAndExport();

  const history::RateHistory& history_;
  std::int64_t now_;
  QComboBox* devices_ = nullptr;
  QComboBox* ranges_ = nullptr;
  QChartView* view_ = nullptr;
  QPushButton* export_ = nullptr;
};

// Opens the chart over `parent` for `device` (all when none), from the scan's rate history.
void showRateHistory(ui::ScanControl& scan, std::optional<MacAddress> device, QWidget* parent);

}  // namespace quorrel::qtui
