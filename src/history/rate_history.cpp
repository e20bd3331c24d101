// The history file: load with repair, appends, atomic compaction.
#include "history/rate_history.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <thread>
#include <utility>

#include "persistence/file_io.h"

namespace quorrel::history {

namespace {
// A file this much over the bound is read only up to it; the rest is cut as damage.
constexpr std::size_t kReadCap = kMaxFileBytes + 64 * record::kSize;

std::vector<std::uint8_t> encodeAll(const Tiers& t) {
  std::vector<std::uint8_t> bytes(header::kSize + t.size() * record::kSize);
  const auto h = encodeHeader();
  std::copy(h.begin(), h.end(), bytes.begin());
  std::size_t at = header::kSize;
  for (const auto* tier : {&t.hourly, &t.cycles})
    for (const Sample& s : *tier) {
      encodeRecord(s, MutableByteSpan(bytes).subspan(at, record::kSize));
      at += record::kSize;
    }
  return bytes;
}

std::vector<std::uint8_t> encodeSamples(const std::vector<Sample>& samples) {
  std::vector<std::uint8_t> bytes(samples.size() * record::kSize);
  for (std::size_t i = 0; i < samples.size(); ++i)
    encodeRecord(samples[i], MutableByteSpan(bytes).subspan(i * record::kSize, record::kSize));
  return bytes;
}

std::int64_t newestStamp(const Tiers& t) {
  std::int64_t last = 0;
  if (!t.hourly.empty()) last = t.hourly.back().time;
  if (!t.cycles.empty()) last = std::max(last, t.cycles.back().time);
  return last;
}
}  // namespace

std::string historyPath(const std::string& dir) {
  if (dir.empty()) return kFileName;
  return dir.back() == '/' ? dir + kFileName : dir + "/" + kFileName;
}

std::string setAsideMessage(const std::string& path) {
  return "The rate history file " + path + " was damaged or of another format. It was kept as " +
         path + kSetAsideSuffix + " and a new rate history was started.";
}

// What the worker shares with the thread that appends: the file's first `snapshotBytes` are
// read, compacted and written to a new file on the worker; the rest is left to finishBackground.
struct RateHistory::Background {
  std::thread thread;
  std::atomic<bool> done{false};
  std::uint64_t snapshotBytes = 0;
  std::int64_t now = 0;
  Tiers result;
  persistence::PendingReplace replacement;
  bool prepared = false;
};

RateHistory::RateHistory(std::string path) : path_(std::move(path)) {}

RateHistory::~RateHistory() {
  settle();
  if (afterPlacing_.joinable()) afterPlacing_.join();
  if (fd_ >= 0) ::close(fd_);
}

bool RateHistory::compacting() const {
  return background_ != nullptr && !background_->done.load(std::memory_order_acquire);
}

void RateHistory::settle() {
  finishBackground(true);
}

void RateHistory::startBackground(std::int64_t now) {
  background_ = std::make_unique<Background>();
  Background* b = background_.get();
  b->snapshotBytes = fileSize_;
  b->now = now;
  const std::string path = path_;
  b->thread = std::thread([b, path] {
    std::vector<std::uint8_t> bytes;
    if (persistence::readFileCapped(path, b->snapshotBytes, bytes) == persistence::ReadStatus::Ok &&
        bytes.size() == b->snapshotBytes) {
      const ParsedFile parsed = parseFile(bytes);
      if (parsed.state == FileState::Whole) {
        b->result = splitTiers(parsed.samples);
        history::compact(b->result, b->now);
        b->prepared =
            b->replacement.prepare(path, encodeAll(b->result)) == persistence::ReplaceResult::Done;
      }
    }
    b->done.store(true, std::memory_order_release);
  });
}

void RateHistory::finishBackground(bool wait) {
  if (background_ == nullptr) return;
  if (!wait && !background_->done.load(std::memory_order_acquire)) return;
  background_->thread.join();
  Background& b = *background_;
  // The appends made meanwhile go after the compacted records, then the new file takes the
  // old one's place; a file another process replaced meanwhile is left to it.
  bool placed = false;
  if (b.prepared && !replacedElsewhere() &&
      b.replacement.commit(encodeSamples(sinceSnapshot_), false) ==
          persistence::ReplaceResult::Done) {
    Tiers old = std::exchange(tiers_, std::move(b.result));
    tiers_.cycles.insert(tiers_.cycles.end(), sinceSnapshot_.begin(), sinceSnapshot_.end());
    // Closing the old file's last descriptor frees its blocks, which takes milliseconds.
    const int oldFd = std::exchange(fd_, -1);
    placed = openAppend();
    if (afterPlacing_.joinable()) afterPlacing_.join();
    afterPlacing_ = std::thread([path = path_, oldFd, retired = std::move(old)]() mutable {
      if (oldFd >= 0) ::close(oldFd);
      persistence::syncFolderOf(path);
      retired = {};
    });
  }
  if (!placed) retryAfter_ = lastStamp_ + 600;
  background_.reset();
  sinceSnapshot_.clear();
}

OpenOutcome RateHistory::open(std::int64_t now) {
  if (opened_) return OpenOutcome::Loaded;
  opened_ = true;
  std::vector<std::uint8_t> bytes;
  const auto status = persistence::readFileCapped(path_, kReadCap, bytes);
  if (status == persistence::ReadStatus::Unreadable) return OpenOutcome::Failed;
  OpenOutcome outcome = OpenOutcome::Loaded;
  if (status == persistence::ReadStatus::Missing) {
    if (!rewrite()) return OpenOutcome::Failed;
    return OpenOutcome::Loaded;
  }
  const ParsedFile parsed = parseFile(bytes);
  if (parsed.state == FileState::Foreign) {
    if (!persistence::moveAside(path_, kSetAsideSuffix) || !rewrite()) return OpenOutcome::Failed;
    return OpenOutcome::SetAside;
  }
  persistence::restrictToOwner(path_);
  tiers_ = splitTiers(parsed.samples);
  lastStamp_ = newestStamp(tiers_);
  // A file longer than the bound allows was read only that far: the rest is cut like a tail.
  struct stat st {};
  const bool longer =
      ::stat(path_.c_str(), &st) == 0 && static_cast<std::uint64_t>(st.st_size) > parsed.goodBytes;
  bool whole = parsed.state == FileState::Whole && !longer;
  if (!whole) {
    outcome = OpenOutcome::TailCut;
    // A torn tail is cut where it starts; damage in the middle means writing the good ones.
    if (parsed.dropped == 0) {
      whole = ::truncate(path_.c_str(), static_cast<off_t>(parsed.goodBytes)) == 0;
      fileSize_ = parsed.goodBytes;
    }
    if (!whole && !rewrite()) return OpenOutcome::Failed;
  } else {
    fileSize_ = bytes.size();
  }
  if (needsCompaction(tiers_, now, 0)) compact(now);
  if (fd_ < 0 && !openAppend()) return OpenOutcome::Failed;
  return outcome;
}

bool RateHistory::openAppend() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW);
  if (fd_ < 0) return false;
  struct stat st {};
  if (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd_);
    fd_ = -1;
    return false;
  }
  ::fchmod(fd_, S_IRUSR | S_IWUSR);
  fileSize_ = static_cast<std::uint64_t>(st.st_size);
  return true;
}

bool RateHistory::rewrite() {
  const auto bytes = encodeAll(tiers_);
  if (persistence::replaceFile(path_, bytes) != persistence::ReplaceResult::Done) return false;
  return openAppend();
}

// Another process (the desktop program and quorrel-cli share the folder) compacted the file:
// the descriptor then writes to a file nobody will read again.
bool RateHistory::replacedElsewhere() const {
  struct stat mine {
  }, named{};
  if (fd_ < 0 || ::fstat(fd_, &mine) != 0) return false;
  return ::stat(path_.c_str(), &named) != 0 || named.st_ino != mine.st_ino ||
         named.st_dev != mine.st_dev;
}

WriteOutcome RateHistory::compact(std::int64_t now) {
  settle();
  Tiers before = tiers_;
  history::compact(tiers_, now);
  if (rewrite()) return WriteOutcome::Done;
  tiers_ = std::move(before);  // the file still holds these
  return WriteOutcome::Failed;
}

WriteOutcome RateHistory::record(std::span<const Reading> readings, std::int64_t now) {
  if (!opened_) open(now);
  finishBackground(false);
  if (replacedElsewhere()) {
    settle();
    opened_ = false;
    tiers_ = {};
    ::close(fd_);
    fd_ = -1;
    open(now);
  }
  std::vector<Sample> fresh;
  const std::int64_t stamp = std::max(now, lastStamp_);
  for (const Reading& r : readings) {
    const std::uint32_t kbps = toKbps(r.mbps);
    if (kbps == 0 || isZeroMac(r.device)) continue;
    fresh.push_back({stamp, r.device, r.viewer, kbps, 1, Resolution::Cycle});
  }
  if (fresh.empty()) return WriteOutcome::Done;
  WriteOutcome outcome = WriteOutcome::Done;
  if (tiers_.cycles.size() + fresh.size() > kMaxCycleSamples) {
    // The bound needs the compaction now: the worker's if one runs, else one on this thread.
    settle();
    if (needsCompaction(tiers_, stamp, fresh.size()) && compact(stamp) != WriteOutcome::Done) {
      outcome = WriteOutcome::Failed;
      if (tiers_.cycles.size() + fresh.size() > kMaxCycleSamples) return WriteOutcome::Full;
    }
  } else if (background_ == nullptr && stamp >= retryAfter_ &&
             needsCompaction(tiers_, stamp, fresh.size())) {
    startBackground(stamp);
  }
  const std::vector<std::uint8_t> bytes = encodeSamples(fresh);
  if (fd_ < 0 || !persistence::writeAll(fd_, bytes)) {
    // A short write (a full disk) would leave a torn record: take it back off.
    if (fd_ >= 0 && ::ftruncate(fd_, static_cast<off_t>(fileSize_)) != 0) {
      // The torn tail is cut at the next load instead.
    }
    return WriteOutcome::Failed;
  }
  if (background_ != nullptr)
    sinceSnapshot_.insert(sinceSnapshot_.end(), fresh.begin(), fresh.end());
  fileSize_ += bytes.size();
  tiers_.cycles.insert(tiers_.cycles.end(), fresh.begin(), fresh.end());
  lastStamp_ = stamp;
  return outcome;
}

std::vector<Sample> RateHistory::samples(const std::optional<MacAddress>& device,
                                         std::int64_t since) const {
  std::vector<Sample> out;
  for (const auto* tier : {&tiers_.hourly, &tiers_.cycles}) {
    auto it = std::partition_point(tier->begin(), tier->end(),
                                   [&](const Sample& s) { return s.time < since; });
    for (; it != tier->end(); ++it)
      if (!device || it->device == *device) out.push_back(*it);
  }
  return out;
}

}  // namespace quorrel::history
