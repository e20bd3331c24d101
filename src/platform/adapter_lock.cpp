// Open-file-description record locks: they belong to this open of the file, not to the
// process, so two locks in one process (a test, a monitor and an operation) still exclude
// each other, and a child that does not inherit the descriptor holds nothing.
#include "platform/adapter_lock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace quorrel::platform {

namespace {

constexpr char kFileName[] = "quorrel-utility-adapters.lock";
constexpr auto kLookEvery = std::chrono::milliseconds(10);
constexpr off_t kUseByte = 0;
constexpr off_t kWantByte = 1;

struct flock range(short type, off_t start) {
  struct flock l {};
  l.l_type = type;
  l.l_whence = SEEK_SET;
  l.l_start = start;
  l.l_len = 1;
  return l;
}

bool tryLock(int fd, short type, off_t start) {
  struct flock l = range(type, start);
  return ::fcntl(fd, F_OFD_SETLK, &l) == 0;
}

// Whether another open of the file holds `start`.
bool heldElsewhere(int fd, off_t start) {
  struct flock l = range(F_WRLCK, start);
  return ::fcntl(fd, F_OFD_GETLK, &l) == 0 && l.l_type != F_UNLCK;
}

}  // namespace

std::string adapterLockPath() {
  if (const char* given = std::getenv("QUORREL_ADAPTER_LOCK"); given != nullptr && *given != 0)
    return given;
  if (::access("/run/lock", W_OK) == 0) return std::string("/run/lock/") + kFileName;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') return std::string(runtime) + "/" + kFileName;
  return std::string("/run/lock/") + kFileName;
}

AdapterLock::AdapterLock(std::string path) : path_(std::move(path)) {}

AdapterLock::~AdapterLock() {
  if (fd_ >= 0) ::close(fd_);
}

bool AdapterLock::open() {
  if (fd_ >= 0) return true;
  // Opened without O_CREAT first: a sticky shared folder refuses O_CREAT on another user's file.
  fd_ = ::open(path_.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
  if (fd_ < 0 && errno == ENOENT) {
    fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0666);
    // Every user's programs take it, whatever the creator's umask.
    if (fd_ >= 0) ::fchmod(fd_, 0666);
    if (fd_ < 0 && errno == EEXIST) fd_ = ::open(path_.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
  }
  if (fd_ < 0) problem_ = std::strerror(errno);
  return fd_ >= 0;
}

bool AdapterLock::claim(std::uint32_t waitMs, const std::function<void()>& waiting) {
  if (held_) return true;
  if (!open()) return false;
  // Shared: any number may want the adapters at once; they then take turns at the use byte.
  if (!tryLock(fd_, F_RDLCK, kWantByte)) return false;
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  for (bool told = false;; told = true) {
    if (tryLock(fd_, F_WRLCK, kUseByte)) return held_ = true;
    if (!told && waiting) waiting();
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(kLookEvery);
  }
}

bool AdapterLock::takeTurn(const std::function<bool()>& stop) {
  if (held_) return true;
  if (!open()) return false;
  while (!stop()) {
    if (!heldElsewhere(fd_, kWantByte) && tryLock(fd_, F_WRLCK, kUseByte)) return held_ = true;
    std::this_thread::sleep_for(kLookEvery);
  }
  return false;
}

void AdapterLock::release() {
  held_ = false;
  if (fd_ < 0) return;
  struct flock all = range(F_UNLCK, 0);
  all.l_len = 2;
  ::fcntl(fd_, F_OFD_SETLK, &all);
}

}  // namespace quorrel::platform
