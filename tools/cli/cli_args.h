// What the subcommands share: option parsing, exit statuses, the data folder, the interfaces.
#pragma once

#include <sys/stat.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "commands.h"
#include "persistence/device_data.h"
#include "persistence/locations.h"
#include "transport/backend.h"
#include "transport/interface_table.h"

namespace quorrel::cli {

// Exit status of every command: done; the operation ran and failed; bad input or no adapter;
// stopped by Ctrl-C (128 + SIGINT, as the shell reports a command the signal ended).
inline constexpr int kOk = 0, kFailed = 1, kBadInput = 2, kInterrupted = 130;

// Why `path` could not be read or written, in the system's words: the text of `error` (errno
// right after the failure), or what the path is when it is not a regular file.
inline std::string fileProblem(const std::string& path, int error) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode))
    return S_ISDIR(st.st_mode) ? std::strerror(EISDIR) : "not a regular file";
  return std::strerror(error != 0 ? error : EIO);
}

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

// True, after the one message that says what to do, when this user may not capture at all (the
// capture helper is for its group's members): nothing is started and nothing is sent.
inline bool captureRefused() {
  const std::string refusal = transport::captureRefusal();
  if (refusal.empty()) return false;
  std::fprintf(stderr, "quorrel-cli: %s\n", refusal.c_str());
  return true;
}

// Lists the interfaces and opens each. None when at least one opened; otherwise the exit
// status, after a message. With interfaces listed but none opened, capture permission is most
// likely missing.
inline std::optional<int> openInterfaces() {
  if (captureRefused()) return kBadInput;
  if (transport::EnumerateInterfaces() != 1) {
    std::fprintf(stderr, "quorrel-cli: the list of network interfaces could not be read\n");
    return kFailed;
  }
  const int count = transport::interfaceTable().interfaceCount;
  if (count == 0) {
    std::fprintf(stderr, "quorrel-cli: no Ethernet interface found\n");
    return kBadInput;  // no adapter can be there
  }
  int opened = 0;
  for (int i = 0; i < count; ++i) opened += transport::OpenInterface(i);
  if (opened == 0) {
    std::fprintf(stderr,
                 "quorrel-cli: no Ethernet interface could be opened for capture (see above)\n");
    return kFailed;
  }
  return std::nullopt;
}

// The index of the listed interface called `name`, or -1.
inline int interfaceIndex(const std::string& name) {
  const auto& list = transport::interfaceTable().interfaceList;
  for (std::size_t i = 0; i < list.size(); ++i)
    if (list[i].name == name) return static_cast<int>(i);
  return -1;
}

// Interface `i`'s system name, for what the commands print.
inline std::string interfaceName(int i) {
  const auto& list = transport::interfaceTable().interfaceList;
  return i >= 0 && i < static_cast<int>(list.size()) ? list[static_cast<std::size_t>(i)].name
                                                     : "interface " + std::to_string(i);
}

}  // namespace quorrel::cli
