// One running copy per machine: a name in the abstract Unix socket namespace, bound by the
// running copy. All users share that namespace, and the kernel frees the name when the process
// ends, however it ends; no file is left behind.
#pragma once

#include <string>

namespace quorrel::ui {

inline constexpr const char* kInstanceLockName = "quorrel-utility.instance";

class InstanceLock {
 public:
  // Binds the abstract socket name `name`; held() tells whether this process got it. The
  // namespace belongs to the network namespace, whose interfaces the copy would use.
  explicit InstanceLock(const std::string& name = kInstanceLockName);
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
bool admitInstance(const InstanceLock& lock);

}  // namespace quorrel::ui
