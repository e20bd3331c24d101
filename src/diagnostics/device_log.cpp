// The device log: a short history of raw adapter data, newest entries kept.
#include <algorithm>
#include <array>
#include <cstdio>
#include <deque>
#include <vector>

#include "diagnostics/logs.h"
#include "diagnostics/report.h"
#include "persistence/file_io.h"
#include "persistence/locations.h"
#include "persistence/preferences.h"

namespace quorrel::diagnostics {

namespace {
constexpr std::array<const char*, 3> kLabels{"**EEPROM**", "** RAM  **", "**SETNEK**"};
constexpr std::string_view kEntryStart = "Time ";
// Far more than kDeviceLogReadLines lines of kDeviceLogLineBytes.
constexpr std::size_t kMaxLogBytes = 1u << 20;

// The last kDeviceLogReadLines lines of `text`, each cut to kDeviceLogLineBytes.
std::deque<std::string> lastLines(std::string_view text) {
  std::deque<std::string> lines;
  while (!text.empty()) {
    const auto end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    lines.emplace_back(line.substr(0, kDeviceLogLineBytes));
    if (lines.size() > kDeviceLogReadLines) lines.pop_front();
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}
}  // namespace

std::string deviceLogFileName(std::string_view productName) {
  std::string name(productName.empty() ? persistence::kDefaultProductName : productName);
  std::replace(name.begin(), name.end(), '/', '_');
  if (name.front() == '.') name.front() = '_';
  return name + ".log";
}

DeviceLog programDeviceLog() {
  const std::string& dir = persistence::dataDirectory();
  if (dir.empty()) return {};
  return {dir + "/" + deviceLogFileName(persistence::preferences().productName.view())};
}

std::string deviceLogEntry(int kind, ByteSpan bytes, std::time_t now) {
  std::string entry = "Time " + standardTimeText(now) + "\n";
  entry += kLabels[static_cast<std::size_t>(std::clamp(kind, 0, 2))];
  for (const std::uint8_t b : bytes.first(std::min(bytes.size(), kDeviceLogMaxBytes))) {
    std::array<char, 4> hex{};
    std::snprintf(hex.data(), hex.size(), " %.2x", b);
    entry += hex.data();
  }
  return entry + "\n";
}

bool appendDeviceLog(const DeviceLog& log, int kind, ByteSpan bytes, std::time_t now) {
  if (log.path.empty() || kind < 0 || kind >= static_cast<int>(kLabels.size())) return false;
  std::vector<std::uint8_t> old;
  persistence::readFileCapped(log.path, kMaxLogBytes, old);
  std::deque<std::string> lines =
      lastLines({reinterpret_cast<const char*>(old.data()), old.size()});
  // A log of 20 lines or more loses its oldest entries, whole, until it has fewer; so every
  // entry kept starts with its time and the file never grows past 19 lines and one entry.
  while (lines.size() >= kDeviceLogMaxLines) {
    lines.pop_front();
    while (!lines.empty() && !lines.front().starts_with(kEntryStart)) lines.pop_front();
  }
  for (const std::string& line : lastLines(deviceLogEntry(kind, bytes, now))) lines.push_back(line);
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return persistence::replaceFile(log.path, {reinterpret_cast<const std::uint8_t*>(text.data()),
                                             text.size()}) == persistence::ReplaceResult::Done;
}

}  // namespace quorrel::diagnostics
