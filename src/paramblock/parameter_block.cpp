// Parameter block view: validation, checksum renewal and the two field operations.
#include "paramblock/parameter_block.h"

#include <algorithm>

#include "paramblock/region_map.h"
#include "platform/checksum32.h"

namespace quorrel::paramblock {

using R = ParameterBlockResult;

BlockVersion ParameterBlock::version() const {
  return {readU8(image_, kVersionOffset), readU8(image_, kVersionOffset + 1)};
}

R ParameterBlock::attachImage(MutableByteSpan image) {
  image_ = image;
  return validateImage();
}

R ParameterBlock::validateImage() {
  if (image_.data() == nullptr) return R::kNoImage;
  validated_ = false;
  if (image_.size() < kHeaderLength) return R::kBadLength;
  if (version() != kParameterBlockVersion) return R::kWrongVersion;
  if (readLe16(image_, kLengthOffset) != kParameterBlockLength ||
      image_.size() < kParameterBlockLength)
    return R::kBadLength;

  const ByteSpan bytes = ByteSpan(image_).first(kParameterBlockLength);
  for (const ParameterRegion& region : kParameterRegions) {
    ImageWindow window(bytes, 0);
    if (!checkRegion(region, window)) return R::kRegionInvalid;
  }
  validated_ = true;
  return R::kSuccess;
}

R ParameterBlock::updateChecksum(MutableByteSpan image) {
  const R validation = attachImage(image);
  if (toInt(validation) >= toInt(R::kNotValidated)) return validation;

  writeLe32(image_, kChecksumOffset, 0);
  const std::size_t length = readLe16(image_, kLengthOffset);
  if (length > kMaximumChecksumLength || length > image_.size()) return R::kBadLength;
  writeLe32(image_, kChecksumOffset, checksum32(ByteSpan(image_).first(length)));
  return validation;
}

R ParameterBlock::checkFieldAccess(std::size_t bytes, BlockVersion oldest) const {
  if (image_.data() == nullptr) return R::kNoImage;
  if (image_.size() < bytes) return R::kBadLength;
  if (version() < oldest) return R::kVersionTooOld;
  return R::kSuccess;
}

R ParameterBlock::checkConfigAccess(bool allowUnvalidated) const {
  if (image_.data() == nullptr) return R::kNoImage;
  if (image_.size() < kHeaderLength || version() != kParameterBlockVersion)
    return R::kVersionTooOld;
  if (readLe16(image_, kLengthOffset) != kParameterBlockLength ||
      image_.size() < kParameterBlockLength)
    return R::kBadLength;
  if (!validated_ && !allowUnvalidated) return R::kNotValidated;
  return R::kSuccess;
}

R ParameterBlock::checkConfigField(const Field& f) const {
  const R access = checkConfigAccess();
  if (access != R::kSuccess) return access;
  const ParameterRegion* region = regionAt(f.offset);
  if (region == nullptr || region->offset == kParameterRegions.front().offset ||
      f.end() > region->offset + region->size)
    return R::kInvalidValue;
  if (f.enable != nullptr && readU8(image_, f.enable->offset) != 1) return R::kRegionDisabled;
  return R::kSuccess;
}

std::string_view describe(ParameterBlockResult r) {
  switch (r) {
    case R::kSuccess:
      return "success";
    case R::kRegionInvalid:
      return "a configuration region failed its checks";
    case R::kWrongVersion:
      return "the version is not 4.4, so its layout was not checked";
    case R::kNotValidated:
      return "the image has not been validated";
    case R::kNoImage:
      return "no image";
    case R::kVersionTooOld:
      return "the image's version does not carry this field";
    case R::kBadLength:
      return "the length field does not match the image";
    case R::kInvalidValue:
      return "the value is out of its range";
    case R::kChecksumMismatch:
      return "the checksum does not match";
    case R::kListFull:
      return "the list is full";
    case R::kRegionDisabled:
      return "the region is not enabled";
    case R::kIndexBeyondCount:
      return "the index lies beyond the list's count";
  }
  return "unknown result";
}

bool isRefusedDeviceMac(const MacAddress& mac) {
  return isGroupMac(mac) || std::find(kReservedMacAddresses.begin(), kReservedMacAddresses.end(),
                                      mac) != kReservedMacAddresses.end();
}

R ParameterBlock::setMacAddress(const MacAddress& mac) {
  const R access = checkFieldAccess(kMacAddressOffset + mac.size());
  if (access != R::kSuccess) return access;
  if (isRefusedDeviceMac(mac)) return R::kInvalidValue;
  writeMac(image_, kMacAddressOffset, mac);
  return R::kSuccess;
}

R ParameterBlock::getNetworkMembershipKey(std::span<std::uint8_t, 16> key) const {
  const R access = checkFieldAccess(kNetworkMembershipKeyOffset + kNetworkMembershipKeyLength);
  if (access != R::kSuccess) return access;
  std::copy_n(image_.begin() + kNetworkMembershipKeyOffset, kNetworkMembershipKeyLength,
              key.begin());
  return R::kSuccess;
}

}  // namespace quorrel::paramblock
