// The program's shared state (the device table, the known devices, the scan and the exchange
// state) is used by two threads in the desktop program: the wire thread, which exchanges
// frames, and the window's thread, which shows the state. Each holds the state lock while it
// uses the state and lets go of it whenever it blocks: the wire thread in every sleep of a
// wait, the window's thread whenever its event loop goes idle. The window therefore never
// waits for a frame, only for the few microseconds of work between two looks at the wire.
// A process without a second thread (the console program, the tests) never takes the lock, and
// every part of it costs nothing there.
#pragma once

#include <atomic>

namespace quorrel::platform {

// Takes the state lock for the calling thread, unless it holds it already.
void acquireState();
// Lets go of the state lock if the calling thread holds it.
void releaseState();
bool stateHeldHere();

// Lets go of the state lock for a block that may wait (a sleep, a call to another thread that
// waits for an answer) and takes it again afterwards, if the calling thread held it.
class BlockingSection {
 public:
  BlockingSection();
  ~BlockingSection();
  BlockingSection(const BlockingSection&) = delete;
  BlockingSection& operator=(const BlockingSection&) = delete;

 private:
  bool held_;
};

// The operation running on the calling thread may be cancelled through `flag` while the scope
// lives: waits and fixed delays on this thread end at their next look once it is set.
class CancelScope {
 public:
  explicit CancelScope(const std::atomic<bool>& flag);
  ~CancelScope();
  CancelScope(const CancelScope&) = delete;
  CancelScope& operator=(const CancelScope&) = delete;

 private:
  const std::atomic<bool>* previous_;
};

// True once the calling thread's running operation was cancelled.
bool cancelRequested();

// The steps inside run to their end even once the operation is cancelled: they put an adapter
// back where the user had it, which a cancel must not leave half done.
class CancelShield {
 public:
  CancelShield() : scope_(never_) {}

 private:
  std::atomic<bool> never_{false};
  CancelScope scope_;
};

}  // namespace quorrel::platform
