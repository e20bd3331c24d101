// The Privacy page's texts.
#pragma once

namespace quorrel::ui::privacy_text {

inline constexpr const char* kPrivacyTab = "Privacy";
inline constexpr const char* kIntro =
    "Use this screen to create a Private Network that provides you with extra security.";
inline constexpr const char* kNameGroup = "Private Network Name";
inline constexpr const char* kOr = "OR";
inline constexpr const char* kUseDefault = "Use Default (Public Network)";
inline constexpr const char* kWarning =
    "Do not share the network name with others you do not want to be part of this network.";
inline constexpr const char* kHint =
    "After setting the name above, choose how it will be applied below:";
inline constexpr const char* kPlaceGroup = "Place On This Network";
inline constexpr const char* kLocalText =
    "Only the device attached to this computer (the Local Device).\n(Isolates this computer from "
    "others):";
inline constexpr const char* kSetLocal = "Set Local Device Only";
inline constexpr const char* kAllText =
    "ALL devices whose Password has been entered.\n(They communicate together but are isolated "
    "from devices with a different network name)";
inline constexpr const char* kSetAll = "Set All Devices";
inline constexpr const char* kConfirmAll =
    "Setting the network name on the devices whose password has been entered\nThis may take few "
    "seconds....Click on 'Ok' button.";
inline constexpr const char* kConfirmAllCaption = "Network Name Setting ";
inline constexpr int kNameFieldLimit = 79;
inline constexpr int kPageWidthDlu = 378;
inline constexpr int kPageHeightDlu = 215;

}  // namespace quorrel::ui::privacy_text
