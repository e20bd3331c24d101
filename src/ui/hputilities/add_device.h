// Adding an adapter by its device password, and testing the password of a listed one. Each
// holds the wire for its whole run (no scan tick takes its answers); a rescan it asks for
// goes on after it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "hpapi/membership.h"
#include "platform/notice.h"
#include "transport/receive_path.h"
#include "ui/hputilities/network_setting.h"

namespace quorrel::hputilities {

inline constexpr char kAddedText[] = "Device was added to your network.";
inline constexpr char kVerifiedText[] = "Password Verified as correct.";
inline constexpr char kNotDetectedText[] =
    "A Device With The Entered Password Was Not Detected. \nPlease Check The Password and "
    "Check Your Device Connection.";
inline constexpr char kReadNmkErrorText[] = "Error reading NMK from the local device";
inline constexpr char kReadNmkErrorCaption[] = "Error!!";
inline constexpr char kRemoteNmkText[] = "Unable to set the NMK of remote device!!!";
inline constexpr char kLocalNmkTimeoutText[] =
    "Timed out waiting for local adapter to change its NMK.";
inline constexpr char kLocalNmkTimeoutCaption[] = "Error!";
inline constexpr char kAddErrorText[] = "Error occured while adding the device";
inline constexpr char kUnknownAddText[] =
    "Some unknown problem occured while adding the device. Try adding again!";
inline constexpr char kUnknownAddCaption[] = "Error!!!";
// A cancelled add or password test: what became of the adapters.
inline constexpr char kAddCancelledText[] =
    "Adding the device was cancelled. Your adapter is back in your network; the device was not "
    "added.";
inline constexpr char kPasswordTestCancelledText[] =
    "The password test was cancelled. Your adapter is back in your network; the password is "
    "kept as not yet checked.";

inline constexpr int kTemporaryKeyTries = 6;
inline constexpr int kLocalKeyPolls = 201;
inline constexpr int kStationRounds = 501;
// Two adapters that share a password would answer every temporary network.
inline constexpr int kTemporaryNetworkRestarts = 3;
inline constexpr std::uint32_t kAfterKeyTryMs = 1000;
inline constexpr std::uint32_t kLocalKeyPollMs = 100;
inline constexpr std::uint32_t kStationSettleMs = 100;
inline constexpr std::uint32_t kBeforeReturnMs = 2000;
inline constexpr std::uint32_t kAfterReturnMs = 6000;
inline constexpr std::uint32_t kAfterRestoreMs = 1000;

// Advances the waiting dialog's progress line (may be empty).
using Advance = std::function<void()>;

// Puts a dash at 4, 9 and 14 where there is none, while the result fits 24 characters.
void insertPasswordDashes(std::string& password);

// Joins the adapter with `password` to the local network: found by the password alone when
// `mac` is null (search mode), else the adapter at `mac` (test mode). `password` receives the
// form that worked. 1 joined, else 0; every failure is reported once, and leaves the local
// adapter on the key it had.
int addDevice(transport::ReceivePath& path, platform::NoticeOwner owner,
              std::optional<std::string_view> name, std::string& password, const MacAddress* mac,
              const Advance& advance, const Rescan& rescan);

// Tests the password of the listed adapter `target.deviceMac`: 1 verified, 0 wrong, -1 the
// computer's own MAC is unknown.
int verifyDevicePassword(transport::ReceivePath& path, platform::NoticeOwner owner,
                         hpapi::JoinTarget& target, const Advance& advance, const Rescan& rescan);

// The password as the password dialog keeps it: as typed when verified, else with "Not " or,
// when it could not be tested, "CHECK " in front.
std::string storedPassword(std::string_view typed, int verifyResult);

}  // namespace quorrel::hputilities
