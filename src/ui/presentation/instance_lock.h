// One running copy per user: a lock on a file that lives as long as the process holds it and
// that the kernel releases when the process ends, however it ends.
#pragma once

#include <string>

namespace quorrel::ui {

inline constexpr const char* kInstanceLockName = "quorrel-utility.lock";

// $XDG_RUNTIME_DIR/quorrel-utility.lock, else /tmp/quorrel-utility-<uid>.lock.
std::string instanceLockPath();

class InstanceLock {
 public:
  // Takes the lock at `path`; held() tells whether this process got it.
  explicit InstanceLock(const std::string& path = instanceLockPath());
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  bool held() const { return held_; }

 private:
  int fd_ = -1;
  bool held_ = false;
};

// True when this copy may run; otherwise shows the second-instance message for the
// preferences' product name (loaded before this is asked).
bool AdmitInstance(const InstanceLock& lock);

}  // namespace quorrel::ui
