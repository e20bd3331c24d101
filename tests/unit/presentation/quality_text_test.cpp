// Quality texts at the level boundaries and past full scale, colours and device images.
#include "ui/presentation/quality_text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace quorrel::ui {
namespace {

using C = api::DeviceClass;

std::size_t bars(const std::string& s) {
  EXPECT_EQ(s.size() % kBarCharacter.size(), 0u);
  return s.size() / kBarCharacter.size();
}

TEST(QualityText, LevelStylesStepAndWrapPastFullScale) {
  EXPECT_EQ(qualityText(10, C::AvFirstGeneration, 1).text, "Fair");
  EXPECT_EQ(qualityText(50, C::AvFirstGeneration, 1).text, "Good");
  EXPECT_EQ(qualityText(100, C::AvFirstGeneration, 1).text, "Very Good");
  EXPECT_EQ(qualityText(150, C::AvFirstGeneration, 1).text, "Excellent");
  EXPECT_EQ(qualityText(0, C::AvFirstGeneration, 1).text, "-offline -");
  EXPECT_EQ(qualityText(250, C::AvFirstGeneration, 1).text, "Fair");  // wraps round

  EXPECT_EQ(qualityText(20, C::AvSecondGeneration, 5).text, "0-20%");
  EXPECT_EQ(qualityText(300, C::AvSecondGeneration, 5).text, "60-80%");
  EXPECT_EQ(qualityText(500, C::AvSecondGeneration, 5).text, "80-100%");
  EXPECT_EQ(qualityText(525, C::AvSecondGeneration, 5).text, "0-20%");
  EXPECT_EQ(qualityText(2000, C::AvSecondGeneration, 5).text, "20-40%");

  EXPECT_EQ(qualityText(1, C::Turbo, 2).text, "Bad");
  EXPECT_EQ(qualityText(60, C::Turbo, 2).text, "Good");
  EXPECT_EQ(qualityText(14, C::Unknown, 3).text, "ooooo");  // class 0 scales like class 1
  // A class the level styles do not scale stays at the first level above zero.
  EXPECT_EQ(qualityText(50, C::HomePlug1, 3).text, "o");
  EXPECT_EQ(qualityText(50, static_cast<C>(77), 3).text, "o");
  EXPECT_FALSE(qualityText(50, C::HomePlug1, 3).wide);
}

TEST(QualityText, BarsAndPercentages) {
  EXPECT_EQ(qualityText(42.5, C::Turbo, 6).text, "50%");
  EXPECT_EQ(qualityText(0, C::Turbo, 6).text, "0%");
  EXPECT_EQ(qualityText(100, C::HomePlug1, 6).text, "50%");  // every other class: 200

  const QualityText q = qualityText(35, C::AvFirstGeneration, 0);
  EXPECT_TRUE(q.wide);
  EXPECT_EQ(bars(q.text), 4u);  // n = 3.5
  EXPECT_EQ(bars(qualityText(30, C::AvFirstGeneration, 0).text), 3u);
  EXPECT_EQ(bars(qualityText(0, C::AvFirstGeneration, 0).text), 0u);
  EXPECT_EQ(bars(qualityText(1000, C::AvFirstGeneration, 0).text), 89u);
  EXPECT_EQ(bars(qualityText(10, C::Usb, 0).text), 0u);  // (10 - 15) / 2 + 1 < 0
  EXPECT_EQ(bars(qualityText(100, C::AvSecondGeneration, 0).text), 4u);

  EXPECT_EQ(bars(qualityText(1, C::AvFirstGeneration, 4).text), 2u);
  EXPECT_EQ(bars(qualityText(10, C::AvFirstGeneration, 4).text), 5u);
  EXPECT_EQ(bars(qualityText(150, C::AvFirstGeneration, 4).text), 8u);
  EXPECT_EQ(bars(qualityText(190, C::AvFirstGeneration, 4).text), 9u);
  EXPECT_EQ(qualityText(0, C::AvFirstGeneration, 4).text, "-");
  // A style outside 0..6 shows as style 0.
  EXPECT_EQ(qualityText(35, C::AvFirstGeneration, 99).text, q.text);
  EXPECT_EQ(qualityText(35, C::AvFirstGeneration, -3).text, q.text);
}

TEST(QualityText, HostileRatesStayBounded) {
  for (int style = 0; style < kQualityStyleCount; ++style) {
    for (double r : {-5.0, std::numeric_limits<double>::quiet_NaN(),
                     std::numeric_limits<double>::infinity(), 1e300}) {
      const QualityText q = qualityText(r, C::Usb, style);
      EXPECT_LE(q.text.size(), kMaxBarLength * kBarCharacter.size()) << style << " " << r;
    }
  }
  EXPECT_EQ(qualityText(-5, C::AvFirstGeneration, 1).text, "-offline -");
}

TEST(ListLook, ColoursImagesAndRates) {
  EXPECT_EQ(listTextColour(0), (Rgb{0, 0, 0}));
  EXPECT_EQ(listTextColour(-7), (Rgb{0, 0, 0}));
  EXPECT_EQ(listTextColour(1), (Rgb{0, 128, 0}));
  EXPECT_EQ(listTextColour(2), (Rgb{0, 0, 255}));
  EXPECT_EQ(listTextColour(3), (Rgb{255, 0, 0}));
  EXPECT_EQ(listTextColour(4), (Rgb{96, 96, 96}));
  EXPECT_EQ(listTextColour(0x00336699), (Rgb{0x99, 0x66, 0x33}));  // 0x00BBGGRR
  EXPECT_EQ(listTextColour(5), (Rgb{5, 0, 0}));

  EXPECT_EQ(deviceImageIndex(C::Turbo), 1);
  EXPECT_EQ(deviceImageIndex(C::AvFirstGeneration), 2);
  EXPECT_EQ(deviceImageIndex(C::AvSecondGeneration), 3);
  EXPECT_EQ(deviceImageIndex(C::HomePlug1), 0);
  EXPECT_EQ(deviceImageIndex(static_cast<C>(1234)), 0);
  EXPECT_EQ(localAdapterPicture(false, C::Turbo), "oemDevice.bmp");
  EXPECT_EQ(localAdapterPicture(true, C::AvSecondGeneration), "oemDevice_B200.bmp");
  EXPECT_EQ(localAdapterPicture(true, C::Usb), "oemDeviceIconLS.bmp");

  EXPECT_EQ(rateText(0), "?");
  EXPECT_EQ(rateText(85), "85.00");
}

}  // namespace
}  // namespace quorrel::ui
