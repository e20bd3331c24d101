// Two small logs for support, both in the data directory and owner-only: the scan log, one
// snapshot of the device tables per scan cycle, and the device log of raw adapter data, which
// can hold network keys.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <span>
#include <string>
#include <string_view>

#include "api/device_table.h"
#include "platform/bytes.h"

namespace quorrel::diagnostics {

inline constexpr const char* kScanLogName = "scan.log";
// The scan log is written from this diagnostics level on.
inline constexpr int kScanLogLevel = 20;
constexpr bool scanLogWanted(int diagnosticsLevel) {
  return diagnosticsLevel >= kScanLogLevel;
}

// "<data directory>/scan.log"; empty while no data directory is chosen.
std::string scanLogPath();

// The open scan log; the program keeps one for the whole run. Without a path it takes
// scanLogPath() when it is first written, so it can exist before the data directory is chosen.
class ScanLog {
 public:
  ScanLog() = default;
  explicit ScanLog(std::string path) : path_(std::move(path)) {}
  ~ScanLog() { close(); }
  ScanLog(const ScanLog&) = delete;
  ScanLog& operator=(const ScanLog&) = delete;

  const std::string& path() const { return path_; }
  bool isOpen() const { return file_ != nullptr; }
  void close();

 private:
  friend void writeScanLog(ScanLog& log, std::span<const api::InterfaceDevices> interfaces,
                           bool keepOpen, std::time_t now);
  std::string path_;
  std::FILE* file_ = nullptr;
};

// Appends one snapshot of every listed interface and its remote entries. The first call
// creates the file afresh (owner-only, never through a link) with the time and a heading.
// Without `keepOpen` the log is closed afterwards. A log that cannot be opened is skipped.
// `interfaces`: the listed interfaces as they stood when the snapshot was due; without them,
// the device table's listed interfaces as they are now.
void writeScanLog(ScanLog& log, std::span<const api::InterfaceDevices> interfaces, bool keepOpen,
                  std::time_t now);
void writeScanLog(ScanLog& log, bool keepOpen, std::time_t now);

// Entry kinds of the device log.
inline constexpr int kDeviceLogEeprom = 0;  // a repeating HomePlug 1.0 parameters reply
inline constexpr int kDeviceLogRam = 1;     // the same from the working copy
inline constexpr int kDeviceLogSetNek = 2;  // a key read-back that does not match
// A log with this many lines or more loses its oldest entries, whole, before a new one.
inline constexpr std::size_t kDeviceLogMaxLines = 20;
// Lines read back at most, and their length.
inline constexpr std::size_t kDeviceLogReadLines = 50;
inline constexpr std::size_t kDeviceLogLineBytes = 200;
// Bytes of one entry at most, so its line stays within kDeviceLogLineBytes.
inline constexpr std::size_t kDeviceLogMaxBytes = 60;

struct DeviceLog {
  std::string path;
};
// "<data directory>/<productName>.log", with any '/' and a leading '.' of the product name
// made harmless; the path is empty while no data directory is chosen.
DeviceLog programDeviceLog();
// The file name the product name gives.
std::string deviceLogFileName(std::string_view productName);

// "Time <standard time>\n" and the label with every byte as " %.2x".
std::string deviceLogEntry(int kind, ByteSpan bytes, std::time_t now);
// Adds one entry; false for an unknown kind or a log that could not be written.
bool appendDeviceLog(const DeviceLog& log, int kind, ByteSpan bytes, std::time_t now);

}  // namespace quorrel::diagnostics
