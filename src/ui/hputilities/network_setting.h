// The Privacy page's commands without the page: the network name on the local adapter only, or
// on every adapter whose password is known and then on the local one. Each holds the wire for
// its whole run (no scan tick takes its answers).
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/bytes.h"
#include "platform/notice.h"
#include "transport/receive_path.h"

namespace quorrel::hputilities {

inline constexpr char kLocalNetworkSet[] = "Local network set";
inline constexpr char kUnableToComplete[] = "Unable to complete the command.";
inline constexpr char kProblemOccurredCaption[] = "Problem Occurred";
inline constexpr char kInformationCaption[] = "Information";
inline constexpr char kAttentionCaption[] = "Attention!";
inline constexpr char kAllDevicesAdded[] = "All Devices are successfully added to the network.";
inline constexpr char kSomeDevicesNotAdded[] = "Some Devices could not be added to your network.";
inline constexpr char kCancelledCaption[] = "Cancelled";
inline constexpr char kLocalCancelledText[] =
    "Setting the network name was cancelled before it reached your adapter, which keeps its "
    "network.";

inline constexpr std::uint32_t kAfterLocalSetMs = 1000;
inline constexpr std::uint32_t kAfterLocalSetAvMs = 2000;
inline constexpr std::uint32_t kAroundSaveMs = 2000;

// Runs the rescan the pages make after a setting (the Main page's RequestScan; may be empty).
using Rescan = std::function<void()>;

// "Local network set to 'NAME'", the name taken as an argument, never as a format.
std::string localNetworkSetText(std::string_view name);

// Gives the local adapter the key of `name` (already in the local record). Nonzero on success,
// after the data file is saved, the rescan has run and the confirmation is shown.
int setLocalNetwork(transport::ReceivePath& path, platform::NoticeOwner owner,
                    std::string_view name, const Rescan& rescan);

// One device that Set All Devices tried: a known device with a password, or the local
// adapter (last).
struct DeviceJoin {
  MacAddress mac{};
  std::string name;  // its known name; empty for a local adapter that is not listed
  bool joined = false;
  bool local = false;
};

struct AllDevicesResult {
  int total = 0;  // devices tried: those with a password, and the local adapter
  int done = 0;   // of those, set
  int lastJoined = 0;
  bool localSet = false;
  bool cancelled = false;           // stopped by the user before every device was tried
  std::vector<DeviceJoin> devices;  // each device tried, in the order tried
  bool allSet() const { return localSet && done == total; }
};

// What a cancelled Set All Devices left where: the devices that moved, the local adapter, and
// those still in their old network.
std::string allDevicesCancelledText(const AllDevicesResult& r, std::string_view name);

// Every known device with a password joins `name`, then the local adapter takes it. Devices
// without a password are not tried and do not count against the result.
AllDevicesResult setNetworkOnAllDevices(transport::ReceivePath& path, platform::NoticeOwner owner,
                                        std::string_view name, const Rescan& rescan);

// Asked once the name passed its checks; false cancels with nothing changed (may be empty).
using Confirm = std::function<bool()>;

// The Privacy page's order: check the name, ask `confirm`, put the name (and for HomePlug AV
// its key) into the local record, run the command, and put the old name and key back when it
// failed. 1 success, 0 failure or cancelled, -1 the name was refused (its box shown).
int changeNetworkName(transport::ReceivePath& path, std::string_view name, bool allDevices,
                      const Rescan& rescan, AllDevicesResult* all = nullptr,
                      const Confirm& confirm = {});

}  // namespace quorrel::hputilities
