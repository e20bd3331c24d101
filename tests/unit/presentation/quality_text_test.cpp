// Quality texts at the level boundaries and past full scale, colours and device images.
#include "ui/presentation/quality_text.h"

#include <gtest/gtest.h>

#include <limits>
#include <tuple>

namespace quorrel::ui {
namespace {

using C = api::DeviceClass;

std::size_t bars(double rate, C c, int style) {
  const std::string s = qualityText(rate, c, style).text;
  EXPECT_EQ(s.size() % kBarCharacter.size(), 0u);
  return s.size() / kBarCharacter.size();
}

// {rate, style, text} per class; past full scale the levels wrap round, at or below zero the
// device is offline, class 0 scales like class 1 and unscaled classes stay at the first level.
using Level = std::tuple<double, int, const char*>;
void expectLevels(C c, std::initializer_list<Level> cases) {
  for (auto [rate, style, text] : cases)
    EXPECT_EQ(qualityText(rate, c, style).text, text) << rate << " " << style;
}

TEST(QualityText, LevelsWrapPastFullScaleBarsStylesOutOfRangeHostileRatesAndTheListLook) {
  expectLevels(C::AvFirstGeneration, {{10, 1, "Fair"},
                                      {50, 1, "Good"},
                                      {100, 1, "Very Good"},
                                      {150, 1, "Excellent"},
                                      {0, 1, "-offline -"},
                                      {-5, 1, "-offline -"},
                                      {250, 1, "Fair"},
                                      {0, 4, "-"}});
  expectLevels(C::AvSecondGeneration, {{20, 5, "0-20%"},
                                       {300, 5, "60-80%"},
                                       {500, 5, "80-100%"},
                                       {525, 5, "0-20%"},
                                       {2000, 5, "20-40%"}});
  expectLevels(C::Turbo, {{1, 2, "Bad"}, {60, 2, "Good"}, {42.5, 6, "50%"}, {0, 6, "0%"}});
  expectLevels(C::Unknown, {{14, 3, "ooooo"}});
  expectLevels(C::HomePlug1, {{50, 3, "o"}, {100, 6, "50%"}});  // percentages of 200
  expectLevels(static_cast<C>(77), {{50, 3, "o"}});
  EXPECT_EQ(listTextColour(-7), (Rgb{0, 0, 0}));
  EXPECT_EQ(listTextColour(2), (Rgb{0, 0, 255}));
  EXPECT_EQ(listTextColour(4), (Rgb{96, 96, 96}));
  EXPECT_EQ(listTextColour(0x00336699), (Rgb{0x99, 0x66, 0x33}));  // 0x00BBGGRR
  EXPECT_EQ(deviceImageIndex(static_cast<C>(1234)), 0);
  EXPECT_EQ(localAdapterPicture(false, C::Turbo), "oemDevice.bmp");
  EXPECT_EQ(localAdapterPicture(true, C::AvSecondGeneration), "oemDevice_B200.bmp");
  EXPECT_EQ(localAdapterPicture(true, C::Usb), "oemDeviceIconLS.bmp");
  EXPECT_EQ(rateText(0), "?");

  // Bars, styles out of range and hostile rates.
  EXPECT_TRUE(qualityText(35, C::AvFirstGeneration, 0).wide);
  EXPECT_FALSE(qualityText(50, C::HomePlug1, 3).wide);
  EXPECT_EQ(bars(35, C::AvFirstGeneration, 0), 4u);  // n = 3.5
  EXPECT_EQ(bars(30, C::AvFirstGeneration, 0), 3u);
  EXPECT_EQ(bars(1000, C::AvFirstGeneration, 0), 89u);
  EXPECT_EQ(bars(10, C::Usb, 0), 0u);  // (10 - 15) / 2 + 1 < 0
  EXPECT_EQ(bars(100, C::AvSecondGeneration, 0), 4u);
  EXPECT_EQ(bars(1, C::AvFirstGeneration, 4), 2u);
  EXPECT_EQ(bars(190, C::AvFirstGeneration, 4), 9u);
  const std::string style0 = qualityText(35, C::AvFirstGeneration, 0).text;
  EXPECT_EQ(qualityText(35, C::AvFirstGeneration, 99).text, style0);
  EXPECT_EQ(qualityText(35, C::AvFirstGeneration, -3).text, style0);
  for (int style = 0; style < kQualityStyleCount; ++style)
    for (double r : {-5.0, std::numeric_limits<double>::quiet_NaN(),
                     std::numeric_limits<double>::infinity(), 1e300})
      EXPECT_LE(qualityText(r, C::Usb, style).text.size(), kMaxBarLength * kBarCharacter.size())
          << style << " " << r;
}

}  // namespace
}  // namespace quorrel::ui
