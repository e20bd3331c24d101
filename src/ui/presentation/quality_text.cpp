// Quality texts, list colours and device images.
#include "ui/presentation/quality_text.h"

#include "api/rate_stats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace quorrel::ui {

namespace {

std::string bar(int length) {
  std::string s;
  for (int k = 0; k < length; ++k) s += kBarCharacter;
  return s;
}

// A rate is never negative; a damaged data file could still hold anything.
double saneRate(double r) {
  if (!std::isfinite(r) || r < 0) return 0;
  return r > api::kMaxRateMbps ? api::kMaxRateMbps : r;
}

int levelIndex(double r, api::DeviceClass c, int levels) {
  const double full = levelFullScale(c);
  int i = 0;
  if (full > 0) i = static_cast<int>((full / levels + r) * (levels - 1) / full);
  if (r > 0) i = (i % levels) + 1;
  return i;
}

double percentFullScale(api::DeviceClass c) {
  switch (c) {
    case api::DeviceClass::Usb:
      return 14;
    case api::DeviceClass::Turbo:
      return 85;
    case api::DeviceClass::AvSecondGeneration:
      return 500;
    default:
      return 200;
  }
}

int barLength(double r, api::DeviceClass c) {
  double n = 0;
  if (c == api::DeviceClass::Usb)
    n = (r - 15) / 2 + 1;
  else if (c == api::DeviceClass::AvSecondGeneration)
    n = r / 25;
  else
    n = r / 10;
  if (n >= 90) n = kMaxBarLength;
  return n <= 0 ? 0 : static_cast<int>(std::ceil(n));
}

}  // namespace

QualityText qualityText(double rateMbps, api::DeviceClass c, int style) {
  const double r = saneRate(rateMbps);
  if (style >= 1 && style <= 5) {
    const LevelStyle& s = kLevelStyles[static_cast<std::size_t>(style - 1)];
    const int i = levelIndex(r, c, s.levels);
    if (style == 4) return {i == 0 ? std::string(s.texts[0]) : bar(kStyle4Bars[i - 1]), true};
    return {std::string(s.texts[static_cast<std::size_t>(i)]), false};
  }
  if (style == 6) {
    char text[24];
    std::snprintf(text, sizeof text, "%d%s", static_cast<int>(r / percentFullScale(c) * 100), "%");
    return {text, false};
  }
  return {bar(barLength(r, c)), true};
}

std::vector<std::string> qualityTextsUpToFullScale(int style) {
  std::vector<std::string> texts;
  for (const api::DeviceClass c :
       {api::DeviceClass::Usb, api::DeviceClass::Turbo, api::DeviceClass::AvFirstGeneration,
        api::DeviceClass::AvSecondGeneration}) {
    for (int r = 0; r <= static_cast<int>(levelFullScale(c)); ++r) {
      std::string t = qualityText(r, c, style).text;
      if (std::find(texts.begin(), texts.end(), t) == texts.end()) texts.push_back(std::move(t));
    }
  }
  return texts;
}

Rgb listTextColour(std::int32_t preference) {
  if (preference <= 0) return {};
  if (preference <= 4) return kListColours[static_cast<std::size_t>(preference - 1)];
  const auto v = static_cast<std::uint32_t>(preference);
  return {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
          static_cast<std::uint8_t>(v >> 16)};
}

int deviceImageIndex(api::DeviceClass c) {
  switch (c) {
    case api::DeviceClass::Turbo:
      return 1;
    case api::DeviceClass::AvFirstGeneration:
      return 2;
    case api::DeviceClass::AvSecondGeneration:
      return 3;
    default:
      return 0;
  }
}

std::string_view localAdapterPicture(bool present, api::DeviceClass c) {
  if (!present) return kDeviceImages[2].file;
  return kDeviceImages[static_cast<std::size_t>(deviceImageIndex(c))].file;
}

std::string rateText(double rateMbps) {
  if (rateMbps == 0) return "?";
  char text[48];
  std::snprintf(text, sizeof text, "%.2f", rateMbps);
  return text;
}

}  // namespace quorrel::ui
