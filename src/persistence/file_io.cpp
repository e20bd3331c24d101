// Whole-file reads with a size cap and all-or-nothing replacement of a file.
#include "persistence/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace quorrel::persistence {

namespace {
ReplaceFaults* faults = nullptr;

bool allowed(ReplaceStep step) {
  return faults == nullptr || faults->allow(step);
}

std::string directoryOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// A rename is only durable once the directory entry itself reaches the disk.
void syncDirectory(const std::string& dir) {
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}
}  // namespace

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

void setReplaceFaults(ReplaceFaults* f) {
  faults = f;
}

ReadStatus readFileCapped(const std::string& path, std::size_t maxBytes,
                          std::vector<std::uint8_t>& out) {
  out.clear();
  // Non-blocking so that a pipe put in the file's place cannot stall the open.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0)
    return errno == ENOENT || errno == ENOTDIR ? ReadStatus::Missing : ReadStatus::Unreadable;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return ReadStatus::Unreadable;
  }
  const std::size_t expected =
      st.st_size > 0 ? static_cast<std::size_t>(st.st_size) : std::size_t{0};
  out.resize(expected < maxBytes ? expected : maxBytes);
  std::size_t got = 0;
  bool failed = false;
  while (got < out.size()) {
    const ssize_t n = ::read(fd, out.data() + got, out.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) failed = true;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  out.resize(got);
  return failed && got == 0 ? ReadStatus::Unreadable : ReadStatus::Ok;
}

PendingReplace::~PendingReplace() {
  abandon(ReplaceResult::Done);
}

ReplaceResult PendingReplace::abandon(ReplaceResult why) {
  const int error = errno;  // the failed step's, for the caller's message
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
  errno = error;
  return why;
}

ReplaceResult PendingReplace::prepare(const std::string& path, ByteSpan bytes) {
  abandon(ReplaceResult::Done);
  path_ = path;
  std::string temp = path + ".XXXXXX";
  // mkstemp creates the file owner-only and refuses to follow a name someone planted.
  fd_ = allowed(ReplaceStep::Open) ? ::mkostemp(temp.data(), O_CLOEXEC) : -1;
  if (fd_ < 0) return ReplaceResult::NotOpened;
  temp_ = temp;
  ::fchmod(fd_, S_IRUSR | S_IWUSR);
  if (!allowed(ReplaceStep::Write) || !writeAll(fd_, bytes))
    return abandon(ReplaceResult::WriteFailed);
  if (!allowed(ReplaceStep::Sync) || ::fsync(fd_) != 0) return abandon(ReplaceResult::WriteFailed);
  return ReplaceResult::Done;
}

ReplaceResult PendingReplace::commit(ByteSpan tail, bool syncFolder) {
  if (fd_ < 0) return ReplaceResult::NotOpened;
  if (!tail.empty() && !writeAll(fd_, tail)) return abandon(ReplaceResult::WriteFailed);
  const bool closedOk = ::close(fd_) == 0;
  fd_ = -1;
  if (!allowed(ReplaceStep::Close) || !closedOk) return abandon(ReplaceResult::CloseFailed);
  if (!allowed(ReplaceStep::Rename) || ::rename(temp_.c_str(), path_.c_str()) != 0)
    return abandon(ReplaceResult::RenameFailed);
  temp_.clear();
  if (syncFolder) syncFolderOf(path_);
  return ReplaceResult::Done;
}

ReplaceResult replaceFile(const std::string& path, ByteSpan bytes) {
  PendingReplace replacement;
  const ReplaceResult prepared = replacement.prepare(path, bytes);
  return prepared == ReplaceResult::Done ? replacement.commit({}) : prepared;
}

void syncFolderOf(const std::string& path) {
  syncDirectory(directoryOf(path));
}

void restrictToOwner(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
      (st.st_mode & (S_IRWXG | S_IRWXO | S_IXUSR)) != 0)
    ::chmod(path.c_str(), S_IRUSR | S_IWUSR);
}

bool moveAside(const std::string& path, const std::string& suffix) {
  return ::rename(path.c_str(), (path + suffix).c_str()) == 0;
}

}  // namespace quorrel::persistence
