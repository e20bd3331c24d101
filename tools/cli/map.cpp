// `quorrel-cli map`: lists the stations of the first HomePlug AV network with a scan cycle,
// then asks every adapter for its own network information and prints who reaches whom at
// which rate. The device data file is read for the names and not written.
#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "api/device_table.h"
#include "cli_args.h"
#include "commands.h"
#include "netmap/network_map.h"
#include "persistence/device_data.h"
#include "persistence/known_devices.h"
#include "persistence/locations.h"
#include "persistence/preferences.h"
#include "scan/scan.h"
#include "scan/scan_loop.h"
#include "transport/interface_table.h"

namespace quorrel::cli {

namespace {

constexpr int kMaxInterval = 32767;
// A cycle that cannot end within this much more than its ticks has lost its timer.
constexpr std::uint32_t kCycleSlackMs = 10000;

struct Options {
  int interval = 0;  // 0: from the preferences
  bool json = false;
  std::string dataDir;
  std::string interface;  // empty: the first with a HomePlug AV adapter
};

std::optional<int> parseOptions(Arguments args, Options& o) {
  CLI::App app{
      "Lists the stations of the first HomePlug AV network, asks each adapter for the "
      "rates it sees to the others and prints the map.",
      "quorrel-cli map"};
  app.add_option("--interval", o.interval,
                 "scan interval of the cycle that lists the stations, overriding the preferences")
      ->check(CLI::Range(1, kMaxInterval));
  app.add_flag("--json", o.json, "print JSON instead of text");
  app.add_option("--interface", o.interface,
                 "the interface of the local adapter (default: the first with a HomePlug AV one)")
      ->option_text("NAME");
  app.add_option("--data-dir", o.dataDir,
                 "folder of the device data file, read for the names (default: the program's "
                 "data folder)")
      ->option_text("DIR");
  return parseArguments(app, args);
}

// The name the Main page shows for a listed station; none for one never named.
std::string nameOf(const netmap::MapNode& n) {
  return n.local ? "" : persistence::knownNameOf(n.mac);
}

nlohmann::ordered_json rateJson(const std::optional<double>& mbps) {
  return mbps ? nlohmann::ordered_json(static_cast<long>(*mbps)) : nlohmann::ordered_json();
}

std::string rateText(const std::optional<double>& mbps) {
  return mbps ? std::to_string(static_cast<long>(*mbps)) : "-";
}

std::string formatJson(const netmap::NetworkMap& m, const std::string& where) {
  using json = nlohmann::ordered_json;
  json adapters = json::array(), links = json::array();
  for (const netmap::MapNode& n : m.nodes)
    adapters.push_back({{"mac", formatMac(n.mac)},
                        {"name", nameOf(n)},
                        {"local", n.local},
                        {"answered", n.answered}});
  for (const netmap::MapLink& l : m.links)
    links.push_back({{"a", formatMac(m.nodes[l.a].mac)},
                     {"b", formatMac(m.nodes[l.b].mac)},
                     {"a_to_b_mbps", rateJson(l.aToB)},
                     {"b_to_a_mbps", rateJson(l.bToA)}});
  const json out = {
      {"interface", where}, {"adapters", std::move(adapters)}, {"links", std::move(links)}};
  return out.dump(2, ' ', true, json::error_handler_t::replace) + "\n";
}

std::string formatText(const netmap::NetworkMap& m, const std::string& where) {
  std::string t = "Network map on " + where + "\nAdapters:\n";
  for (const netmap::MapNode& n : m.nodes) {
    const std::string label = n.local ? "local device" : nameOf(n);
    t += "  " + formatMac(n.mac) + (label.empty() ? "" : "  " + label);
    if (!n.answered) t += "  (no answer)";
    t += "\n";
  }
  t += "Links (Mbps each way, as each end reports it):\n";
  for (const netmap::MapLink& l : m.links)
    t += "  " + formatMac(m.nodes[l.a].mac) + " <-> " + formatMac(m.nodes[l.b].mac) + "  " +
         rateText(l.aToB) + " / " + rateText(l.bToA) + "\n";
  return t;
}

}  // namespace

int runMap(Arguments args) {
  Options o;
  if (const auto code = parseOptions(args, o)) return *code;
  if (captureRefused()) return kNoAdapter;
  persistence::LoadPreferences();
  const int interval = o.interval != 0 ? o.interval : persistence::preferences().scanInterval;
  if (!loadDeviceData(o.dataDir, false)) return kBadInput;  // read for the names only

  const auto ticks = static_cast<std::uint32_t>(interval);
  claimAdapters();
  SafePoints safePoints;  // nothing is changed: Ctrl-C stops after the step under way
  Busy busy("mapping the network");
  int found = -1;
  bool anyLocal = false;
  if (transport::EnumerateInterfaces() == 1) {
    const int wanted = o.interface.empty() ? -1 : interfaceIndex(o.interface);
    if (!o.interface.empty() && wanted < 0)
      return fail(kBadInput, "no Ethernet interface named " + o.interface);
    if (scan::StartScan(ticks, 3, false))
      for (int i = 0; i < transport::interfaceTable().interfaceCount && found < 0; ++i) {
        if (wanted >= 0 && i != wanted) continue;
        anyLocal = anyLocal || api::interfaceState(i).localPresent;
        if (api::interfaceState(i).localPresent &&
            api::isAvClass(api::interfaceState(i).localClass))
          found = i;
      }
  }
  if (found < 0) {
    scan::StopScan();
    return fail(kNoAdapter, anyLocal ? netmap::kAvOnlyText : api::kAdapterNotDetectedText);
  }
  if (interrupted()) {
    scan::StopScan();
    return fail(kInterrupted, "interrupted", "nothing was asked of the adapters");
  }
  const std::string where = interfaceName(found);
  // One cycle on the AV interface lists its stations; then no tick runs while the map waits.
  transport::setCurrentInterface(static_cast<std::uint32_t>(found));
  scan::StartScan(ticks, 3, true);
  scan::runScanCycles(1, scan::cycleMsFor(ticks) + kCycleSlackMs);
  const bool autoscan = scan::SuspendAutoscan(false);
  const netmap::MapResult r = netmap::gatherNetworkMap(scan::receivePath());
  scan::SuspendAutoscan(autoscan);
  scan::StopScan();

  if (r.outcome != netmap::MapOutcome::Gathered) return fail(kNoAdapter, netmap::kAvOnlyText);
  const std::string text = o.json ? formatJson(r.map, where) : formatText(r.map, where);
  std::fputs(text.c_str(), stdout);
  if (interrupted())
    return fail(kInterrupted, "interrupted", "the map was only asked, nothing set");
  if (r.map.nodes.empty() || !r.map.nodes.front().answered)
    return fail(kFailed, "the map could not be gathered", "the local adapter did not answer");
  return kOk;
}

}  // namespace quorrel::cli
