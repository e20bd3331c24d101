// `quorrel-cli monitor`: the desktop program's scan without a window, cycle after cycle on
// every interface with a local adapter, keeping the rate history and the known devices as the
// desktop does, and feeding each cycle's rates to Prometheus (/metrics) and to Home Assistant
// (through an MQTT broker). It gives way to the desktop program and to the console operations
// between its cycles, ends at a safe point on SIGINT or SIGTERM and reads its settings again on
// SIGHUP.
#include <csignal>
#include <ctime>
#include <memory>
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
#include "monitor/home_assistant.h"
#include "monitor/metrics.h"
#include "monitor/readings.h"
#include "monitor/settings.h"
#include "netmap/network_map.h"
#include "persistence/device_data.h"
#include "persistence/known_devices.h"
#include "persistence/locations.h"
#include "persistence/preferences.h"
#include "persistence/vendor_list.h"
#include "platform/adapter_lock.h"
#include "platform/clock.h"
#include "scan/scan.h"
#include "scan/scan_loop.h"
#include "transport/interface_table.h"

namespace quorrel::cli {

namespace {

using monitor::Settings;

// The device data file is written this often, and at the end.
constexpr std::int64_t kSaveEverySeconds = 600;

std::atomic<bool>& reloadWanted() {
  static std::atomic<bool> flag{false};
  return flag;
}
extern "C" void onReloadSignal(int) {
  reloadWanted().store(true);
}

// What the command line said: the settings file and the settings given as options.
struct Given {
  std::string config;
  std::vector<std::string> values = std::vector<std::string>(std::size(monitor::kSettingKeys));
  std::vector<bool> set = std::vector<bool>(std::size(monitor::kSettingKeys));
};

std::optional<int> parseOptions(Arguments args, Given& g) {
  CLI::App app{
      "Scans continuously on every interface with a local adapter, keeps the rate history and "
      "serves the rates to Prometheus and Home Assistant. Every setting is also a key of the "
      "settings file (key = value); an option wins over the file.",
      "quorrel-cli monitor"};
  app.add_option("--config", g.config,
                 "settings file (the service's: "
                 "/etc/quorrel-utility/monitor.conf)")
      ->option_text("FILE");
  for (std::size_t i = 0; i < std::size(monitor::kSettingKeys); ++i) {
    const monitor::SettingKey& k = monitor::kSettingKeys[i];
    const std::string name = "--" + std::string(k.name);
    if (k.valueName.empty()) {
      app.add_flag_callback(
          name, [&g, i] { g.values[i] = "yes", g.set[i] = true; }, std::string(k.help));
    } else {
      app.add_option_function<std::string>(
             name, [&g, i](const std::string& v) { g.values[i] = v, g.set[i] = true; },
             std::string(k.help))
          ->option_text(std::string(k.valueName));
    }
  }
  return parseArguments(app, args);
}

// The file's settings, then the options'; none after saying what is wrong.
std::optional<Settings> loadSettings(const Given& g) {
  Settings s;
  std::optional<monitor::Problem> p;
  if (!g.config.empty()) p = monitor::applySettingsFile(s, g.config);
  for (std::size_t i = 0; !p && i < g.values.size(); ++i)
    if (g.set[i]) {
      p = monitor::applySetting(s, monitor::kSettingKeys[i].name, g.values[i]);
      if (p) p->what = "--" + std::string(monitor::kSettingKeys[i].name) + ": " + p->what;
    }
  if (!p) p = monitor::completeSettings(s);
  if (!p) return s;
  complain(p->what, p->why);
  return std::nullopt;
}

// Where the cycles' findings go.
struct Outlets {
  monitor::Metrics metrics;
  std::unique_ptr<monitor::HomeAssistantLink> homeAssistant;
};

std::unique_ptr<Outlets> openOutlets(const Settings& s) {
  auto o = std::make_unique<Outlets>();
  std::optional<monitor::Problem> p;
  if (s.listen) p = o->metrics.serve(*s.listen);
  if (!p && s.mqtt) o->homeAssistant = monitor::HomeAssistantLink::start(s, p);
  if (!p) return o;
  complain(p->what, p->why);
  return nullptr;
}

// Sleeps `ms` in steps, ending early on a stop.
void pause(std::uint32_t ms) {
  for (std::uint32_t slept = 0; slept < ms && !interrupted(); slept += 100)
    platform::sleepMs(std::min<std::uint32_t>(100, ms - slept));
}

class Monitor {
 public:
  Monitor(Settings s, std::unique_ptr<Outlets> outlets, history::RateHistory& history)
      : settings_(std::move(s)), outlets_(std::move(outlets)), history_(history) {}

  void run(const Given& given) {
    platform::AdapterLock lock;
    bool lockProblemTold = false;
    std::int64_t savedAt = std::time(nullptr);
    while (!interrupted()) {
      if (reloadWanted().exchange(false)) reload(given);
      // A reload is not held up by a desktop program that keeps the adapters.
      if (!lock.takeTurn([] { return interrupted() || reloadWanted().load(); })) {
        if (interrupted()) break;
        if (reloadWanted().load()) continue;
        if (!lockProblemTold)
          complain("the adapter lock " + lock.path() + " cannot be used; scanning without it",
                   lock.problem());
        lockProblemTold = true;
      }
      if (!loop_ && !startNext()) {
        lock.release();
        pause(scan::cycleMsFor(static_cast<std::uint32_t>(interval())));
        continue;
      }
      runCycle();
      lock.release();
      if (std::time(nullptr) - savedAt >= kSaveEverySeconds) {
        persistence::SaveDeviceData();
        savedAt = std::time(nullptr);
      }
    }
    scan::StopScan();
    scan::takeScanReport();
    persistence::SaveDeviceData();
  }

 private:
  int interval() const {
    return settings_.interval != 0 ? settings_.interval : persistence::preferences().scanInterval;
  }

  // Starts the scan on the next interface with a local adapter; at the end of a round the
  // interfaces are searched again. False when none has one.
  bool startNext() {
    if (turn_ >= locals_.size()) {
      turn_ = 0;
      locals_.clear();
      transport::EnumerateInterfaces();
      const int count =
          std::min(transport::interfaceTable().interfaceCount, transport::kMaxInterfaces);
      for (int i = 0; i < count && !interrupted(); ++i) {
        transport::setCurrentInterface(static_cast<std::uint32_t>(i));
        if (scan::StartScan(static_cast<std::uint32_t>(interval()), api::kDefaultDropThreshold,
                            true))
          locals_.push_back(i);
        else
          localGone(i);
        takeReport(scan::takeScanReport());
      }
      if (locals_.empty()) {
        scan::StopScan();
        return false;
      }
      // The one local adapter is on the interface searched last: its scan runs on from here.
      if (locals_.size() == 1 && locals_.front() == count - 1) {
        startLoop();
        return true;
      }
    }
    const int i = locals_[turn_];
    transport::setCurrentInterface(static_cast<std::uint32_t>(i));
    if (!scan::StartScan(static_cast<std::uint32_t>(interval()), api::kDefaultDropThreshold,
                         true)) {
      takeReport(scan::takeScanReport());
      localGone(i);
      ++turn_;
      return false;
    }
    takeReport(scan::takeScanReport());
    startLoop();
    return true;
  }

  void startLoop() {
    loop_.emplace(scan::ScanLoop::forTicks(UINT32_MAX));
    cycleStartUs_ = platform::clock().microseconds();
  }

  // Ticks until the current interface's cycle ends (or its local adapter goes).
  void runCycle() {
    cycleEnded_ = false;
    while (!cycleEnded_ && !interrupted() && loop_->next()) takeReport(loop_->report());
    const int current = static_cast<int>(transport::currentInterface());
    if (!scan::scanTimerRunning()) {
      localGone(current);
      loop_.reset();
      ++turn_;
      return;
    }
    if (!cycleEnded_) return;
    mapIfDue(current);
    if (locals_.size() > 1) {
      loop_.reset();
      ++turn_;
    }
  }

  // Interface `i` has no local adapter (any more): Prometheus drops its remotes, Home
  // Assistant sees the adapters it knew there as disconnected.
  void localGone(int i) {
    outlets_->metrics.localAbsent(interfaceName(i));
    api::InterfaceDevices d = api::interfaceDevices(i);
    if (!outlets_->homeAssistant || isZeroMac(d.localMac)) return;
    d.localPresent = true;
    monitor::CycleReading c = monitor::readCycle(d, 0, interfaceName(i), persistence::knownNameOf);
    for (monitor::AdapterReading& a : c.adapters) a.answered = false;
    outlets_->homeAssistant->publish(c.adapters);
  }

  // What a step changed: the known devices, and at the ageing step the cycle's rates.
  void takeReport(const scan::ScanReport& report) {
    for (const scan::ScanChange& change : report.changes) {
      if (std::holds_alternative<scan::ListsChanged>(change)) {
        if (api::currentState().localPresent)
          refreshKnownDevices([](const api::RemoteDevice&, persistence::KnownDevice&) {});
      } else if (const auto* ageing = std::get_if<scan::AgeingReached>(&change)) {
        const scan::AgeingReached::Before& before = *ageing->before;
        const int i = static_cast<int>(before.currentInterface % api::kInterfaceCount);
        recordCycle(i, before.devices[static_cast<std::size_t>(i)]);
      }
    }
  }

  void recordCycle(int i, const api::InterfaceDevices& devices) {
    const std::int64_t now = std::time(nullptr);
    history_.record(history::listedRates(devices), now);
    monitor::CycleReading c = monitor::readCycle(devices, api::deviceTable().dropThreshold,
                                                 interfaceName(i), persistence::knownNameOf);
    const std::uint64_t us = platform::clock().microseconds();
    c.cycleSeconds = static_cast<double>(us - cycleStartUs_) / 1e6;
    c.endedAt = now;
    cycleStartUs_ = us;
    cycleEnded_ = true;
    outlets_->metrics.update(c);
    if (outlets_->homeAssistant) outlets_->homeAssistant->publish(c.adapters);
  }

  void mapIfDue(int i) {
    if (settings_.mapEveryMinutes == 0 || !api::isAvClass(api::interfaceState(i).localClass))
      return;
    const std::int64_t now = std::time(nullptr);
    std::int64_t& last = mappedAt_[i];
    if (last != 0 && now - last < std::int64_t{settings_.mapEveryMinutes} * 60) return;
    last = now;
    const bool autoscan = scan::SuspendAutoscan(false);
    const netmap::MapResult r = netmap::gatherNetworkMap(scan::receivePath());
    scan::SuspendAutoscan(autoscan);
    if (r.outcome == netmap::MapOutcome::Gathered)
      outlets_->metrics.updateMap(interfaceName(i),
                                  monitor::readLinks(r.map, persistence::knownNameOf));
  }

  // New settings take effect between cycles; bad ones are refused and the old ones kept.
  void reload(const Given& given) {
    std::optional<Settings> s = loadSettings(given);
    if (!s || *s == settings_) return;
    const bool rescan = s->interval != settings_.interval;
    outlets_.reset();  // the old address and connection go before the new ones are made
    auto outlets = openOutlets(*s);
    if (outlets == nullptr) {
      complain("the new settings are not used; the previous ones stay");
      outlets = openOutlets(settings_);
    } else {
      settings_ = std::move(*s);
    }
    outlets_ = outlets ? std::move(outlets) : std::make_unique<Outlets>();
    if (rescan) {
      loop_.reset();
      locals_.clear();
      turn_ = 0;
    }
  }

  Settings settings_;
  std::unique_ptr<Outlets> outlets_;
  history::RateHistory& history_;
  std::vector<int> locals_;
  std::size_t turn_ = 0;
  std::optional<scan::ScanLoop> loop_;
  std::uint64_t cycleStartUs_ = 0;
  bool cycleEnded_ = false;
  std::map<int, std::int64_t> mappedAt_;
};

}  // namespace

int runMonitor(Arguments args) {
  Given given;
  if (const auto code = parseOptions(args, given)) return *code;
  std::optional<Settings> settings = loadSettings(given);
  if (!settings) return kBadInput;
  auto outlets = openOutlets(*settings);
  if (outlets == nullptr) return kBadInput;
  if (const auto code = prepareScanning(settings->dataDir)) return *code;

  history::RateHistory history(history::historyPath(persistence::dataDirectory()));
  if (history.open(std::time(nullptr)) == history::OpenOutcome::SetAside)
    complain(history::setAsideMessage(history.path()));
  struct sigaction reload {};
  reload.sa_handler = onReloadSignal;
  reload.sa_flags = SA_RESTART;
  sigemptyset(&reload.sa_mask);
  sigaction(SIGHUP, &reload, nullptr);
  SafePoints safePoints;  // a stop ends the cycle under way and keeps what it saw
  Monitor(std::move(*settings), std::move(outlets), history).run(given);
  history.settle();
  return kInterrupted;
}

}  // namespace quorrel::cli
