// What the box shown while an operation runs on the wire says, one text per operation.
#pragma once

namespace quorrel::ui::operation_text {

inline constexpr const char* kTestingPassword = "Trying the device password…";
inline constexpr const char* kAddingDevice = "Adding the device to your network…";
inline constexpr const char* kSettingLocalNetwork = "Setting the network name on your adapter…";
inline constexpr const char* kSettingAllDevices =
    "Setting the network name on every device with a password…";
inline constexpr const char* kGatheringMap = "Asking every adapter whom it reaches…";
inline constexpr const char* kReadingFirmware = "Reading the adapter's firmware…";

}  // namespace quorrel::ui::operation_text
