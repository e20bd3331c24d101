// The wire thread: one thing at a time on a thread of its own, the state let go of in every
// sleep, a cancel that ends a wait at its next look, and a stop that cannot deadlock against a
// caller holding the state.
#include "ui/scanlink/wire_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>
#include <vector>

#include "platform/clock.h"
#include "platform/state_lock.h"
#include "transport/receive_path.h"

namespace quorrel::ui {
namespace {

// Tasks carried to the "window" run on the test's thread when it asks.
struct Window {
  std::mutex m;
  std::vector<WireThread::Task> posted;
  WireThread::Poster poster() {
    return [this](WireThread::Task t) {
      const std::lock_guard l(m);
      posted.push_back(std::move(t));
    };
  }
};

TEST(WireThreadTest, JobsRunInOrderAloneWithTheStateAndNoTickBetween) {
  Window window;
  std::atomic<int> ticks{0};
  std::atomic<bool> inJob{false};
  std::atomic<bool> tickDuringJob{false};
  WireThread wire(window.poster(), [&] {
    if (inJob) tickDuringJob = true;
    ++ticks;
  });
  std::vector<int> order;
  std::promise<void> done;
  wire.setTimer(true, 1);
  for (int i = 0; i < 3; ++i)
    wire.submit([&, i] {
      inJob = true;
      EXPECT_TRUE(wire.onWireThread());
      EXPECT_TRUE(platform::stateHeldHere());
      platform::sleepMs(20);  // the tick's period passes many times over
      EXPECT_TRUE(platform::stateHeldHere());
      order.push_back(i);
      inJob = false;
    });
  wire.submit([&] { done.set_value(); });
  done.get_future().wait();
  while (ticks == 0) platform::sleepMs(1);
  wire.stop();
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2}));
  EXPECT_FALSE(tickDuringJob);
  EXPECT_FALSE(wire.onWireThread());
}

TEST(WireThreadTest, ASleepingJobLetsTheWindowTakeTheState) {
  Window window;
  WireThread wire(window.poster(), [] {});
  std::atomic<bool> sleeping{false}, ended{false};
  wire.submit([&] {
    sleeping = true;
    for (int i = 0; i < 2000 && sleeping; ++i) platform::sleepMs(1);
    ended = true;
  });
  while (!sleeping) platform::sleepMs(1);
  platform::acquireState();  // would wait out the job if its sleeps kept the state
  EXPECT_FALSE(ended);
  sleeping = false;
  platform::releaseState();
  wire.stop();
  EXPECT_TRUE(ended);
}

TEST(WireThreadTest, CancelEndsAWaitAndADelayAtTheirNextLook) {
  Window window;
  WireThread wire(window.poster(), [] {});
  std::promise<std::pair<bool, bool>> outcome;
  std::atomic<bool> waiting{false};
  wire.submit([&] {
    transport::ReceivePath path;  // no interface open: nothing ever arrives
    const transport::Deadline deadline = transport::Deadline::after(60000);
    waiting = true;
    const bool got = transport::waitFor(
        path, deadline, [](const transport::Frame&) { return transport::Verdict::Accept; });
    platform::delay(60000);
    outcome.set_value({got, deadline.passed()});
  });
  while (!waiting) platform::sleepMs(1);
  wire.cancel();
  const auto [got, passed] = outcome.get_future().get();
  EXPECT_FALSE(got);
  EXPECT_FALSE(passed);  // ended by the cancel, long before its deadline
  // The next job starts uncancelled.
  std::promise<bool> next;
  wire.submit([&] { next.set_value(platform::cancelRequested()); });
  EXPECT_FALSE(next.get_future().get());
}

TEST(WireThreadTest, StopWhileHoldingTheStateDoesNotDeadlock) {
  Window window;
  auto wire = std::make_unique<WireThread>(window.poster(), [] {});
  platform::acquireState();
  std::atomic<bool> started{false};
  wire->submit([&] { started = true; });  // waits for the state the caller holds
  wire->stop();
  EXPECT_TRUE(platform::stateHeldHere());
  platform::releaseState();
  wire.reset();
  // What the wire posted reaches the window only when the window runs it.
  Window w2;
  WireThread poster(w2.poster(), [] {});
  std::promise<void> posted;
  poster.submit([&] {
    poster.post([] {});
    posted.set_value();
  });
  posted.get_future().wait();
  poster.stop();
  EXPECT_EQ(w2.posted.size(), 1u);
}

}  // namespace
}  // namespace quorrel::ui
