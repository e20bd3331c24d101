// Arbitrary bytes as a parameter block image under every field accessor, list operation and
// region load; arguments come from the input's last word. Refused loads must leave the image
// as it was, and the defaults must always seal into a valid image.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "paramblock/parameter_block.h"
#include "paramblock/region_map.h"
#include "platform/checksum32.h"

using namespace quorrel;
using namespace quorrel::paramblock;

namespace {

void touchFields(ParameterBlock& view, ByteSpan data, std::uint32_t v) {
  const std::string text(v % 300, static_cast<char>('a' + v % 26));
  for (const ParameterRegion& region : kParameterRegions) {
    for (const Field* f : region.fields) {
      std::uint32_t read = 0;
      view.readField(*f, read);
      view.writeField(*f, v);
      view.writeTextField(*f, text);
      view.writeBytesField(*f, data.first(std::min<std::size_t>(data.size(), f->size)));
      view.setIdentitySetting(*f, v);
    }
  }
  view.setManufacturerName(text);
  view.setUserDeviceName(text.substr(0, 64));
  view.setNetworkName(text.substr(0, 63));
  view.setDeviceAccessKey({});
  view.setNetworkMembershipKey({}, static_cast<int>(v % 4) - 1);
  view.setAddressSwitch(v & 1, {static_cast<std::uint8_t>(v), 0, 0, 0, 0, 1});
  view.setMacAddress({static_cast<std::uint8_t>(v >> 8), 0, 0, 0, 0, 2});
  NetworkIdentifier nid{};
  view.getNetworkIdentifier(nid);
  view.setSerialPort(v % 4, {v, static_cast<std::uint8_t>(v >> 8), 0, 1, 0});
}

void touchLists(ParameterBlock& view, ByteSpan data, std::uint32_t v) {
  if (v & 2) view.enableStationsWithDefaults();
  if (v & 4) view.clearStations();
  view.setStationsSetting(static_cast<std::uint8_t>(v));
  view.setStationsAddress({static_cast<std::uint8_t>(v), 1, 2, 3, 4, 5});
  for (std::size_t n : {std::size_t{5}, std::size_t{7}, std::size_t{28}}) {
    const ByteSpan entry = data.first(std::min(n, data.size()));
    view.addStation(entry);
    view.replaceStation(v % 10, entry);
    view.addClassifier(entry);
    view.replaceClassifier(v % 10, entry);
    view.replaceCarrier(v % 40, entry);
  }
}

void loadRegions(ParameterBlock& view, std::vector<std::uint8_t>& image, ByteSpan data,
                 std::uint32_t v) {
  for (const ParameterRegion& region : kParameterRegions) {
    const std::size_t at = data.size() > region.offset ? region.offset : 0;
    const ByteSpan copy = data.subspan(at, std::min(region.usedBytes, data.size() - at));
    const std::uint32_t sum = (v & 8) ? v : checksum32(copy.first(copy.size() / 4 * 4));
    const std::vector<std::uint8_t> before = image;
    const ParameterBlockResult r = view.loadRegion(region, copy, sum);
    if (r != ParameterBlockResult::kSuccess && r != ParameterBlockResult::kRegionInvalid &&
        image != before)
      __builtin_trap();
  }
  const std::vector<std::uint8_t> before = image;
  const ParameterBlockResult r = view.loadImage(data, checksum32(data.first(data.size() / 4 * 4)));
  if (r != ParameterBlockResult::kSuccess && r != ParameterBlockResult::kRegionInvalid &&
      image != before)
    __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const ByteSpan input(data, size);
  const std::uint32_t v = size >= 4 ? readLe32(input, size - 4) : static_cast<std::uint32_t>(size);
  // An exact-size copy: any access past the caller's buffer is a heap overflow under ASan.
  std::vector<std::uint8_t> image(data, data + size);
  ParameterBlock view;
  view.attachImage(image);
  touchFields(view, input, v);
  touchLists(view, input, v);
  view.validateImage();
  loadRegions(view, image, input, v);

  std::vector<std::uint8_t> fresh(kParameterBlockLength);
  ParameterBlock defaults;
  if (defaults.resetToDefaults(fresh) != ParameterBlockResult::kSuccess ||
      defaults.updateChecksum(fresh) != ParameterBlockResult::kSuccess)
    __builtin_trap();
  return 0;
}
