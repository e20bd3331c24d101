// The adapter lock between a monitor and the programs that change adapters, with both sides in
// this process (the locks belong to each open of the file, so they exclude each other here as
// between processes).
#include "platform/adapter_lock.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "support/scratch_dir.h"

namespace quorrel::platform {
namespace {

TEST(AdapterLock, TheMonitorGivesWayBetweenCyclesAndOperationsWaitForItsCycle) {
  testing::ScratchDir scratch;
  const std::string path = scratch.file("adapters.lock");
  enum class Before { Nothing, MonitorCycle, OperationRunning, OperationStoppedWaiting };
  const struct {
    const char* what;
    Before before;
    bool claimed;      // a second operation's claim without waiting
    bool waitingTold;  // ... and whether it said it waits
  } cases[] = {
      {"free adapters", Before::Nothing, true, false},
      {"a monitor cycle under way", Before::MonitorCycle, false, true},
      {"an operation running", Before::OperationRunning, false, true},
      {"an operation that went ahead after the cycle", Before::OperationStoppedWaiting, true,
       false},
  };
  const auto never = [] { return false; };
  for (const auto& c : cases) {
    AdapterLock monitor(path), first(path), second(path);
    if (c.before == Before::MonitorCycle) {
      ASSERT_TRUE(monitor.takeTurn(never)) << c.what;
    }
    if (c.before == Before::OperationRunning) {
      ASSERT_TRUE(first.claim(0)) << c.what;
    }
    if (c.before == Before::OperationStoppedWaiting) {
      AdapterLock cycle(path);
      ASSERT_TRUE(cycle.takeTurn(never));
      ASSERT_FALSE(first.claim(0)) << c.what;
    }
    bool told = false;
    EXPECT_EQ(second.claim(0, [&] { told = true; }), c.claimed) << c.what;
    EXPECT_EQ(told, c.waitingTold) << c.what;
    // Between its cycles the monitor gives way to whoever wants the adapters or has them.
    monitor.release();
    int looks = 0;
    EXPECT_FALSE(monitor.takeTurn([&] { return ++looks > 3; })) << c.what;
    first.release();
    second.release();
    EXPECT_TRUE(monitor.takeTurn(never)) << c.what;
  }
  // Every user's programs share the file, whatever the umask of the one that made it.
  struct stat st {};
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0666u);
  AdapterLock nowhere(scratch.file("missing/adapters.lock"));
  EXPECT_FALSE(nowhere.claim(0));
  EXPECT_EQ(nowhere.problem(), "No such file or directory");
}

}  // namespace
}  // namespace quorrel::platform
