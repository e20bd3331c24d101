// The recording notice and the wait cursor guard.
#include <gtest/gtest.h>

#include "platform/notice.h"

namespace quorrel::platform {
namespace {

TEST(RecordingNotice, RecordsAndAnswersFromScriptThenFirstButton) {
  RecordingNotice rec;
  setNotice(&rec);
  rec.scriptAnswers({NoticeAnswer::No});
  EXPECT_EQ(showNotice("a", "Attention!", NoticeIcon::Warning, NoticeButtons::YesNo),
            NoticeAnswer::No);
  EXPECT_EQ(showNotice("b", "Attention!", NoticeIcon::Warning, NoticeButtons::YesNo),
            NoticeAnswer::Yes);
  ASSERT_EQ(rec.shown.size(), 2u);
  EXPECT_EQ(rec.shown[0].caption, "Attention!");
  EXPECT_EQ(rec.shown[1].text, "b");
  setNotice(nullptr);
}

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
