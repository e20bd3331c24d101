// The wait cursor guard.
#include <gtest/gtest.h>

#include "platform/notice.h"

namespace quorrel::platform {
namespace {

TEST(WaitCursor, RestoredOnEveryReturnPath) {
  RecordingNotice rec;
  setNotice(&rec);
  auto leaveEarly = [](bool early) {
    WaitCursor busy;
    if (early) return 1;
    return 2;
  };
  leaveEarly(true);
  leaveEarly(false);
  EXPECT_FALSE(rec.waiting);
  EXPECT_EQ(rec.cursorChanges, (std::vector<bool>{true, false, true, false}));
  setNotice(nullptr);
}

}  // namespace
}  // namespace quorrel::platform
