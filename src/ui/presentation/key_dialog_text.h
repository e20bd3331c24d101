// The password and add-device dialogs' texts, and the picture of the local adapter they show.
#pragma once

#include "api/device_table.h"

namespace quorrel::ui::key_dialog_text {

inline constexpr const char* kPasswordTitle = "Set Device Password";
inline constexpr const char* kAddTitle = "Add Device to Network";
inline constexpr const char* kDeviceLabel = "Device:";
inline constexpr const char* kPasswordLabel = "Password:";
inline constexpr const char* kNameLabel = "Device Name:";
inline constexpr const char* kHelp =
    "The Password typically appears as a number and letter code, in groups of four, separated "
    "by dashes.\n\n(ie PL3D-9QVE-M2XA-T6NC)\nIt is found on the device or packaging.";
inline constexpr const char* kSelectFirst = "Please select a device first by clicking on it.";
inline constexpr const char* kAttention = "Attention!";
inline constexpr const char* kOldFirmwarePassword =
    "Please upgrade the Device's FirmWare to 1.8 and then try to Enter Password.\nThe present "
    "device has older FirmWare version.";
inline constexpr const char* kOldFirmwareAdd =
    "Please upgrade the Device's FirmWare to 1.8 and then try to add the device.\nThe present "
    "device has older FirmWare version.";
inline constexpr const char* kDefaultName = "Name";
inline constexpr const char* kPlaceholder = "TYPE-CODE-INTO-THIS";
inline constexpr const char* kAnotherName = "Please enter another name.";
inline constexpr const char* kNameTooLong = "Device Name should be less than 31 characters";
inline constexpr const char* kEnterPassword = "Please enter a Password.";
inline constexpr const char* kAlreadyAdded = "Device is already added in the network";
inline constexpr int kFieldLimit = 79;
inline constexpr int kPasswordFieldLimit = 25;
inline constexpr int kMaxNameLength = 31;
inline constexpr unsigned kAfterRestoreMs = 1000;

// The picture of the local adapter: by its class, the first-generation one when none.
constexpr const char* localDevicePicture(bool present, api::DeviceClass c) {
  if (!present) return "oemDevice.bmp";
  switch (c) {
    case api::DeviceClass::AvFirstGeneration:
      return "oemDevice.bmp";
    case api::DeviceClass::AvSecondGeneration:
      return "oemDevice_B200.bmp";
    case api::DeviceClass::Turbo:
      return "oemDeviceIconHS.bmp";
    default:
      return "oemDeviceIconLS.bmp";
  }
}

}  // namespace quorrel::ui::key_dialog_text
