// quorrel-cli: the console front end over the same core as the desktop program.
#include <cstdio>
#include <string_view>

#include "commands.h"

namespace {

using namespace quorrel::cli;

constexpr Command kCommands[] = {
    {"probe", "ask the adapter on each interface for its version", runProbe},
    {"scan", "list the local and remote devices on each interface", runScan},
    {"pib", "show, edit or create a parameter block file", runPib},
    {"report", "write the diagnostics report", runReport},
    {"upgrade", "upgrade the firmware of the local adapter", runUpgrade},
    {"password", "test a listed device's password and keep it", runPassword},
    {"set-network", "set the network name on the local adapter or on all devices", runSetNetwork},
    {"add", "add a device to the network by its device password", runAdd},
    {"map", "show which adapters reach which, at which rate", runMap},
    {"history", "print the rate history the scans have kept", runHistory},
};

int usage() {
  std::fprintf(stderr, "usage: quorrel-cli COMMAND [options]\n\ncommands:\n");
  for (const auto& c : kCommands)
    std::fprintf(stderr, "  %-8.*s %.*s\n", static_cast<int>(c.name.size()), c.name.data(),
                 static_cast<int>(c.summary.size()), c.summary.data());
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  const std::string_view name = argv[1];
  for (const auto& c : kCommands)
    if (c.name == name) return c.run(Arguments(argv + 2, static_cast<std::size_t>(argc - 2)));
  std::fprintf(stderr, "quorrel-cli: unknown command '%s'\n", argv[1]);
  return usage();
}
