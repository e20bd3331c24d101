// The identity accessors: keys, names, the address switch and the network identifier.
#include <algorithm>

#include "crypto/keys.h"
#include "paramblock/parameter_block.h"

namespace quorrel::paramblock {

using R = ParameterBlockResult;
using namespace field;

namespace {

// Room for the terminator, and no zero byte that would cut the name short.
bool fitsNameField(const Field& f, std::string_view text) {
  return text.size() < f.size && text.find('\0') == std::string_view::npos;
}

// The identifier is the derived digest's first 7 bytes with the upper half of the seventh
// moved down and the security level put above it.
NetworkIdentifier networkIdentifierFor(const NetworkMembershipKey& key, int level) {
  const crypto::Sha256Digest digest = crypto::deriveNID(key);
  NetworkIdentifier nid{};
  std::copy_n(digest.begin(), nid.size(), nid.begin());
  nid[6] = static_cast<std::uint8_t>((nid[6] >> 4) | (level << 4));
  return nid;
}

}  // namespace

R ParameterBlock::writeIdentityText(const Field& f, std::string_view text) {
  const R access = checkFieldAccess(f.end());
  if (access != R::kSuccess) return access;
  if (!fitsNameField(f, text)) return R::kInvalidValue;
  writeText(image_, f.offset, f.size, text);
  return R::kSuccess;
}

R ParameterBlock::writeIdentityBytes(const Field& f, ByteSpan bytes) {
  const R access = checkFieldAccess(f.end());
  if (access != R::kSuccess) return access;
  if (bytes.size() != f.size) return R::kInvalidValue;
  writeBytes(image_, f.offset, bytes);
  return R::kSuccess;
}

R ParameterBlock::setDeviceAccessKey(const DeviceAccessKey& key) {
  return writeIdentityBytes(kDeviceAccessKey, key);
}

R ParameterBlock::setManufacturerName(std::string_view name) {
  return writeIdentityText(kManufacturer, name);
}

R ParameterBlock::setUserDeviceName(std::string_view name) {
  return writeIdentityText(kDeviceName, name);
}

R ParameterBlock::setNetworkName(std::string_view name) {
  return writeIdentityText(kNetworkName, name);
}

R ParameterBlock::setNetworkMembershipKey(const NetworkMembershipKey& key, int level) {
  const R access = checkFieldAccess(kNetworkIdentifier.end());
  if (access != R::kSuccess) return access;
  if (level < 0 || level > kMaximumSecurityLevel) return R::kInvalidValue;
  const NetworkIdentifier nid = networkIdentifierFor(key, level);
  const bool keyUnchanged =
      std::equal(key.begin(), key.end(), image_.begin() + kNetworkMembershipKey.offset);
  const bool nidUnchanged =
      std::equal(nid.begin(), nid.end(), image_.begin() + kNetworkIdentifier.offset);
  writeBytes(image_, kNetworkMembershipKey.offset, key);
  if (!(keyUnchanged && nidUnchanged)) writeBytes(image_, kNetworkIdentifier.offset, nid);
  return R::kSuccess;
}

R ParameterBlock::getNetworkIdentifier(NetworkIdentifier& nid) const {
  const R access = checkFieldAccess(kNetworkIdentifier.end(), kMinimumSettingsVersion);
  if (access != R::kSuccess) return access;
  std::copy_n(image_.begin() + kNetworkIdentifier.offset, nid.size(), nid.begin());
  return R::kSuccess;
}

R ParameterBlock::setAddressSwitch(bool on, const MacAddress& address) {
  const R access = checkFieldAccess(kSwitchedAddress.end());
  if (access != R::kSuccess) return access;
  if (on && isGroupMac(address)) return R::kInvalidValue;
  writeU8(image_, kAddressSwitch.offset, on ? 1 : 0);
  writeMac(image_, kSwitchedAddress.offset, address);
  return R::kSuccess;
}

R ParameterBlock::setIdentitySetting(const Field& f, std::uint32_t value) {
  static constexpr const Field* kSettings[] = {&kEnumerationA,   &kEnumerationB,
                                               &kEnumerationC,   &kIdentityFlags,
                                               &kIdentitySwitch, &kIdentitySwitchSetting};
  const R access = checkFieldAccess(f.end(), kMinimumSettingsVersion);
  if (access != R::kSuccess) return access;
  if (std::find(std::begin(kSettings), std::end(kSettings), &f) == std::end(kSettings) ||
      !f.accepts(value))
    return R::kInvalidValue;
  if (&f == &kIdentityFlags && ((value & kIdentityFlagsPairMask) >> 4) >= 2)
    return R::kInvalidValue;
  writeU8(image_, f.offset, static_cast<std::uint8_t>(value));
  return R::kSuccess;
}

}  // namespace quorrel::paramblock
