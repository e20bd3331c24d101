// `quorrel-cli probe`: the scan's local search on each interface, which finds an adapter of any
// family, and what each found adapter says about itself. No remote is asked.
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "api/device_table.h"
#include "cli_args.h"
#include "commands.h"
#include "persistence/preferences.h"
#include "scan/scan.h"
#include "scan_report.h"
#include "transport/interface_table.h"

namespace quorrel::cli {

int runProbe(Arguments args) {
  CLI::App app{
      "Finds the local adapter on every Ethernet interface, of any family, and prints "
      "what it says about itself.",
      "quorrel-cli probe"};
  bool json = false;
  app.add_flag("--json", json, "print JSON instead of text");
  if (const auto code = parseArguments(app, args)) return *code;
  const auto unusable = openInterfaces();
  transport::CloseAllInterfaces();  // the local search opens them again
  if (unusable) return *unusable;

  SafePoints safePoints;
  const auto interval = static_cast<std::uint32_t>(persistence::preferences().scanInterval);
  std::vector<InterfaceReport> reports;
  bool found = false;
  const int count = std::min(transport::interfaceTable().interfaceCount, transport::kMaxInterfaces);
  for (int i = 0; i < count && !interrupted(); ++i) {
    // The chip model is the current interface's: each takes its turn as the scan does it.
    transport::setCurrentInterface(static_cast<std::uint32_t>(i));
    api::ClearRemotes();
    scan::StartScan(interval, api::kDefaultDropThreshold, false);
    reports.push_back(captureInterface(i, interfaceName(i)));
    reports.back().remotes.clear();
    found = found || reports.back().hasLocal;
  }
  scan::StopScan();
  transport::CloseAllInterfaces();
  if (interrupted()) return fail(kInterrupted, "interrupted", "nothing was changed");

  if (json) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const InterfaceReport& r : reports)
      list.push_back({{"name", r.name}, {"mac", r.mac}, {"local", localJson(r)}});
    std::printf("%s\n", nlohmann::ordered_json{{"interfaces", std::move(list)}}
                            .dump(2, ' ', true, nlohmann::ordered_json::error_handler_t::replace)
                            .c_str());
  } else {
    for (const InterfaceReport& r : reports) {
      if (!r.hasLocal) {
        std::printf("%s: no adapter answered\n", r.name.c_str());
        continue;
      }
      std::printf("%s: %s adapter %s\n  type      %s\n  chip      %s\n  firmware  %s\n",
                  r.name.c_str(), r.family.c_str(), r.localMac.c_str(), r.type.c_str(),
                  r.chip.c_str(), r.firmware.c_str());
    }
  }
  if (!found) return fail(kNoAdapter, api::kAdapterNotDetectedText);
  return kOk;
}

}  // namespace quorrel::cli
