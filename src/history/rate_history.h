// The rate history of the devices a scan lists, kept in "rate-history.dat" in the data
// directory beside (never inside) the device data file. Appends are whole records in one write
// on an append-only owner-only descriptor; compaction rewrites the file atomically; a damaged
// tail is cut on load and a foreign or damaged header sets the file aside. Wall time is always
// a parameter (seconds since the epoch), so tests run a year in virtual time.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "history/compaction.h"
#include "history/history_file.h"
#include "persistence/file_io.h"

namespace quorrel::history {

inline constexpr char kFileName[] = "rate-history.dat";
inline constexpr char kSetAsideSuffix[] = ".damaged";

// `dir`/rate-history.dat.
std::string historyPath(const std::string& dir);

// What one device's rate was as one local device saw it, this cycle.
struct Reading {
  MacAddress device{};
  MacAddress viewer{};
  double mbps = 0;
};

enum class OpenOutcome {
  Loaded,    // the file was whole, or missing and started
  TailCut,   // damaged or torn records were cut off (a crash during an append)
  SetAside,  // not a history file of this format: kept as ".damaged", a new one started
  Failed,    // the file could not be read or started; the history lives in memory only
};

enum class WriteOutcome {
  Done,
  Failed,  // the write or the compaction failed: the file keeps what it held before
  Full,    // the compaction failed and the samples would pass the file's bound: not kept
};

inline constexpr char kNoticeCaption[] = "Rate History";
// The one text for a history file set aside, for the caller's notice or standard error.
std::string setAsideMessage(const std::string& path);

class RateHistory {
 public:
  explicit RateHistory(std::string path);
  ~RateHistory();
  RateHistory(const RateHistory&) = delete;
  RateHistory& operator=(const RateHistory&) = delete;

  const std::string& path() const { return path_; }
  bool isOpen() const { return opened_; }
  // Reads the file (once; later calls return Loaded); `now` decides what compacts at once.
  OpenOutcome open(std::int64_t now);

  // Keeps one cycle's readings (those with a rate), stamped max(now, last stamp) so that a
  // clock set back neither reorders nor loses samples. A compaction that falls due runs on a
  // worker thread and takes the file's place at a later cycle, so no cycle waits for the
  // rewrite; only a cycle tier at its cap waits for it (or compacts at once).
  WriteOutcome record(std::span<const Reading> readings, std::int64_t now);
  // Compacts now and waits for it (open does this when it is due).
  WriteOutcome compact(std::int64_t now);
  // Waits for a compaction on the worker and puts it in place (tests, shutdown).
  void settle();
  // A compaction is still being written on the worker.
  bool compacting() const;

  // Samples of `device` (all when none) from `since` on, by time, hourly ones first.
  std::vector<Sample> samples(const std::optional<MacAddress>& device, std::int64_t since) const;
  const Tiers& tiers() const { return tiers_; }
  std::int64_t lastStamp() const { return lastStamp_; }

 private:
  bool openAppend();
  bool rewrite();  // the whole file from tiers_, atomically; reopens the append descriptor
  bool replacedElsewhere() const;
  void startBackground(std::int64_t now);
  void finishBackground(bool wait);

  struct Background;
  std::string path_;
  bool opened_ = false;
  int fd_ = -1;
  std::uint64_t fileSize_ = 0;
  Tiers tiers_;
  std::int64_t lastStamp_ = 0;
  std::unique_ptr<Background> background_;
  // After a compaction took the file's place: flushes the folder and frees the old tiers, so
  // the cycle that placed it does neither.
  std::thread afterPlacing_;
  std::vector<Sample> sinceSnapshot_;  // appended while the worker compacts
  // A failed background compaction is not tried again before this stamp.
  std::int64_t retryAfter_ = std::numeric_limits<std::int64_t>::min();
};

}  // namespace quorrel::history
