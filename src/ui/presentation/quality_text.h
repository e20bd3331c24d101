// What the remote list shows for a rate: the quality texts of each display style, the list
// colours and the device images, as tables the widgets and the tests share.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "api/device_table.h"

namespace quorrel::ui {

inline constexpr int kQualityStyleCount = 7;  // 0..6; any other value shows as style 0
// U+258C LEFT HALF BLOCK in UTF-8: the bar of styles 0 and 4.
inline constexpr std::string_view kBarCharacter = "\xE2\x96\x8C";
// Style 0 stops growing here.
inline constexpr int kMaxBarLength = 89;

struct LevelStyle {
  int levels;                             // L
  std::array<std::string_view, 6> texts;  // entries 0..L
};

// Styles 1 to 5; style 4's entries 1..5 are bar lengths written out.
inline constexpr std::array<LevelStyle, 5> kLevelStyles{{
    {4, {"-offline -", "Fair", "Good", "Very Good", "Excellent", ""}},
    {2, {"-", "Bad", "Good", "", "", ""}},
    {5, {"-", "o", "oo", "ooo", "oooo", "ooooo"}},
    {5, {"-", "", "", "", "", ""}},
    {5, {"-", "0-20%", "20-40%", "40-60%", "60-80%", "80-100%"}},
}};
inline constexpr std::array<int, 5> kStyle4Bars{2, 5, 6, 8, 9};

// Full-scale rate (Mbit/s) of the level styles; 0 for a class they do not scale.
constexpr double levelFullScale(api::DeviceClass c) {
  switch (c) {
    case api::DeviceClass::Unknown:
    case api::DeviceClass::Usb:
      return 14;
    case api::DeviceClass::Turbo:
      return 85;
    case api::DeviceClass::AvFirstGeneration:
      return 200;
    case api::DeviceClass::AvSecondGeneration:
      return 500;
    default:
      return 0;
  }
}

struct QualityText {
  std::string text;   // UTF-8
  bool wide = false;  // the text needs more than 8-bit characters (styles 0 and 4)
};

// The Quality column for rate `rateMbps` of a device of class `c` in display style `style`.
QualityText qualityText(double rateMbps, api::DeviceClass c, int style);
// Every text style `style` shows for the rates of each device class up to its full scale,
// once each: what the Quality column must have room for.
std::vector<std::string> qualityTextsUpToFullScale(int style);

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

inline constexpr Rgb kLocalListColour{17, 0, 136};
inline constexpr std::array<Rgb, 4> kListColours{
    {{0, 128, 0}, {0, 0, 255}, {255, 0, 0}, {96, 96, 96}}};
// The remote list's text colour for the `listColour` preference: 1..4 from the table, 5 or
// more a colour reference 0x00BBGGRR, 0 or less black.
Rgb listTextColour(std::int32_t preference);

struct DeviceImage {
  int index;
  std::string_view file;
};
inline constexpr std::array<DeviceImage, 4> kDeviceImages{{
    {0, "oemDeviceIconLS.bmp"},
    {1, "oemDeviceIconHS.bmp"},
    {2, "oemDevice.bmp"},
    {3, "oemDevice_B200.bmp"},
}};
// The image of a remote row by its device class.
int deviceImageIndex(api::DeviceClass c);
// The local adapter's picture in the password and add dialogs ("oemDevice.bmp" without one).
std::string_view localAdapterPicture(bool present, api::DeviceClass c);

// The Rate column: "%.2f", or "?" for 0.
std::string rateText(double rateMbps);

}  // namespace quorrel::ui
