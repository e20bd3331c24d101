// The machine-wide claim on the powerline adapters, shared by the desktop program, the console
// operations that change adapters and the monitor, so that the monitor's scan never runs
// between the frames of a key setting or an upgrade. One file in /run/lock (or the user's
// runtime folder when that is not writable) carries two record locks: byte 0 is held by
// whoever uses the adapters now, byte 1 by everyone waiting for them or using them apart from
// the monitor. The monitor takes byte 0 for a scan cycle and gives way between cycles while
// anybody holds byte 1, so whoever asks waits at most for the end of one cycle.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace quorrel::platform {

// $QUORREL_ADAPTER_LOCK when set, else /run/lock/quorrel-utility-adapters.lock, else the same
// name in $XDG_RUNTIME_DIR when /run/lock cannot be written.
std::string adapterLockPath();

class AdapterLock {
 public:
  explicit AdapterLock(std::string path = adapterLockPath());
  ~AdapterLock();
  AdapterLock(const AdapterLock&) = delete;
  AdapterLock& operator=(const AdapterLock&) = delete;

  // For a program that changes adapters: says it wants them, then waits up to `waitMs` for
  // whoever uses them. True when this process now holds them; false when the wait ran out or
  // the lock file cannot be used (the caller goes ahead regardless: the lock only orders).
  // `waiting` is called once when the adapters are busy at first.
  bool claim(std::uint32_t waitMs, const std::function<void()>& waiting = {});
  // For the monitor, at a cycle's start: waits while anybody else wants or holds the
  // adapters, then holds them. False when `stop` said so (checked between looks) or the file
  // cannot be used.
  bool takeTurn(const std::function<bool()>& stop);
  // Lets go of both bytes (the destructor does too).
  void release();
  bool held() const { return held_; }
  const std::string& path() const { return path_; }
  // Why the file could not be opened; empty when it could.
  const std::string& problem() const { return problem_; }

 private:
  bool open();
  std::string path_;
  std::string problem_;
  int fd_ = -1;
  bool held_ = false;
};

}  // namespace quorrel::platform
