// No toolkit here: boxes go through the platform notice.
#include "ui/hputilities/password_rules.h"

#include <algorithm>
#include <cstdio>

namespace quorrel::hputilities {

namespace {

bool lengthAllowed(std::string_view text) {
  return text.size() >= kMinTextBytes && text.size() <= kMaxTextBytes;
}

bool nameChar(char c) {
  const auto code = static_cast<unsigned char>(c);
  return code >= kFirstNameChar && code <= kLastNameChar;
}

}  // namespace

bool checkNetworkNameLength(std::string_view networkName) {
  if (lengthAllowed(networkName)) return true;
  platform::showNotice(kInvalidNetworkNameText, kInvalidEntryCaption, platform::NoticeIcon::Error,
                       platform::NoticeButtons::Ok, platform::NoticeOwner::MainPage);
  return false;
}

const char* networkPasswordProblem(std::optional<std::string_view> text) {
  if (!text) return kNoPasswordLine;
  if (!lengthAllowed(*text)) return kPasswordLengthLine;
  if (!std::all_of(text->begin(), text->end(), nameChar)) return kIllegalCharacterLine;
  return nullptr;
}

int checkNetworkPassword(std::optional<std::string_view> text) {
  const char* problem = networkPasswordProblem(text);
  if (problem == nullptr) return 1;
  std::fputs(problem, stdout);
  std::fflush(stdout);
  return 0;
}

bool checkDevicePasswordLength(platform::NoticeOwner owner, std::string_view devicePassword) {
  if (lengthAllowed(devicePassword)) return true;
  platform::showNotice(kInvalidDevicePasswordText, kInvalidEntryCaption,
                       platform::NoticeIcon::Error, platform::NoticeButtons::Ok, owner);
  return false;
}

}  // namespace quorrel::hputilities
