// The rules a network name and a device password must meet before a key is made from them.
// Lengths count the bytes that are stored and hashed (UTF-8), so a name or password that
// passes always fits its 25-byte field with the terminator.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

#include "platform/notice.h"

namespace quorrel::hputilities {

inline constexpr std::size_t kMinTextBytes = 4;
inline constexpr std::size_t kMaxTextBytes = 24;
// Lowest and highest character code allowed in a network name.
inline constexpr unsigned char kFirstNameChar = 32;
inline constexpr unsigned char kLastNameChar = 127;

inline constexpr char kInvalidEntryCaption[] = "Invalid Entry";
inline constexpr char kInvalidNetworkNameText[] =
    "The Network Name Entered is Invalid.\nPlease Enter a Network Name between 4 and 24 "
    "characters";
inline constexpr char kInvalidDevicePasswordText[] =
    "The Device Password Entered is Invalid.\nPlease check it and try again.";

inline constexpr char kNoPasswordLine[] = "No password was entered...exiting\n";
inline constexpr char kPasswordLengthLine[] = "Password length illegal, use 4-24 chars\n";
inline constexpr char kIllegalCharacterLine[] =
    "Illegal character in password, CTRL and ALT characters not allowed.\n";

// True for 4 to 24 bytes; otherwise shows the invalid-name box over the main page.
bool checkNetworkNameLength(std::string_view networkName);

// The diagnostic line for the first rule the text breaks (absent, length, then characters
// from the first on), or nullptr when it is acceptable.
const char* networkPasswordProblem(std::optional<std::string_view> text);

// 1 if acceptable; else 0, after writing the diagnostic line to standard output. Callers show
// the invalid-name box themselves.
int checkNetworkPassword(std::optional<std::string_view> text);

// True for 4 to 24 bytes of any content; otherwise shows the invalid-password box over `owner`.
bool checkDevicePasswordLength(platform::NoticeOwner owner, std::string_view devicePassword);

}  // namespace quorrel::hputilities
