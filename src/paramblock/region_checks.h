// The configuration regions of a parameter block and the rule each must satisfy.
#pragma once

#include <array>
#include <cstddef>

#include "paramblock/image_window.h"

namespace quorrel::paramblock {

using RegionCheck = bool (*)(ImageWindow&);

// One configuration region: its image offset, its size up to the next region, and its rule.
struct ParameterRegion {
  std::size_t offset;
  std::size_t size;
  RegionCheck check;
};

// Region rules; true when the window's bytes satisfy them. A rule that reads outside the window
// leaves it faulted: checkRegion counts that as a failure.
bool checkIdentityRegion(ImageWindow& w);     // 12
bool checkAddressListRegion(ImageWindow& w);  // 268
bool checkNothing(ImageWindow& w);            // 396, 492, 8056
bool checkClassifierRegion(ImageWindow& w);   // 524
bool checkRegion2572(ImageWindow& w);
bool checkRegion7692(ImageWindow& w);
bool checkRegion7820(ImageWindow& w);
bool checkRegion7864(ImageWindow& w);
bool checkRegion7992(ImageWindow& w);
bool checkRegion8072(ImageWindow& w);
bool checkKeyModeRegion(ImageWindow& w);  // 8136
bool checkRegion8200(ImageWindow& w);
bool checkRegion10248(ImageWindow& w);
bool checkRegion10888(ImageWindow& w);
bool checkSerialRegion(ImageWindow& w);  // 11400
bool checkTextRegion(ImageWindow& w);    // 11464

// A 28-byte classifier entry at image offset `at`: class number and one rule.
bool checkClassifierEntry(ImageWindow& w, std::size_t at);
// A 24-byte classifier rule at `at`.
bool checkClassifierRule(ImageWindow& w, std::size_t at);
// A rule of type 226, or of type 227 on the 16-bit value 0xE188, belongs to class 5 only.
bool isSpecialRule(ImageWindow& w, std::size_t at);
// A 100-byte rule set at `at`.
bool checkRuleSet(ImageWindow& w, std::size_t at);

// The eighteen regions in image order; together with the 12-byte header they fill the image.
inline constexpr std::array<ParameterRegion, 18> kParameterRegions{{
    {12, 256, checkIdentityRegion},
    {268, 128, checkAddressListRegion},
    {396, 96, checkNothing},
    {492, 32, checkNothing},
    {524, 2048, checkClassifierRegion},
    {2572, 5120, checkRegion2572},
    {7692, 128, checkRegion7692},
    {7820, 44, checkRegion7820},
    {7864, 128, checkRegion7864},
    {7992, 64, checkRegion7992},
    {8056, 16, checkNothing},
    {8072, 64, checkRegion8072},
    {8136, 64, checkKeyModeRegion},
    {8200, 2048, checkRegion8200},
    {10248, 640, checkRegion10248},
    {10888, 512, checkRegion10888},
    {11400, 64, checkSerialRegion},
    {11464, 4096, checkTextRegion},
}};

// Runs the region's rule over the window; a read outside the window fails the region.
bool checkRegion(const ParameterRegion& region, ImageWindow& w);

}  // namespace quorrel::paramblock
