// The About page's texts: the Readme, the web link and the AutoScan switch.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "ui/presentation/scan_control.h"

namespace quorrel::ui {

namespace about_text {
inline constexpr const char* kAboutTab = "About";
inline constexpr const char* kVersionLabel = "Version:";
inline constexpr const char* kLicenceCaption = "License Information:";
inline constexpr const char* kPreferencesGroup = "Preferences: ";
inline constexpr const char* kAutoScan = "AutoScan";
inline constexpr const char* kReadmeFile = "Readme.txt";
inline constexpr const char* kOemBigBitmap = "oemBig.bmp";
inline constexpr const char* kCertBitmap = "cert.bmp";
inline constexpr const char* kReadmeMissingText =
    "Readme.txt file is missing. The QRU may not have been properly installed. For further "
    "information on the packet capture library, see https://www.tcpdump.org/.";
// A Readme larger than this is shown up to here.
inline constexpr std::size_t kReadmeMaxBytes = 1u << 20;
}  // namespace about_text

// "Readme.txt" of `workingDirectory` as UTF-8 text, or the missing-file notice.
std::string readmeText(const std::string& workingDirectory);

// The address to open for the link's text: only an http or https address without blanks or
// control characters; anything else is not opened.
std::optional<std::string> webLinkTarget(std::string_view address);

// The AutoScan box was clicked: the preference flips for this run (the file is not written),
// the scan follows, and the Main page's status text for the new state is returned.
std::string toggleAutoscan(ScanControl& scan);

}  // namespace quorrel::ui
