// Loads of a whole image or of one region from a caller's copy with its checksum.
#include <algorithm>

#include "paramblock/parameter_block.h"
#include "paramblock/region_map.h"
#include "platform/checksum32.h"

namespace quorrel::paramblock {

using R = ParameterBlockResult;

namespace {

// The copy's words before the first partial one.
std::uint32_t checksumOfCopy(ByteSpan copy, std::size_t words) {
  return checksum32(copy.first(words * 4));
}

// A whole image passes when its own header and every region's rule hold.
bool wholeImagePasses(ByteSpan copy) {
  if (readU8(copy, kVersionOffset) != kParameterBlockVersion.first ||
      readU8(copy, kVersionOffset + 1) != kParameterBlockVersion.second ||
      readLe16(copy, kLengthOffset) != kParameterBlockLength)
    return false;
  return std::all_of(kParameterRegions.begin(), kParameterRegions.end(),
                     [&](const ParameterRegion& region) {
                       ImageWindow w(copy, 0);
                       return checkRegion(region, w);
                     });
}

}  // namespace

R ParameterBlock::loadRegion(const ParameterRegion& region, ByteSpan copy, std::uint32_t checksum) {
  const R access = checkConfigAccess(true);
  if (access != R::kSuccess) return access;
  if (region.usedBytes == 0 || copy.size() != region.usedBytes ||
      region.offset + region.usedBytes > kParameterBlockLength)
    return R::kInvalidValue;
  ImageWindow w(copy, region.offset);
  if (!checkRegion(region, w)) return R::kInvalidValue;
  if (checksumOfCopy(copy, region.checksumWords()) != checksum) return R::kChecksumMismatch;
  std::copy(copy.begin(), copy.end(), image_.begin() + region.offset);
  return validateImage();
}

R ParameterBlock::loadImage(ByteSpan copy, std::uint32_t checksum) {
  const R access = checkConfigAccess(true);
  if (access != R::kSuccess) return access;
  if (copy.size() != kParameterBlockLength || !wholeImagePasses(copy)) return R::kInvalidValue;
  if (checksumOfCopy(copy, kParameterBlockLength / 4) != checksum) return R::kChecksumMismatch;
  std::copy(copy.begin(), copy.end(), image_.begin());
  return validateImage();
}

}  // namespace quorrel::paramblock
