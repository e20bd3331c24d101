// Network-name and device-password rules at their boundaries, with their exact texts.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <tuple>

#include "platform/notice.h"
#include "ui/hputilities/password_rules.h"

namespace quorrel::hputilities {
namespace {

using platform::NoticeIcon;
using platform::NoticeOwner;

class PasswordRulesTest : public ::testing::Test {
 protected:
  void SetUp() override { platform::setNotice(&notice); }
  void TearDown() override { platform::setNotice(nullptr); }

  // The one box shown since the last call, checked and forgotten.
  void expectOneBox(const std::string& text, NoticeOwner owner) {
    ASSERT_EQ(notice.shown.size(), 1u);
    EXPECT_EQ(notice.shown[0].text, text);
    EXPECT_EQ(notice.shown[0].caption, "Invalid Entry");
    EXPECT_EQ(notice.shown[0].icon, NoticeIcon::Error);
    EXPECT_EQ(notice.shown[0].owner, owner);
    notice.clear();
  }
  platform::RecordingNotice notice;
};

const std::string kNameBox =
    "The Network Name Entered is Invalid.\nPlease Enter a Network Name between 4 and 24 "
    "characters";
const std::string kPasswordBox =
    "The Device Password Entered is Invalid.\nPlease check it and try again.";

// Lengths count stored bytes: "\xC3\xA9" is two, so 12 of them fill a 24-byte field; a device
// password's characters are not checked. Each refusal shows one box to its owner.
TEST_F(PasswordRulesTest, NameAndDevicePasswordLengths) {
  std::string e12;
  for (int i = 0; i < 12; ++i) e12 += "\xC3\xA9";
  const std::optional<NoticeOwner> name;  // a network name: boxes go to the Main page
  // The text, the owner of a device password's box (none: a network name), and whether it passes.
  const std::tuple<std::string, std::optional<NoticeOwner>, bool> cases[] = {
      {"abcd", name, true},
      {std::string(24, 'n'), name, true},
      {"abc", name, false},
      {std::string(25, 'n'), name, false},
      {"", name, false},
      {"abcdefghijklmnopqrstuvw\xC3\xA9", name, false},  // 24 characters, 25 bytes
      {e12, NoticeOwner::ActiveDialog, true},
      {e12 + "\xC3\xA9", NoticeOwner::ActiveDialog, false},
      {"with spaces\tand tab", NoticeOwner::MainPage, true},
      {std::string(24, '-'), NoticeOwner::MainPage, true},
      {"abc", NoticeOwner::None, false},
      {std::string(25, 'p'), NoticeOwner::ActiveDialog, false},
  };
  for (const auto& [text, device, ok] : cases) {
    SCOPED_TRACE(text);
    EXPECT_EQ(device ? checkDevicePasswordLength(*device, text) : checkNetworkNameLength(text), ok);
    if (ok) {
      EXPECT_TRUE(notice.shown.empty());
    } else {
      expectOneBox(device ? kPasswordBox : kNameBox, device.value_or(NoticeOwner::MainPage));
    }
  }
}

TEST_F(PasswordRulesTest, NetworkPasswordRulesInOrderAndTheirLines) {
  const char* length = "Password length illegal, use 4-24 chars\n";
  const char* illegal = "Illegal character in password, CTRL and ALT characters not allowed.\n";
  const std::pair<std::optional<std::string>, const char*> cases[] = {
      {std::nullopt, "No password was entered...exiting\n"},
      {"abc", length},
      {std::string(25, 'a'), length},
      {"a\tb", length},  // length is tested before characters
      {"My\tNetwork", illegal},
      {"Caf\xC3\xA9 Net", illegal},
      {"\x80z234", illegal},
      {"abcd\xFF", illegal},
      {"\x1Fz234", illegal},
      {std::string("ab\0cd", 5), illegal},
      {"abcd", nullptr},
      {std::string(24, '~'), nullptr},
      {" ab\x7F", nullptr},  // 32 and 127 are the limits
  };
  for (const auto& [text, problem] : cases)
    EXPECT_STREQ(networkPasswordProblem(text), problem) << text.value_or("(none)");
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(checkNetworkPassword("My\tNetwork"), 0);
  EXPECT_EQ(checkNetworkPassword(std::nullopt), 0);
  EXPECT_EQ(checkNetworkPassword("HomePlugAV"), 1);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "Illegal character in password, CTRL and ALT characters not allowed.\n"
            "No password was entered...exiting\n");
  EXPECT_TRUE(notice.shown.empty());
}

}  // namespace
}  // namespace quorrel::hputilities
