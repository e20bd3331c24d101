// The history file: load with repair, appends, atomic compaction.
#include "history/rate_history.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "persistence/file_io.h"

namespace quorrel::history {

namespace {
// A file this much over the bound is read only up to it; the rest is cut as damage.
constexpr std::size_t kReadCap = kMaxFileBytes + 64 * record::kSize;

bool writeAll(int fd, ByteSpan bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

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

RateHistory::RateHistory(std::string path) : path_(std::move(path)) {}

RateHistory::~RateHistory() {
  if (fd_ >= 0) ::close(fd_);
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
  bool whole = parsed.state == FileState::Whole;
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
  Tiers before = tiers_;
  history::compact(tiers_, now);
  if (rewrite()) return WriteOutcome::Done;
  tiers_ = std::move(before);  // the file still holds these
  return WriteOutcome::Failed;
}

WriteOutcome RateHistory::record(std::span<const Reading> readings, std::int64_t now) {
  if (!opened_) open(now);
  if (replacedElsewhere()) {
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
  if (needsCompaction(tiers_, stamp, fresh.size()) && compact(stamp) != WriteOutcome::Done) {
    outcome = WriteOutcome::Failed;
    if (tiers_.cycles.size() + fresh.size() > kMaxCycleSamples) return WriteOutcome::Full;
  }
  std::vector<std::uint8_t> bytes(fresh.size() * record::kSize);
  for (std::size_t i = 0; i < fresh.size(); ++i)
    encodeRecord(fresh[i], MutableByteSpan(bytes).subspan(i * record::kSize, record::kSize));
  if (fd_ < 0 || !writeAll(fd_, bytes)) {
    // A short write (a full disk) would leave a torn record: take it back off.
    if (fd_ >= 0 && ::ftruncate(fd_, static_cast<off_t>(fileSize_)) != 0) {
      // The torn tail is cut at the next load instead.
    }
    return WriteOutcome::Failed;
  }
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
