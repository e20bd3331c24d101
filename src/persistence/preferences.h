// The reseller-adaptable settings read from "OEMPrefs.dat" at start-up.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "api/fixed_text.h"
#include "platform/bytes.h"

namespace quorrel::persistence {

inline constexpr const char* kPreferencesFile = "OEMPrefs.dat";
inline constexpr std::size_t kPreferencesFileSize = 289;
inline constexpr const char* kDefaultProductName = "Quorrel Utility";
inline constexpr const char* kDefaultWebAddress = "https://www.velmora.example/";
inline constexpr const char* kDefaultNoticeText = "Copyright (C) Velmora. All rights reserved.";
// The scan takes the interval as a signed 16-bit count of seconds.
inline constexpr std::int32_t kMinScanInterval = 1;
inline constexpr std::int32_t kMaxScanInterval = 32767;

// Offsets in "OEMPrefs.dat": no header, little-endian, packed in this order.
namespace prefs_image {
inline constexpr std::size_t kScanInterval = 0;  // i32
inline constexpr std::size_t kQualityStyle = 4;  // i16
inline constexpr std::size_t kListColour = 6;    // i32
inline constexpr std::size_t kIconSize = 10;     // i16 from here to kShowUpgradeButton
inline constexpr std::size_t kDiagnosticsLevel = 12;
inline constexpr std::size_t kReservedA = 14;
inline constexpr std::size_t kAutoscanEnabled = 16;
inline constexpr std::size_t kReservedB = 18;
inline constexpr std::size_t kReservedC = 20;
inline constexpr std::size_t kReservedD = 22;
inline constexpr std::size_t kReservedE = 24;
inline constexpr std::size_t kShowRateColumn = 26;
inline constexpr std::size_t kShowQualityColumn = 28;
inline constexpr std::size_t kTwelveHourTime = 30;
inline constexpr std::size_t kShowUpgradeButton = 32;
inline constexpr std::size_t kWebAddress = 34, kWebAddressSize = 64;
inline constexpr std::size_t kProductName = 98, kProductNameSize = 64;
inline constexpr std::size_t kOemOui = 162, kOemOuiSize = 3;
inline constexpr std::size_t kOemVendorName = 165, kOemVendorNameSize = 24;
inline constexpr std::size_t kNoticeText = 189, kNoticeTextSize = 100;
static_assert(kNoticeText + kNoticeTextSize == kPreferencesFileSize);
}  // namespace prefs_image

struct Preferences {
  std::int32_t scanInterval = 30;  // seconds, 1..32767
  std::int16_t qualityStyle = 0;
  std::int32_t listColour = 0;
  std::int16_t iconSize = 24;
  std::int16_t diagnosticsLevel = 1;
  std::int16_t reservedA = 1;
  std::int16_t autoscanEnabled = 1;
  std::int16_t reservedB = 10;
  std::int16_t reservedC = 310;
  std::int16_t reservedD = 80;
  std::int16_t reservedE = 25;
  std::int16_t showRateColumn = 1;
  std::int16_t showQualityColumn = 1;
  std::int16_t twelveHourTime = 1;
  std::int16_t showUpgradeButton = 0;
  api::FixedText<prefs_image::kWebAddressSize> webAddress{kDefaultWebAddress};
  api::FixedText<prefs_image::kProductNameSize> productName{kDefaultProductName};
  std::array<std::uint8_t, prefs_image::kOemOuiSize> oemOui{};
  api::FixedText<prefs_image::kOemVendorNameSize> oemVendorName;
  api::FixedText<prefs_image::kNoticeTextSize> noticeText{kDefaultNoticeText};

  bool operator==(const Preferences&) const = default;
};

// Decodes the file's bytes: every field the bytes hold whole is taken, the rest are zero, bytes
// past the record are ignored. Then the interval is held to 1..32767 and an empty product name
// becomes "Quorrel Utility", since it names the data file.
Preferences decodePreferences(ByteSpan bytes);

enum class PreferencesSource { File, Defaults };

// Fills the process-wide preferences from "OEMPrefs.dat" in the resource folder, or with the
// built-in defaults when that file is missing or cannot be read; never creates or writes it.
// Also puts the remote list's sort state back to its start value.
PreferencesSource LoadPreferences();
PreferencesSource loadPreferencesFrom(const std::string& path);
// The same from the file's bytes already read.
void LoadPreferences(ByteSpan bytes);

Preferences& preferences();
void resetPreferences();

// `productName` followed by ".data", with any '/' made harmless.
std::string dataFileName();

}  // namespace quorrel::persistence
