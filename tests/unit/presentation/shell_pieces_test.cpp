// The single-instance lock and the bitmap checks.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <tuple>
#include <vector>

#include "support/desktop_fixture.h"
#include "ui/presentation/bitmap_file.h"
#include "ui/presentation/instance_lock.h"
#include "ui/presentation/main_page_text.h"

namespace quorrel::ui {
namespace {

// Later copies are refused and say who runs. The holder is then a child process, run by
// another user when the test may switch users: one copy per machine, whoever runs it, until
// the kernel frees the name at the holder's death.
TEST(InstanceLock, LaterCopiesAreRefusedAndAnotherUsersCopyHoldsItUntilItDies) {
  testing::DesktopState state;
  persistence::preferences().productName = "Acme Link";
  // A name of this test process alone, so that parallel runs and a running program stay apart.
  const std::string name = "quorrel-utility-test-" + std::to_string(::getpid());
  {
    InstanceLock first(name);
    EXPECT_TRUE(admitInstance(first));
    EXPECT_TRUE(state.notice.shown.empty());
    for (int copy = 2; copy <= 3; ++copy) {
      InstanceLock another(name);
      EXPECT_FALSE(admitInstance(another));
    }
    EXPECT_TRUE(first.held());
  }
  EXPECT_TRUE(InstanceLock(name).held());
  ASSERT_EQ(state.notice.shown.size(), 2u);
  EXPECT_EQ(state.notice.shown[1].text,
            "Acme Link is already running.\nOnly one copy can run at a time.");
  EXPECT_EQ(state.notice.shown[1].caption, "Attention!");
  EXPECT_EQ(state.notice.shown[1].icon, platform::NoticeIcon::Stop);
  EXPECT_EQ(alreadyRunningText("50%s"),
            "50%s is already running.\nOnly one copy can run at a time.");

  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::getuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(1);
    InstanceLock held(name);
    const char c = held.held() ? 'y' : 'n';
    (void)!::write(ready[1], &c, 1);
    ::pause();
    ::_exit(0);
  }
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  EXPECT_EQ(c, 'y');
  EXPECT_FALSE(InstanceLock(name).held());
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
  EXPECT_TRUE(InstanceLock(name).held());
  ::close(ready[0]);
  ::close(ready[1]);
}

// An 8-bit bitmap of `w` × `h` with a 256-entry palette, as a paint program writes it.
std::vector<std::uint8_t> bitmap8(int w, int h, std::uint16_t bits = 8) {
  const std::size_t stride = (static_cast<std::size_t>(w) + 3) & ~std::size_t{3};
  const std::size_t offset = 14 + 40 + 256 * 4;
  std::vector<std::uint8_t> b(offset + stride * static_cast<std::size_t>(h), 0);
  writeLe16(b, 0, 0x4D42);  // "BM"
  writeLe32(b, 2, static_cast<std::uint32_t>(b.size()));
  writeLe32(b, bmp::kDataOffsetAt, static_cast<std::uint32_t>(offset));
  writeLe32(b, bmp::kInfoSizeAt, 40);
  writeLe32(b, bmp::kWidthAt, static_cast<std::uint32_t>(w));
  writeLe32(b, bmp::kHeightAt, static_cast<std::uint32_t>(h));
  writeLe16(b, bmp::kPlanesAt, 1);
  writeLe16(b, bmp::kBitsAt, bits);
  return b;
}

TEST(BitmapFile, OnlyWholeEightBitBitmapsPass) {
  const auto good = bitmap8(5, 3);
  const auto info = checkPaletteBitmap(good);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->width, 5);
  EXPECT_EQ(info->height, 3);
  EXPECT_FALSE(checkPaletteBitmap(bitmap8(5, 3, 24)));
  EXPECT_FALSE(checkPaletteBitmap(bitmap8(5, 3, 4)));
  for (std::size_t n : std::initializer_list<std::size_t>{0, 2, 13, 14, 53, good.size() - 1}) {
    std::vector<std::uint8_t> shortFile(good.begin(), good.begin() + static_cast<long>(n));
    EXPECT_FALSE(checkPaletteBitmap(shortFile)) << n;
  }
  // {offset, value, passes}: the header's file size does not decide, a top-down height is
  // fine, and the last one spoils the "BM".
  using Patch = std::tuple<std::size_t, std::uint32_t, bool>;
  for (auto [at, value, passes] :
       std::initializer_list<Patch>{{2, 0xFFFFFFFFu, true},
                                    {bmp::kWidthAt, 0x7FFFFFFFu, false},
                                    {bmp::kHeightAt, 0xFFFFFFFDu, true},
                                    {bmp::kHeightAt, 0x80000000u, false},
                                    {bmp::kDataOffsetAt, 20, false},
                                    {bmp::kDataOffsetAt, 0xFFFFFFF0u, false},
                                    {bmp::kInfoSizeAt, 0xFFFFFFFFu, false},
                                    {bmp::kCompressionAt, 4, false},
                                    {0, 0, false}}) {
    auto b = good;
    writeLe32(b, at, value);
    EXPECT_EQ(checkPaletteBitmap(b).has_value(), passes) << at << " " << value;
  }
  EXPECT_FALSE(readWholeFile("/nonexistent/cert.bmp"));
}

}  // namespace
}  // namespace quorrel::ui
