// The subcommands of quorrel-cli; each takes the arguments after its name.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace quorrel::cli {

using Arguments = std::span<char* const>;

// Asks the adapter on every Ethernet interface for its version and prints what it says.
int runProbe(Arguments args);
// Runs the local search and scan cycles on every interface and prints the devices found.
int runScan(Arguments args);
// Shows, edits and creates parameter block files.
int runPib(Arguments args);
// Writes the diagnostics report to standard output or a file.
int runReport(Arguments args);
// Upgrades the firmware of the current interface's local adapter.
int runUpgrade(Arguments args);
// Upgrades the local Turbo adapter with image `img` and configuration file `cfg` (may be empty),
// the one on interface `interface` (empty: the first where one answers), asking first unless
// `yes`. 0 upgraded, 1 the upgrade ran and failed (or was declined), 2 bad input or no Turbo
// adapter, 130 stopped by Ctrl-C.
int runTurboUpgrade(const std::string& img, const std::string& cfg, const std::string& interface,
                    bool yes);
// Prints the rate history kept by the scans, as a table, JSON or CSV.
int runHistory(Arguments args);
// Tests a listed device's password and keeps it; sets a network name; adds a device.
int runPassword(Arguments args);
int runSetNetwork(Arguments args);
int runAdd(Arguments args);
// Asks every adapter of the first HomePlug AV network for its rates to the others.
int runMap(Arguments args);
// Scans continuously and serves the rates to Prometheus and Home Assistant.
int runMonitor(Arguments args);

struct Command {
  std::string_view name;
  std::string_view summary;
  int (*run)(Arguments args);
};

}  // namespace quorrel::cli
