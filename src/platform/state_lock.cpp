// One mutex for the shared state, and which thread holds it.
#include "platform/state_lock.h"

#include <mutex>

namespace quorrel::platform {

namespace {
std::mutex& stateMutex() {
  static std::mutex m;
  return m;
}
thread_local bool heldHere = false;
thread_local const std::atomic<bool>* cancelFlag = nullptr;
}  // namespace

void acquireState() {
  if (heldHere) return;
  stateMutex().lock();
  heldHere = true;
}

void releaseState() {
  if (!heldHere) return;
  heldHere = false;
  stateMutex().unlock();
}

bool stateHeldHere() {
  return heldHere;
}

BlockingSection::BlockingSection() : held_(heldHere) {
  releaseState();
}

BlockingSection::~BlockingSection() {
  if (held_) acquireState();
}

CancelScope::CancelScope(const std::atomic<bool>& flag) : previous_(cancelFlag) {
  cancelFlag = &flag;
}

CancelScope::~CancelScope() {
  cancelFlag = previous_;
}

bool cancelRequested() {
  return cancelFlag != nullptr && cancelFlag->load(std::memory_order_relaxed);
}

}  // namespace quorrel::platform
