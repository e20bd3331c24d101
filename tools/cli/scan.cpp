// `quorrel-cli scan`: the local search and a number of scan cycles on every interface, with
// the same scan, device table and device data file as the desktop program.
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "api/device_table.h"
#include "cli_args.h"
#include "commands.h"
#include "history/rate_history.h"
#include "history/recording.h"
#include "known_refresh.h"
#include "persistence/device_data.h"
#include "persistence/known_devices.h"
#include "persistence/locations.h"
#include "persistence/preferences.h"
#include "persistence/vendor_list.h"
#include "scan/scan.h"
#include "scan/scan_loop.h"
#include "scan_report.h"
#include "transport/interface_table.h"

namespace quorrel::cli {

namespace {

constexpr int kMaxCycles = 1000;
constexpr int kMaxInterval = 32767;
// A cycle that cannot end within this much more than its ticks has lost its timer.
constexpr std::uint32_t kCycleSlackMs = 10000;

struct Options {
  int cycles = 1;
  int interval = 0;  // 0: from the preferences
  bool json = false;
  std::string dataDir;
};

// The options, or the exit code when there is nothing to run.
std::optional<int> parseOptions(Arguments args, Options& o) {
  CLI::App app{"Runs the local search and scan cycles on every interface and prints the devices.",
               "quorrel-cli scan"};
  app.add_option("--cycles", o.cycles, "scan cycles per interface after the local search")
      ->check(CLI::Range(1, kMaxCycles))
      ->capture_default_str();
  app.add_option("--interval", o.interval,
                 "scan interval, overriding the preferences (the timer period is N x 10 / 7 ms; "
                 "a cycle takes 2N + 4 ticks)")
      ->check(CLI::Range(1, kMaxInterval));
  app.add_flag("--json", o.json, "print JSON instead of a table");
  app.add_option("--data-dir", o.dataDir,
                 "folder of the device data file (default: the program's data folder)")
      ->option_text("DIR");
  return parseArguments(app, args);
}

// What the Main page's refresh does with the known devices: a record for every device never
// listed before, and the network and time of the last sighting for the others.
// Each cycle's rates go to the rate history as the desktop program's scan keeps them; each
// interface takes its turn, so only the current one's are new.
void showReport(const scan::ScanReport& report, history::RateHistory& history) {
  for (const scan::ScanChange& change : report.changes) {
    if (std::holds_alternative<scan::ListsChanged>(change)) {
      if (!api::currentState().localPresent) continue;
      refreshKnownDevices([](const api::RemoteDevice&, persistence::KnownDevice&) {});
    } else if (const auto* ageing = std::get_if<scan::AgeingReached>(&change)) {
      const scan::AgeingReached::Before& before = *ageing->before;
      history.record(
          history::listedRates(before.devices[before.currentInterface % api::kInterfaceCount]),
          std::time(nullptr));
    }
  }
}

}  // namespace

int runScan(Arguments args) {
  Options o;
  if (const auto code = parseOptions(args, o)) return *code;
  if (const auto code = prepareScanning(o.dataDir)) return *code;
  const int interval = o.interval != 0 ? o.interval : persistence::preferences().scanInterval;

  history::RateHistory history(history::historyPath(persistence::dataDirectory()));
  if (history.open(std::time(nullptr)) == history::OpenOutcome::SetAside)
    complain(history::setAsideMessage(history.path()));
  const std::uint32_t cycleMs = scan::cycleMsFor(static_cast<std::uint32_t>(interval));
  std::vector<InterfaceReport> reports;
  bool anyLocal = false;
  SafePoints safePoints;  // a cycle is the step: Ctrl-C keeps what the finished ones saw
  const int count = std::min(transport::interfaceTable().interfaceCount, transport::kMaxInterfaces);
  for (int i = 0; i < count && !interrupted(); ++i) {
    // Only the current interface's remotes are listed: each interface takes its turn.
    transport::setCurrentInterface(static_cast<std::uint32_t>(i));
    // As the desktop program's scan starts: the stations the data file lists are kept with
    // their names, but none counts as present until a station list of this run names it.
    api::ClearRemotes();
    scan::StartScan(static_cast<std::uint32_t>(interval), api::kDefaultDropThreshold, true);
    showReport(scan::takeScanReport(), history);
    if (api::interfaceState(i).localPresent) {
      anyLocal = true;
      for (int cycle = 1; cycle <= o.cycles && !interrupted(); ++cycle) {
        if (progressShown())
          std::fprintf(stderr, "\r%s: scan cycle %d of %d ", interfaceName(i).c_str(), cycle,
                       o.cycles);
        scan::ScanLoop loop = scan::ScanLoop::forCycles(1, cycleMs + kCycleSlackMs);
        while (loop.next()) showReport(loop.report(), history);
      }
      if (progressShown()) std::fputs("\r\033[K", stderr);
    }
    reports.push_back(captureInterface(i, interfaceName(i)));
  }
  scan::StopScan();
  scan::takeScanReport();  // only the timer stopped
  // What the finished cycles saw is kept, also after Ctrl-C.
  persistence::SaveDeviceData();

  if (!anyLocal && !interrupted()) return fail(kNoAdapter, api::kAdapterNotDetectedText);
  const std::string text = o.json ? formatJson(reports) : formatTable(reports);
  std::fputs(text.c_str(), stdout);
  if (interrupted())
    return fail(kInterrupted, "interrupted",
                "what the finished scan cycles saw is printed and saved; no adapter was changed");
  return kOk;
}

}  // namespace quorrel::cli
