// The desktop program against adapter-sim with 31 remotes over veth: time from the program's
// start (its shell entered, in this process) to the Main page first painted with the local device
// listed (beside the local search's own waits, measured in the same run), then resident memory,
// CPU share and the longest time the window's thread stayed away from its event loop over a
// minute of autoscan (the ageing steps included).
#include <sys/resource.h>
#include <QApplication>
#include <QEvent>
#include <QObject>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <memory>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "app/desktop_scan.h"
#include "rawfloor.h"
#include "scan/scan.h"
#include "ui/quorrel/main_page.h"
#include "ui/quorrel/property_sheet.h"
#include "ui/quorrel/shell.h"

namespace {

using namespace quorrel;
using Clock = std::chrono::steady_clock;

// Where the program itself would start: everything before it is the bench setting up.
Clock::time_point programStart;
constexpr int kRemotes = 31;

double msSince(Clock::time_point t) {
  return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

std::string scenario() {
  std::string s = "[local]\nmac 00:B0:52:10:00:01\nchip 1\n";
  for (int i = 0; i < kRemotes; ++i) {
    char mac[32];
    std::snprintf(mac, sizeof mac, "00:B0:52:20:00:%02X", i + 2);
    s +=
        "[remote]\nmac " + std::string(mac) + "\nchip 2\nrate " + std::to_string(40 + i * 5) + "\n";
  }
  return s + "[behaviour]\nlocal_latency_us 200\nremote_latency_us 500\n";
}

long residentKiB() {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  return -1;
}

double cpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Notes the first paint of the page after start-up.
class FirstPaint : public QObject {
 public:
  double atMs = -1;
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && atMs < 0) atMs = msSince(programStart);
    return QObject::eventFilter(watched, event);
  }
};

// A timer that should fire every kProbeMs: the longest gap beyond that is the longest the
// event loop was kept from running.
constexpr int kProbeMs = 2;

struct Figures {
  double localSearchMs = 0, startedMs = 0, firstPaintMs = 0, cpuShare = 0, worstGapMs = 0;
  long rssKiB = 0;
};

bool run(e2e::NetnsPair& pair, const std::string& path, int seconds, Figures& f,
         std::string& error) {
  e2e::SimProcess sim;
  if (!sim.start(pair, path, "", error) || !pair.enterHost(error)) return false;
  {
    // The local search's own waits on this wire, alone.
    const auto t = Clock::now();
    if (!scan::LocalSearch()) {
      error = "the local search found no adapter";
      return false;
    }
    f.localSearchMs = msSince(t);
    scan::StopScan();
  }
  FirstPaint paint;
  double cpuAtStart = 0;
  Clock::time_point runStart;
  qtui::ShellOptions options;
  options.afterStart = [&](qtui::PropertySheet& sheet, qtui::MainPage& page) {
    f.startedMs = msSince(programStart);
    page.installEventFilter(&paint);
    cpuAtStart = cpuSeconds();
    runStart = Clock::now();
    auto* probe = new QTimer(&sheet);
    probe->setTimerType(Qt::PreciseTimer);
    auto last = std::make_shared<Clock::time_point>(Clock::now());
    QObject::connect(probe, &QTimer::timeout, &sheet, [&f, last] {
      f.worstGapMs = std::max(f.worstGapMs, msSince(*last) - kProbeMs);
      *last = Clock::now();
    });
    probe->start(kProbeMs);
    QTimer::singleShot(seconds * 1000, &sheet, [&] {
      f.rssKiB = residentKiB();
      f.cpuShare = (cpuSeconds() - cpuAtStart) / (msSince(runStart) / 1000.0);
      sheet.closeButton()->click();
    });
  };
  int argc = 1;
  char name[] = "bench_desktop";
  char* argv[] = {name, nullptr};
  programStart = Clock::now();
  qtui::runShell(argc, argv, app::desktopScan(), options);
  f.firstPaintMs = paint.atMs;
  return f.firstPaintMs > 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (const auto why = e2e::netnsUnavailableReason(); !why.empty()) {
    std::printf("desktop bench skipped: %s\n", why.c_str());
    return 0;
  }
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
  char work[] = "/tmp/quorrel-desktop-bench-XXXXXX";
  if (mkdtemp(work) == nullptr) return 1;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("XDG_DATA_HOME", work, 1);
  setenv("XDG_RUNTIME_DIR", work, 1);
  Figures f;
  std::string error;
  const bool ok = bench::withScenarioPair(
      scenario(),
      [&](e2e::NetnsPair& pair, const std::string& path, std::string& e) {
        return run(pair, path, seconds, f, e);
      },
      error);
  std::system(("rm -rf '" + std::string(work) + "'").c_str());
  if (!ok) {
    std::fprintf(stderr, "desktop bench: %s\n", error.empty() ? "no first paint" : error.c_str());
    return 1;
  }
  std::printf("local search alone (its own waits on this wire): %.1f ms\n", f.localSearchMs);
  std::printf("program start to sheet shown and Main page initialised: %.1f ms\n", f.startedMs);
  std::printf("program start to the Main page first painted: %.1f ms\n", f.firstPaintMs);
  std::printf("first paint beyond the local search's waits: %.1f ms (target < 500)\n",
              f.firstPaintMs - f.localSearchMs);
  std::printf("resident memory after %d s of autoscan with %d remotes: %.1f MiB (target < 80)\n",
              seconds, kRemotes, f.rssKiB / 1024.0);
  std::printf("CPU share over that time: %.2f %% of one core (target < 2)\n", f.cpuShare * 100);
  std::printf(
      "longest the window's thread stayed from its event loop over that time: %.1f ms "
      "(bound 16, a frame at 60 Hz): %.2fx of the bound\n",
      f.worstGapMs, f.worstGapMs / 16.0);
  return 0;
}
