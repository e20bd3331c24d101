// Network-name and device-password rules at their boundaries, with their exact texts.
#include <gtest/gtest.h>

#include <string>

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

TEST_F(PasswordRulesTest, NetworkNameLengthBoundaries) {
  EXPECT_TRUE(checkNetworkNameLength("abcd"));
  EXPECT_TRUE(checkNetworkNameLength(std::string(24, 'n')));
  EXPECT_TRUE(notice.shown.empty());
  EXPECT_FALSE(checkNetworkNameLength("abc"));
  expectOneBox(kNameBox, NoticeOwner::MainPage);
  EXPECT_FALSE(checkNetworkNameLength(std::string(25, 'n')));
  expectOneBox(kNameBox, NoticeOwner::MainPage);
  EXPECT_FALSE(checkNetworkNameLength(""));
  expectOneBox(kNameBox, NoticeOwner::MainPage);
}

TEST_F(PasswordRulesTest, LengthsCountStoredBytes) {
  // "é" is two bytes: 12 of them fill the 24 bytes of a field, 13 would overflow it.
  std::string e12, e13;
  for (int i = 0; i < 12; ++i) e12 += "\xC3\xA9";
  e13 = e12 + "\xC3\xA9";
  EXPECT_TRUE(checkDevicePasswordLength(NoticeOwner::ActiveDialog, e12));
  EXPECT_FALSE(checkDevicePasswordLength(NoticeOwner::ActiveDialog, e13));
  expectOneBox(kPasswordBox, NoticeOwner::ActiveDialog);
  EXPECT_FALSE(checkNetworkNameLength("abcdefghijklmnopqrstuvw\xC3\xA9"));  // 24 chars, 25 bytes
  expectOneBox(kNameBox, NoticeOwner::MainPage);
}

TEST_F(PasswordRulesTest, NetworkPasswordRulesInOrder) {
  EXPECT_STREQ(networkPasswordProblem(std::nullopt), "No password was entered...exiting\n");
  EXPECT_STREQ(networkPasswordProblem("abc"), "Password length illegal, use 4-24 chars\n");
  EXPECT_STREQ(networkPasswordProblem(std::string(25, 'a')),
               "Password length illegal, use 4-24 chars\n");
  // Length is tested before characters.
  EXPECT_STREQ(networkPasswordProblem("a\tb"), "Password length illegal, use 4-24 chars\n");

  const char* illegal = "Illegal character in password, CTRL and ALT characters not allowed.\n";
  EXPECT_STREQ(networkPasswordProblem("My\tNetwork"), illegal);
  EXPECT_STREQ(networkPasswordProblem("Caf\xC3\xA9 Net"), illegal);
  EXPECT_STREQ(networkPasswordProblem("\x80"
                                      "abcd"),
               illegal);
  EXPECT_STREQ(networkPasswordProblem("abcd\xFF"), illegal);
  EXPECT_STREQ(networkPasswordProblem("\x1F"
                                      "abcd"),
               illegal);
  EXPECT_STREQ(networkPasswordProblem(std::string_view("ab\0cd", 5)), illegal);

  EXPECT_EQ(networkPasswordProblem("abcd"), nullptr);
  EXPECT_EQ(networkPasswordProblem(std::string(24, '~')), nullptr);
  EXPECT_EQ(networkPasswordProblem(" ab\x7F"), nullptr);  // 32 and 127 are the limits
  EXPECT_TRUE(notice.shown.empty());
}

TEST_F(PasswordRulesTest, CheckNetworkPasswordWritesItsLineOnly) {
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(checkNetworkPassword("My\tNetwork"), 0);
  EXPECT_EQ(checkNetworkPassword(std::nullopt), 0);
  EXPECT_EQ(checkNetworkPassword("HomePlugAV"), 1);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "Illegal character in password, CTRL and ALT characters not allowed.\n"
            "No password was entered...exiting\n");
  EXPECT_TRUE(notice.shown.empty());
}

TEST_F(PasswordRulesTest, DevicePasswordCharactersAreNotChecked) {
  EXPECT_TRUE(checkDevicePasswordLength(NoticeOwner::MainPage, "ABCD-EFGH-IJKL-MNOP"));
  EXPECT_TRUE(checkDevicePasswordLength(NoticeOwner::MainPage, "with spaces\tand tab"));
  EXPECT_TRUE(checkDevicePasswordLength(NoticeOwner::MainPage, std::string(24, '-')));
  EXPECT_TRUE(notice.shown.empty());
  EXPECT_FALSE(checkDevicePasswordLength(NoticeOwner::None, "abc"));
  expectOneBox(kPasswordBox, NoticeOwner::None);
  EXPECT_FALSE(checkDevicePasswordLength(NoticeOwner::ActiveDialog, std::string(25, 'p')));
  expectOneBox(kPasswordBox, NoticeOwner::ActiveDialog);
}

}  // namespace
}  // namespace quorrel::hputilities
