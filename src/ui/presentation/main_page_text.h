// The Main page's fixed texts and the lines it formats from the device table.
#pragma once

#include <string>
#include <string_view>

#include "api/device_table.h"

namespace quorrel::ui {

namespace main_text {
inline constexpr const char* kLocalDevicesLabel = "Local Device(s) on your computer:";
inline constexpr const char* kConnectionLabel = "Replace";
inline constexpr const char* kConnect = "Connect";
inline constexpr const char* kUpgradeFirmware = "Upgrade Firmware";
inline constexpr const char* kCountLabel = "Powerline Devices:";
inline constexpr const char* kNetworkTypeLabel = "Network Type: Private";
inline constexpr const char* kStatusLabel = "status";
inline constexpr const char* kRename = "Rename";
inline constexpr const char* kEnterPassword = "Enter Password";
inline constexpr const char* kAdd = "Add";
inline constexpr const char* kScan = "Scan";
inline constexpr const char* kMainTab = "Main";
inline constexpr const char* kClose = "Close";

inline constexpr const char* kLocalTypeHeader = "Device Type";
inline constexpr const char* kLocalMacHeader = "MAC Address";
inline constexpr int kLocalTypeWidth = 145;

inline constexpr const char* kNotDetectedText = api::kAdapterNotDetectedText;
inline constexpr const char* kNotDetected = "HomePlug Adapter NOT DETECTED";
inline constexpr const char* kProblemCaption = "Problem Occurred";
inline constexpr const char* kUnknownErrorText = "Unknown Error occurred.";
inline constexpr const char* kScanNetworkCaption = "SCAN NETWORK";
inline constexpr const char* kAnotherNameText = "Please enter another name.";
inline constexpr const char* kAttentionCaption = "Attention!";
inline constexpr const char* kAlreadyRunningFormat =
    "%s is already running.\nOnly one copy can run at a time.";

inline constexpr const char* kAdding = "Adding device. Please Wait...";
inline constexpr const char* kAutoscanOn = " Autoscan On ";
inline constexpr const char* kAutoscanOff = " Autoscan Off ";
inline constexpr const char* kScanning = " Scanning...";
inline constexpr const char* kConnectedTo = "Connected to";
}  // namespace main_text

// The status label for scan phase `phase`.
std::string statusText(int phase, bool addingDevice, bool autoscanEnabled);
// "Network Type: Public" for the family's default name exactly, else "... Private".
std::string networkTypeText(std::string_view networkName, bool avLocal);
// "%d Powerline Device detected:" for one, "... Devices detected:" for any other count.
std::string countText(int remoteCount);
// "Connected to <class label>" (below 80 characters), or the not-detected line.
std::string connectedText(bool localPresent, api::DeviceClass localClass);
// The second-instance message for `productName`.
std::string alreadyRunningText(std::string_view productName);

// Progress lines of the password and add dialogs: 0 restarts, anything else advances.
class ProgressLine {
 public:
  enum class Kind { Password, Add };
  explicit ProgressLine(Kind kind) : kind_(kind) {}
  std::string_view step(int flag);
  std::string_view text() const;

 private:
  Kind kind_;
  int step_ = 0;
};

}  // namespace quorrel::ui
