// The subcommands of quorrel-cli; each takes the arguments after its name.
#pragma once

#include <span>
#include <string_view>

namespace quorrel::cli {

using Arguments = std::span<char* const>;

// Asks the adapter on every Ethernet interface for its version and prints what it says.
int runProbe(Arguments args);
// Runs the local search and scan cycles on every interface and prints the devices found.
int runScan(Arguments args);
// Tests a listed device's password and keeps it; sets a network name; adds a device.
int runPassword(Arguments args);
int runSetNetwork(Arguments args);
int runAdd(Arguments args);

struct Command {
  std::string_view name;
  std::string_view summary;
  int (*run)(Arguments args);
};

}  // namespace quorrel::cli
