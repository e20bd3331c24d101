// The wire thread's loop: jobs first, then a tick when one is due, else sleep until either.
#include "ui/scanlink/wire_thread.h"

#include <algorithm>

#include "platform/state_lock.h"

namespace quorrel::ui {

WireThread::WireThread(Poster poster, Task tick)
    : poster_(std::move(poster)), tick_(std::move(tick)), thread_([this] { run(); }) {}

WireThread::~WireThread() {
  stop();
}

void WireThread::submit(Task job) {
  {
    const std::lock_guard lock(mutex_);
    if (stopping_) return;
    jobs_.push_back(std::move(job));
  }
  wake_.notify_one();
}

void WireThread::cancel() {
  cancel_ = true;
}

void WireThread::setTimer(bool running, std::uint32_t periodMs) {
  {
    const std::lock_guard lock(mutex_);
    timerRunning_ = running && periodMs > 0;
    period_ = std::chrono::milliseconds(periodMs);
    nextTick_ = std::chrono::steady_clock::now() + period_;
  }
  wake_.notify_one();
}

void WireThread::stop() {
  {
    const std::lock_guard lock(mutex_);
    stopping_ = true;
    jobs_.clear();
  }
  cancel_ = true;
  wake_.notify_one();
  if (thread_.joinable() && !onWireThread()) {
    // The job may be about to take the state lock the caller holds.
    const platform::BlockingSection idle;
    thread_.join();
  }
}

void WireThread::run() {
  const platform::CancelScope scope(cancel_);
  std::unique_lock lock(mutex_);
  for (;;) {
    if (stopping_) return;
    if (!jobs_.empty()) {
      Task job = std::move(jobs_.front());
      jobs_.pop_front();
      cancel_ = false;
      lock.unlock();
      platform::acquireState();
      job();
      platform::releaseState();
      lock.lock();
      continue;
    }
    const auto now = std::chrono::steady_clock::now();
    if (timerRunning_ && now >= nextTick_) {
      // A late tick does not bunch the ones after it.
      nextTick_ = std::max(nextTick_ + period_, now);
      cancel_ = false;  // a cancel is for the operation that was asked for, not the scan
      lock.unlock();
      platform::acquireState();
      tick_();
      platform::releaseState();
      lock.lock();
      continue;
    }
    if (timerRunning_)
      wake_.wait_until(lock, nextTick_);
    else
      wake_.wait(lock);
  }
}

}  // namespace quorrel::ui
