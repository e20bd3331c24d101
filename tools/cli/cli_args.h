// What the subcommands share: option parsing, exit statuses, the error voice, Ctrl-C, the data
// folder, passwords, display widths and the interfaces.
#pragma once

#include <sys/stat.h>

#include <CLI/CLI.hpp>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "commands.h"
#include "persistence/device_data.h"
#include "persistence/locations.h"
#include "transport/backend.h"
#include "transport/interface_table.h"

namespace quorrel::cli {

// The exit status of every command. main() lets no other value out: anything else becomes
// kFailed, and any status after Ctrl-C becomes kInterrupted. The man page's table says the same.
inline constexpr int kOk = 0, kFailed = 1, kBadInput = 2, kNoAdapter = 3, kInterrupted = 130;
struct ExitStatus {
  int status;
  std::string_view meaning;
};
inline constexpr ExitStatus kExitStatuses[] = {
    {kOk, "success"},
    {kFailed, "the operation ran and failed"},
    {kBadInput, "bad input: options, files, names, passwords"},
    {kNoAdapter, "no adapter, or no permission to capture"},
    {kInterrupted, "interrupted (Ctrl-C): the command stopped at a safe point"},
};
// `status` when the table has it, else kFailed.
inline int knownStatus(int status) {
  for (const ExitStatus& s : kExitStatuses)
    if (s.status == status) return status;
  return kFailed;
}

// The command running, for the error voice: "quorrel-cli COMMAND: what failed: why".
inline std::string& commandName() {
  static std::string name;
  return name;
}
inline std::string errorPrefix() {
  return commandName().empty() ? "quorrel-cli: " : "quorrel-cli " + commandName() + ": ";
}
// Writes "quorrel-cli COMMAND: what[: why]" on standard error.
inline void complain(const std::string& what, const std::string& why = "") {
  std::fprintf(stderr, "%s%s%s%s\n", errorPrefix().c_str(), what.c_str(), why.empty() ? "" : ": ",
               why.c_str());
}
// complain(), then `status`.
inline int fail(int status, const std::string& what, const std::string& why = "") {
  complain(what, why);
  return status;
}

// Set by the first Ctrl-C (or SIGTERM); a second one ends the process at once. Commands look
// at it at their safe points.
inline std::atomic<bool>& interruptFlag() {
  static std::atomic<bool> flag{false};
  return flag;
}
inline bool interrupted() {
  return interruptFlag().load();
}
// True while the command looks at interrupted() at its safe points; otherwise Ctrl-C ends the
// process at once, as it does for a command with nothing to stop cleanly.
inline std::atomic<bool>& stopsAtSafePoints() {
  static std::atomic<bool> flag{false};
  return flag;
}
// Declares, for its lifetime, that the command stops at its safe points.
class SafePoints {
 public:
  SafePoints() : before_(stopsAtSafePoints().exchange(true)) {}
  ~SafePoints() { stopsAtSafePoints().store(before_); }
  SafePoints(const SafePoints&) = delete;
  SafePoints& operator=(const SafePoints&) = delete;

 private:
  bool before_;
};

// Progress belongs on standard error, and only where a person watches it.
bool progressShown();

// For its lifetime, after the first second, "WHAT... N s" redrawn on standard error each
// second when progressShown(); nothing in a pipe. step() adds to the count of steps shown.
class Busy {
 public:
  explicit Busy(std::string what);
  ~Busy();
  Busy(const Busy&) = delete;
  Busy& operator=(const Busy&) = delete;
  void step() { ++steps_; }

 private:
  struct Drawing;
  std::string what_;
  std::atomic<int> steps_{0};
  std::unique_ptr<Drawing> drawing_;
};

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
// hint on standard error). While completions are being written, `app` is only recorded.
std::optional<int> parseArguments(CLI::App& app, Arguments args);

// Makes `dataDir` the data folder (the desktop program's when empty). One that does not exist
// is made owner-only when `create` (the commands that save), else refused (those that only
// read: there is nothing to read). False, after saying why, when it cannot be used.
bool useDataDirectory(const std::string& dataDir, bool create);

// Loads the device data file from `dataDir`, or from the folder the desktop program would
// choose when it is empty, so every command works on the desktop program's data. False (after
// the reason) when the folder cannot be used.
inline bool loadDeviceData(const std::string& dataDir, bool create = true) {
  if (!useDataDirectory(dataDir, create)) return false;
  persistence::LoadDeviceData();
  return true;
}

// The password: `given` when set, else one line of standard input with --password-stdin, else
// asked for without echo on a terminal. None (after the reason) when there is none.
std::optional<std::string> readPassword(const std::optional<std::string>& given, bool fromStdin,
                                        const char* prompt);

// Columns a terminal gives `text` (UTF-8; a broken byte counts one).
std::size_t displayWidth(std::string_view text);
// Characters in `text` (UTF-8 sequences; a broken byte counts one).
std::size_t characterCount(std::string_view text);
// `text` padded with spaces to `width` columns.
inline std::string padToWidth(const std::string& text, std::size_t width) {
  const std::size_t w = displayWidth(text);
  return w >= width ? text : text + std::string(width - w, ' ');
}

// True, after the one message that says what to do, when this user may not capture at all (the
// capture helper is for its group's members): nothing is started and nothing is sent.
inline bool captureRefused() {
  const std::string refusal = transport::captureRefusal();
  if (refusal.empty()) return false;
  complain(refusal);
  return true;
}

// For a command that sends to the adapters: holds them until the process ends, so that a
// monitor scanning beside it waits between its cycles. Waits at most kAdapterWaitMs for a cycle
// under way (saying so on standard error), then goes ahead.
inline constexpr std::uint32_t kAdapterWaitMs = 30000;
void claimAdapters();

// What a scanning command (scan, monitor) does before its first scan: capture checked before
// the data file (without one, loading it lists and opens the interfaces), the preferences, the
// vendor list and the data file from `dataDir` loaded, and the interfaces checked to open (then
// closed: the scan opens them again). None when it can go on; otherwise the exit status, after
// a message.
std::optional<int> prepareScanning(const std::string& dataDir);

// Lists the interfaces and opens each. None when at least one opened; otherwise the exit
// status, after a message. With interfaces listed but none opened, capture permission is most
// likely missing.
inline std::optional<int> openInterfaces() {
  if (captureRefused()) return kNoAdapter;
  if (transport::EnumerateInterfaces() != 1)
    return fail(kFailed, "the list of network interfaces could not be read");
  const int count = transport::interfaceTable().interfaceCount;
  if (count == 0) return fail(kNoAdapter, "no Ethernet interface found");
  int opened = 0;
  for (int i = 0; i < count; ++i) opened += transport::OpenInterface(i);
  if (opened == 0)
    return fail(kNoAdapter, "no Ethernet interface could be opened for capture (see above)");
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
