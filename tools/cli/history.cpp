// `quorrel-cli history`: the rate history the scans keep, for one device or all, as a table,
// JSON or CSV.
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "cli_args.h"
#include "commands.h"
#include "history/history_text.h"
#include "history/rate_history.h"
#include "persistence/device_data.h"
#include "persistence/known_devices.h"
#include "persistence/locations.h"

namespace quorrel::cli {

namespace {

struct Options {
  std::string mac;
  std::string since;
  bool json = false;
  bool csv = false;
  std::string dataDir;
};

std::optional<int> parseOptions(Arguments args, Options& o) {
  CLI::App app{
      "Prints the rate history the scans have kept: each device's rate as the local "
      "adapter saw it, per scan cycle for a day, then hourly averages for 90 days.",
      "quorrel-cli history"};
  app.add_option("MAC", o.mac, "only this device (AA:BB:CC:DD:EE:FF)");
  app.add_option("--since", o.since, "only the last span of time, e.g. 90m, 24h, 7d, 2w")
      ->option_text("DURATION");
  auto* json = app.add_flag("--json", o.json, "print JSON instead of a table");
  auto* csv = app.add_flag("--csv", o.csv, "print CSV instead of a table");
  json->excludes(csv);
  app.add_option("--data-dir", o.dataDir,
                 "folder of the rate history, which must exist (default: the program's data "
                 "folder)")
      ->option_text("DIR");
  return parseArguments(app, args);
}

std::string localTime(std::int64_t seconds) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  char text[32] = "?";
  if (::localtime_r(&t, &tm) != nullptr) std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
  return text;
}

std::string formatJson(const std::vector<history::Sample>& samples) {
  using json = nlohmann::ordered_json;
  json list = json::array();
  for (const history::Sample& s : samples)
    list.push_back({{"time", history::isoTime(s.time)},
                    {"time_epoch_s", s.time},
                    {"device", formatMac(s.device)},
                    {"name", persistence::knownNameOf(s.device)},
                    {"viewer", formatMac(s.viewer)},
                    {"rate_mbps", s.mbps()},
                    {"resolution", history::resolutionName(s.resolution)},
                    {"samples", s.count}});
  return json{{"samples", std::move(list)}}.dump(2) + "\n";
}

std::string formatTable(const std::vector<history::Sample>& samples) {
  std::string out;
  char line[160];
  std::snprintf(line, sizeof line, "%-19s  %-17s  %-17s  %10s  %-10s  %s\n", "Time", "Device",
                "Seen by", "Mbps", "Resolution", "Name");
  out += line;
  for (const history::Sample& s : samples) {
    std::snprintf(line, sizeof line, "%-19s  %-17s  %-17s  %10s  %-10s  %s\n",
                  localTime(s.time).c_str(), formatMac(s.device).c_str(),
                  formatMac(s.viewer).c_str(), history::mbpsText(s).c_str(),
                  std::string(history::resolutionName(s.resolution)).c_str(),
                  persistence::knownNameOf(s.device).c_str());
    out += line;
  }
  if (samples.empty()) out += "(no samples)\n";
  return out;
}

}  // namespace

int runHistory(Arguments args) {
  Options o;
  if (const auto code = parseOptions(args, o)) return *code;
  std::optional<MacAddress> device;
  if (!o.mac.empty()) {
    MacAddress m{};
    if (!parseMac(o.mac, m))
      return fail(kBadInput, "MAC is six hexadecimal pairs joined by colons");
    device = m;
  }
  const std::int64_t now = std::time(nullptr);
  std::int64_t since = 0;
  if (!o.since.empty()) {
    const auto span = history::parseDuration(o.since);
    if (!span)
      return fail(kBadInput,
                  "--since takes a number and a unit: s, m, h, d or w (e.g. 90m, 24h, "
                  "7d, 2w)");
    since = now - *span;
  }
  if (!loadDeviceData(o.dataDir, false)) return kBadInput;  // for the names

  history::RateHistory h(history::historyPath(persistence::dataDirectory()));
  errno = 0;
  const history::OpenOutcome opened = h.open(now);
  const int error = errno;
  if (opened == history::OpenOutcome::SetAside) complain(history::setAsideMessage(h.path()));
  if (opened == history::OpenOutcome::Failed)
    return fail(kFailed, "the rate history " + h.path() + " could not be read",
                fileProblem(h.path(), error));
  const auto samples = h.samples(device, since);
  const std::string text = o.json  ? formatJson(samples)
                           : o.csv ? history::formatCsv(samples)
                                   : formatTable(samples);
  std::fputs(text.c_str(), stdout);
  return kOk;
}

}  // namespace quorrel::cli
