// The fixed texts of the upgrade flow that the desktop dialogs and the console share.
#pragma once

namespace quorrel::upgrade {

inline constexpr char kNoFirmwareTypeText[] = "Can not retrive firmware type of local device";
inline constexpr char kNoUpgradeForDeviceText[] =
    "Application does not have firmware upgrade capabilty for this type of devices";
inline constexpr char kSelectFilesText[] = "Please select a PIB and Firmware files\n";
inline constexpr char kConfirmAvText[] =
    "Local Device is HomePlug AV Device\nMake sure you have selected correct files to upgrade "
    "firmware";
inline constexpr char kConfirmCaption[] = "Local Device Type";
inline constexpr char kUpgradedText[] =
    " Device Upgraded\n Device will now reboot, do not remove power. ";
inline constexpr char kCancelQuestionText[] =
    "Cancelling Upgrade process may destroy the device. Click Ok to continue.";
inline constexpr char kCancelCaption[] = "Warning....";
// How long the adapter takes to restart after it confirmed the last request.
inline constexpr unsigned kRestartWaitMs = 10000;

}  // namespace quorrel::upgrade
