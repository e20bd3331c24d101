// quorrel-cli monitor against adapter-sim over a veth pair: a local adapter and 31 stations
// that all answer, at the desktop program's default interval. First the desktop's scan loop
// (in this process) runs a few cycles for the reference cycle time; then the monitor runs
// for QUORREL_BENCH_MONITOR_SECONDS (default 60) while /metrics is fetched four times a
// second. Printed: the monitor's CPU share of one core (the fetches included), its resident
// memory, the fetches' answer times, and its cycle against the desktop's (targets: under 1 %,
// under 30 MiB, p99 under 5 ms, at most 1.02x).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "api/device_table.h"
#include "persistence/known_devices.h"
#include "rawfloor.h"
#include "scan/scan.h"
#include "scan/scan_loop.h"
#include "transport/interface_table.h"

namespace {

using namespace quorrel;
using Clock = std::chrono::steady_clock;

constexpr int kRemotes = 31;
constexpr std::uint32_t kInterval = 30;
constexpr int kPort = 19586;

std::string scenario() {
  std::string s = "[local]\nmac 00:B0:52:10:00:01\nchip 2\n";
  for (int i = 1; i <= kRemotes; ++i) {
    char r[96];
    std::snprintf(r, sizeof r, "[remote]\nmac 00:B0:52:30:00:%02X\nchip 2\nrate %d\n", i, 100 + i);
    s += r;
  }
  return s;
}

// GET /metrics on loopback: the answer, and its time in microseconds.
std::string fetchMetrics(double& us) {
  const auto start = Clock::now();
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(kPort);
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string answer;
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
    const char request[] = "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
    if (write(fd, request, sizeof request - 1) > 0)
      for (char b[8192];;) {
        const ssize_t n = read(fd, b, sizeof b);
        if (n <= 0) break;
        answer.append(b, static_cast<std::size_t>(n));
      }
  }
  close(fd);
  us = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
  return answer;
}

double valueAfter(const std::string& text, const std::string& name) {
  const auto at = text.find("\n" + name + "{");
  if (at == std::string::npos) return -1;
  return std::atof(text.c_str() + text.find("} ", at) + 2);
}

// user + system CPU seconds of `pid`.
double cpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string all((std::istreambuf_iterator<char>(in)), {});
  std::istringstream fields(all.substr(all.rfind(')') + 2));
  std::string f;
  unsigned long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> f; ++i) {
    if (i == 14) utime = std::stoul(f);
    if (i == 15) stime = std::stoul(f);
  }
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

long statusKib(pid_t pid, const std::string& key) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(in, line);)
    if (line.rfind(key + ":", 0) == 0) return std::atol(line.c_str() + key.size() + 1);
  return -1;
}

struct Result {
  std::vector<double> desktopCycleUs, monitorCycleUs;
  bench::Timings fetch;
  double cpuShare = 0;
  long rssKib = 0, peakKib = 0;
};

bool measure(e2e::NetnsPair& pair, const std::string& path, double seconds, Result& r,
             std::string& error) {
  e2e::SimProcess sim;
  if (!sim.start(pair, path, "", error) || !pair.enterHost(error)) return false;
  // The desktop's scan: the loop a timer would run, in this process.
  api::resetDeviceTable();
  persistence::resetKnownDevices();
  scan::resetScan();
  transport::EnumerateInterfaces();
  if (!scan::StartScan(kInterval, 3, true)) return error = "no local adapter", false;
  scan::runScanCycles(1, 60000);  // the first cycle lists the stations
  const int desktopCycles = std::max(2, static_cast<int>(seconds / 3 / 2.7));
  for (int i = 0; i < desktopCycles; ++i) {
    const auto t = Clock::now();
    scan::runScanCycles(1, 60000);
    r.desktopCycleUs.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t).count());
  }
  scan::StopScan();
  transport::resetInterfaceTable();

  char dir[] = "/tmp/quorrel-bench-monitor-XXXXXX";
  if (mkdtemp(dir) == nullptr) return error = "no scratch folder", false;
  std::system("ip link set lo up");
  const pid_t pid = fork();
  if (pid == 0) {
    setenv("QUORREL_ADAPTER_LOCK", (std::string(dir) + "/lock").c_str(), 1);
    const std::string listen = "127.0.0.1:" + std::to_string(kPort);
    execl(QUORREL_CLI_PATH, QUORREL_CLI_PATH, "monitor", "--interval", "30", "--listen",
          listen.c_str(), "--data-dir", dir, static_cast<char*>(nullptr));
    _exit(127);
  }
  // Until its first cycle is over, then the measured span.
  double us = 0;
  for (int i = 0; i < 200 && valueAfter(fetchMetrics(us), "quorrel_scan_cycles_total") < 2; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const double cpuBefore = cpuSeconds(pid);
  const auto start = Clock::now();
  double lastCycles = 0;
  while (std::chrono::duration<double>(Clock::now() - start).count() < seconds) {
    const std::string text = fetchMetrics(us);
    r.fetch.us.push_back(us);
    const double cycles = valueAfter(text, "quorrel_scan_cycles_total");
    if (cycles > lastCycles && lastCycles > 0)
      r.monitorCycleUs.push_back(valueAfter(text, "quorrel_scan_cycle_duration_seconds") * 1e6);
    lastCycles = cycles;
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
  }
  const double wall = std::chrono::duration<double>(Clock::now() - start).count();
  r.cpuShare = (cpuSeconds(pid) - cpuBefore) / wall;
  r.rssKib = statusKib(pid, "VmRSS");
  r.peakKib = statusKib(pid, "VmHWM");
  e2e::stopChild(pid);
  std::system((std::string("rm -rf ") + dir).c_str());
  pair.leaveHost();
  if (r.monitorCycleUs.empty()) return error = "the monitor completed no cycle", false;
  return true;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main() {
  if (const auto why = e2e::netnsUnavailableReason(); !why.empty()) {
    std::printf("monitor bench skipped: %s\n", why.c_str());
    return 0;
  }
  const char* given = std::getenv("QUORREL_BENCH_MONITOR_SECONDS");
  const double seconds = given != nullptr ? std::max(5.0, std::atof(given)) : 60.0;
  Result r;
  std::string error;
  if (!bench::withScenarioPair(
          scenario(),
          [&](e2e::NetnsPair& pair, const std::string& path, std::string& e) {
            return measure(pair, path, seconds, r, e);
          },
          error)) {
    std::fprintf(stderr, "monitor bench: %s\n", error.c_str());
    return 1;
  }
  bench::summarise(r.fetch);
  std::vector<double> sorted = r.fetch.us;
  std::sort(sorted.begin(), sorted.end());
  const double p99 = sorted[std::min(sorted.size() - 1, sorted.size() * 99 / 100)];
  std::printf("monitor, %d stations, interval %u, %.0f s\n", kRemotes, kInterval, seconds);
  std::printf("CPU share of one core: %.3f %%, target 1 %%, ratio %.2f\n", r.cpuShare * 100,
              r.cpuShare * 100);
  std::printf("resident memory: %.1f MiB (peak %.1f MiB), target 30 MiB, ratio %.2f\n",
              r.rssKib / 1024.0, r.peakKib / 1024.0, r.peakKib / 1024.0 / 30);
  bench::printTimings("/metrics answer", r.fetch);
  std::printf("/metrics answer p99: %.0f us, target 5000 us, ratio %.2f\n", p99, p99 / 5000);
  const double desktop = median(r.desktopCycleUs), monitor = median(r.monitorCycleUs);
  std::printf(
      "scan cycle: monitor %.0f us (median of %zu), desktop loop %.0f us (median of %zu), "
      "ratio %.3f, target 1.02\n",
      monitor, r.monitorCycleUs.size(), desktop, r.desktopCycleUs.size(), monitor / desktop);
  return 0;
}
