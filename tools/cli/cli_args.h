// Option parsing shared by the subcommands.
#pragma once

#include <CLI/CLI.hpp>
#include <optional>
#include <string>
#include <vector>

#include "commands.h"
#include "persistence/device_data.h"
#include "persistence/locations.h"

namespace quorrel::cli {

// Exit status of every command: done; the operation ran and failed; bad input or no adapter.
inline constexpr int kOk = 0, kFailed = 1, kBadInput = 2;

// Parses `args` (the words after the command's name) with `app`. None: go on. Otherwise the
// exit code: 0 after --help (printed on standard output), 2 for bad input (the error and a
// hint on standard error).
inline std::optional<int> parseArguments(CLI::App& app, Arguments args) {
  std::vector<std::string> words;
  for (auto it = args.rbegin(); it != args.rend(); ++it) words.emplace_back(*it);
  try {
    app.parse(words);  // CLI11 takes them last first
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? kOk : kBadInput;
  }
  return std::nullopt;
}

// Loads the device data file from `dataDir`, or from the folder the desktop program would
// choose when it is empty, so every command works on the desktop program's data.
inline void loadDeviceData(const std::string& dataDir) {
  if (!dataDir.empty())
    persistence::setDataDirectory(dataDir);
  else
    persistence::ChooseDataDirectory();
  persistence::LoadDeviceData();
}

}  // namespace quorrel::cli
