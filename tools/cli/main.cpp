// quorrel-cli: the console front end over the same core as the desktop program.
#include <csignal>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "cli_args.h"
#include "commands.h"
#include "completion.h"
#include "platform/notice.h"

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
    {"monitor", "scan continuously and serve the rates to Prometheus and Home Assistant",
     runMonitor},
};
const std::vector<std::string> kTopOptions{"--help", "-h", "--version"};

const Command* find(std::string_view name) {
  for (const auto& c : kCommands)
    if (c.name == name) return &c;
  return nullptr;
}

void usage(std::FILE* out) {
  std::size_t width = 0;
  for (const auto& c : kCommands) width = std::max(width, c.name.size());
  std::fprintf(out,
               "usage: quorrel-cli COMMAND [options]\n"
               "       quorrel-cli help COMMAND\n"
               "       quorrel-cli --version\n\ncommands:\n");
  for (const auto& c : kCommands)
    std::fprintf(out, "  %-*.*s  %.*s\n", static_cast<int>(width), static_cast<int>(c.name.size()),
                 c.name.data(), static_cast<int>(c.summary.size()), c.summary.data());
  std::fprintf(out, "\nEach command's options: quorrel-cli COMMAND --help.\n");
}

// Every command's option table, recorded by running it in the recording mode.
int writeCompletion(const std::string& shell) {
  OptionTables tables;
  recordOptionTables(&tables);
  std::vector<CommandSummary> summaries;
  for (const auto& c : kCommands) {
    commandName() = std::string(c.name);
    c.run(Arguments());
    summaries.push_back({std::string(c.name), std::string(c.summary)});
  }
  recordOptionTables(nullptr);
  const std::string script = completionScript(shell, tables, summaries, kTopOptions);
  if (script.empty()) return fail(kBadInput, "no completion for the shell " + shell);
  std::fputs(script.c_str(), stdout);
  return kOk;
}

// The first Ctrl-C asks a command that stops at safe points to stop at the next; a second one,
// or the first in a command that has none, ends the process as the signal would.
extern "C" void onStopSignal(int signal) {
  if (!stopsAtSafePoints().load() || interruptFlag().exchange(true)) {
    std::signal(signal, SIG_DFL);
    std::raise(signal);
  }
}

int runCommand(const Command& c, int argc, char** argv) {
  commandName() = std::string(c.name);
  quorrel::platform::setConsoleNoticePrefix(errorPrefix());
  struct sigaction stop {};
  stop.sa_handler = onStopSignal;
  stop.sa_flags = SA_RESTART;
  sigemptyset(&stop.sa_mask);
  sigaction(SIGINT, &stop, nullptr);
  sigaction(SIGTERM, &stop, nullptr);
  const int status = c.run(Arguments(argv, static_cast<std::size_t>(argc)));
  std::fflush(stdout);
  if (interrupted()) return kInterrupted;
  return knownStatus(status);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    usage(stderr);
    return kBadInput;
  }
  const std::string_view word = argv[1];
  if (word == "--help" || word == "-h" || (word == "help" && argc == 2)) {
    usage(stdout);
    return kOk;
  }
  if (word == "--version") {
    std::printf("quorrel-cli %s\n", QUORREL_VERSION);
    return kOk;
  }
  if (word == "help") {
    const Command* c = find(argv[2]);
    if (c == nullptr) {
      complain(std::string("unknown command '") + argv[2] + "'");
      usage(stderr);
      return kBadInput;
    }
    char help[] = "--help";
    char* words[] = {help};
    return runCommand(*c, 1, words);
  }
  // Hidden: the build writes the shell completions with it.
  if (word == "__complete" && argc == 3) return writeCompletion(argv[2]);
  if (const Command* c = find(word)) return runCommand(*c, argc - 2, argv + 2);
  complain(std::string("unknown command '") + argv[1] + "'");
  usage(stderr);
  return kBadInput;
}
