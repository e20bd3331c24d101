// The rate history's costs, each beside its bound and a floor measured in the same run:
// recording one scan cycle of 32 devices into a history holding a day of cycles (bound 1 ms;
// floor: one bare 1 KiB append to a file) on average, at the median, the 99th percentile and at
// worst (beside the slowest of the bare appends: on a busy machine both are the scheduler's), and
// opening a 90-day chart of 32 devices from the file (bound 300 ms; floor: the same dialog over
// an empty history).
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QtCharts/QChartView>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "history/rate_history.h"
#include "ui/quorrel/rate_history_dialog.h"

namespace {

using namespace quorrel;
using Clock = std::chrono::steady_clock;
constexpr std::int64_t kNow = 1'797'206'400;
constexpr int kDevices = 32;
constexpr int kCycleSeconds = 30;

double msSince(Clock::time_point t) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

std::vector<history::Reading> cycle(int n) {
  std::vector<history::Reading> r;
  for (int d = 0; d < kDevices; ++d)
    r.push_back({{0x00, 0xB0, 0x52, 0x20, 0x00, static_cast<std::uint8_t>(d + 2)},
                 {0x00, 0xB0, 0x52, 0x10, 0x00, 0x01},
                 100.0 + d + (n % 7)});
  return r;
}

// 90 days of hours and a day of cycles, written straight into the file.
void writeFullHistory(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  const auto h = history::encodeHeader();
  bytes.assign(h.begin(), h.end());
  auto put = [&](const history::Sample& s) {
    bytes.resize(bytes.size() + history::record::kSize);
    history::encodeRecord(s, MutableByteSpan(bytes).last(history::record::kSize));
  };
  for (const auto& [step, resolution, from] :
       {std::tuple{3600, history::Resolution::Hour, kNow - 90 * 86400},
        std::tuple{kCycleSeconds, history::Resolution::Cycle, kNow - 86400}})
    for (std::int64_t t = from; t < (resolution == history::Resolution::Hour ? kNow - 86400 : kNow);
         t += step)
      for (const history::Reading& r : cycle(static_cast<int>(t / step)))
        put({t, r.device, r.viewer, history::toKbps(r.mbps), 1, resolution});
  std::FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

void line(const char* what, double ms, double boundMs, double floorMs) {
  std::printf("%-44s %9.3f ms  bound %6.1f ms  ratio %.3f  floor %8.3f ms (x%.1f)\n", what, ms,
              boundMs, ms / boundMs, floorMs, floorMs > 0 ? ms / floorMs : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  const auto dir =
      std::filesystem::temp_directory_path() / ("qhist-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = history::historyPath(dir.string());

  // Floor: a bare append of one cycle's bytes.
  const int fd = ::open((dir / "floor").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
  std::vector<std::uint8_t> block(kDevices * history::record::kSize, 0x5A);
  constexpr int kRounds = 2000;
  double floorAppend = 0;
  double floorSlowest = 0;  // a bare append's worst case on this machine, for the slowest cycle
  for (int i = 0; i < kRounds; ++i) {
    const auto t = Clock::now();
    if (::write(fd, block.data(), block.size()) < 0) return 1;
    const double ms = msSince(t);
    floorAppend += ms / kRounds;
    floorSlowest = std::max(floorSlowest, ms);
  }
  ::close(fd);

  writeFullHistory(path);
  {
    history::RateHistory h(path);
    h.open(kNow);
    std::vector<double> each;
    double compactMs = 0;
    for (int i = 0; i < kRounds; ++i) {
      const auto readings = cycle(i);
      const auto start = Clock::now();
      h.record(readings, kNow + i * kCycleSeconds);
      each.push_back(msSince(start));
      // A compaction runs on a worker in the 30 s between two cycles; the next cycle puts it
      // in place, and that is measured.
      while (h.compacting()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::sort(each.begin(), each.end());
    compactMs = each.back();
    double sum = 0;
    for (double v : each) sum += v;
    line("record one cycle of 32 devices (mean)", sum / kRounds, 1.0, floorAppend);
    line("record one cycle of 32 devices (median)", each[kRounds / 2], 1.0, floorAppend);
    line("record one cycle of 32 devices (99th pct)", each[kRounds * 99 / 100], 1.0, floorAppend);
    line("record one cycle of 32 devices (slowest)", compactMs, 1.0, floorSlowest);
  }

  writeFullHistory(path);
  auto openChart = [&](const std::string& file) {
    const auto start = Clock::now();
    history::RateHistory h(file);
    h.open(kNow);
    qtui::RateHistoryDialog dialog(h, std::nullopt, kNow);
    dialog.choose(std::nullopt, qtui::HistoryRange::All);
    dialog.resize(900, 520);
    dialog.grab();
    return msSince(start);
  };
  const double emptyMs = openChart((dir / "empty.dat").string());
  const double fullMs = openChart(path);
  line("open a 90-day chart of 32 devices", fullMs, 300.0, emptyMs);
  std::filesystem::remove_all(dir);
  return 0;
}
