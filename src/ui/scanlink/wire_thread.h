// The wire thread: the one thread that exchanges frames in the desktop program. It runs the
// scan's ticks on the scan's timer and the operations the window asks for, one at a time, so
// an operation holds the wire for its whole run and no tick can take its answers. It holds the
// state lock while it works and lets go of it whenever a wait sleeps. What it has to tell the
// window goes through the poster given at construction, which carries a function to the
// window's thread.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace quorrel::ui {

class WireThread {
 public:
  using Task = std::function<void()>;
  using Poster = std::function<void(Task)>;

  // `tick` is one step of the scan, run each period while the timer runs.
  WireThread(Poster poster, Task tick);
  ~WireThread();
  WireThread(const WireThread&) = delete;
  WireThread& operator=(const WireThread&) = delete;

  // Runs `job` after those already asked for, with the state lock held; a cancel reaches the
  // waits of the job that runs when it comes.
  void submit(Task job);
  // Ends the running job at its next look at the wire or its next delay; jobs not yet begun
  // still run (each decides what a cancelled start means).
  void cancel();
  bool cancelled() const { return cancel_.load(); }
  // The scan's timer: a tick every `periodMs` while `running`.
  void setTimer(bool running, std::uint32_t periodMs);
  // Carries `task` to the window's thread.
  void post(Task task) const { poster_(std::move(task)); }
  // Cancels what runs, drops what waits, and ends the thread. Safe to call twice.
  void stop();
  bool onWireThread() const { return std::this_thread::get_id() == thread_.get_id(); }

 private:
  void run();

  Poster poster_;
  Task tick_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Task> jobs_;
  bool stopping_ = false;
  bool timerRunning_ = false;
  std::chrono::milliseconds period_{0};
  std::chrono::steady_clock::time_point nextTick_{};
  std::atomic<bool> cancel_{false};
  std::thread thread_;
};

}  // namespace quorrel::ui
