// The configuration accessors: number, byte and text fields, serial ports and the lists.
#include <algorithm>

#include "paramblock/parameter_block.h"
#include "paramblock/region_map.h"

namespace quorrel::paramblock {

using R = ParameterBlockResult;
using namespace field;

namespace {

template <bool (*Rule)(ImageWindow&, std::size_t)>
bool entryPasses(ByteSpan entry) {
  ImageWindow w(entry, 0);
  return Rule(w, 0) && !w.faulted();
}

bool carrierPasses(ImageWindow& w, std::size_t at) {
  return w.inRange(kCarrierLevel, at) && w.inRange(kCarrierFlag, at);
}

void writeNumber(MutableByteSpan image, const Field& f, std::size_t base, std::uint32_t v) {
  switch (f.kind) {
    case FieldKind::Byte:
      writeU8(image, base + f.offset, static_cast<std::uint8_t>(v));
      break;
    case FieldKind::Le16:
      writeLe16(image, base + f.offset, static_cast<std::uint16_t>(v));
      break;
    case FieldKind::Le32:
      writeLe32(image, base + f.offset, v);
      break;
    default:
      break;
  }
}

}  // namespace

R ParameterBlock::readField(const Field& f, std::uint32_t& value) const {
  const R access = checkConfigAccess();
  if (access != R::kSuccess) return access;
  if (!f.isNumber() || regionAt(f.offset) == nullptr) return R::kInvalidValue;
  ImageWindow w(image_, 0);
  value = w.read(f);
  return R::kSuccess;
}

R ParameterBlock::writeField(const Field& f, std::uint32_t value) {
  const R access = checkConfigField(f);
  if (access != R::kSuccess) return access;
  if (!f.isNumber() || !f.accepts(value)) return R::kInvalidValue;
  writeNumber(image_, f, 0, value);
  return R::kSuccess;
}

R ParameterBlock::writeBytesField(const Field& f, ByteSpan bytes) {
  const R access = checkConfigField(f);
  if (access != R::kSuccess) return access;
  if (f.kind == FieldKind::Text) {
    if (bytes.size() >= f.size || std::find(bytes.begin(), bytes.end(), 0) != bytes.end())
      return R::kInvalidValue;
    std::fill_n(image_.begin() + f.offset, f.size, 0);
  } else if (f.kind != FieldKind::Bytes || bytes.size() != f.size) {
    return R::kInvalidValue;
  }
  writeBytes(image_, f.offset, bytes);
  return R::kSuccess;
}

R ParameterBlock::writeTextField(const Field& f, std::string_view text) {
  if (f.kind != FieldKind::Text) {
    const R access = checkConfigField(f);
    return access != R::kSuccess ? access : R::kInvalidValue;
  }
  return writeBytesField(f, {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

R ParameterBlock::setSerialPort(std::size_t index, const SerialPortSetting& port) {
  const R access = checkConfigField(kSerialTimeout);  // shares the ports' enable byte
  if (access != R::kSuccess) return access;
  if (index >= kSerialPorts.capacity) return R::kIndexBeyondCount;
  if (!kPortSpeed.accepts(port.speed) || !kPortDataBits.accepts(port.dataBits) ||
      !kPortParity.accepts(port.parity) || !kPortStopBits.accepts(port.stopBits) ||
      !kPortFlowControl.accepts(port.flowControl))
    return R::kInvalidValue;
  const std::size_t at = kSerialPorts.entryAt(index);
  writeNumber(image_, kPortSpeed, at, port.speed);
  writeNumber(image_, kPortDataBits, at, port.dataBits);
  writeNumber(image_, kPortParity, at, port.parity);
  writeNumber(image_, kPortStopBits, at, port.stopBits);
  writeNumber(image_, kPortFlowControl, at, port.flowControl);
  return R::kSuccess;
}

R ParameterBlock::enableStationsWithDefaults() {
  static constexpr MacAddress kDefaultStationsAddress{0x00, 0xB0, 0x52, 0xDA, 0xDA, 0x01};
  constexpr std::uint8_t kDefaultSetting = 2, kDefaultExtra = 5;
  const R access = checkConfigAccess();
  if (access != R::kSuccess) return access;
  const ParameterRegion& region = *regionAt(kStationsEnable.offset);
  std::fill_n(image_.begin() + region.offset, region.size, 0);
  writeU8(image_, kStationsSetting.offset, kDefaultSetting);
  writeMac(image_, kStationsAddress.offset, kDefaultStationsAddress);
  writeU8(image_, kStationsExtra.offset, kDefaultExtra);
  writeU8(image_, kStationsEnable.offset, 1);
  return R::kSuccess;
}

R ParameterBlock::clearStations() {
  const R access = checkConfigAccess();
  if (access != R::kSuccess) return access;
  const ParameterRegion& region = *regionAt(kStationsEnable.offset);
  std::fill_n(image_.begin() + region.offset, region.size, 0);
  return R::kSuccess;
}

R ParameterBlock::setStationsSetting(std::uint8_t setting) {
  return writeField(kStationsSetting, setting);
}

R ParameterBlock::setStationsAddress(const MacAddress& address) {
  const R access = checkConfigField(kStationsAddress);
  if (access != R::kSuccess) return access;
  if (readU8(image_, kStationsEnable.offset) != 1) return R::kRegionDisabled;
  if (isGroupMac(address)) return R::kInvalidValue;
  writeMac(image_, kStationsAddress.offset, address);
  return R::kSuccess;
}

R ParameterBlock::changeableListCount(const ListLayout& list, std::uint32_t& count) const {
  const R access = checkConfigField(*list.count);
  if (access != R::kSuccess) return access;
  if (list.enable != nullptr && readU8(image_, list.enable->offset) != 1) return R::kRegionDisabled;
  count = ImageWindow(image_, 0).read(*list.count);
  return R::kSuccess;
}

R ParameterBlock::addListEntry(const ListLayout& list, ByteSpan entry,
                               bool (*check)(ByteSpan entry)) {
  std::uint32_t count = 0;
  if (const R r = changeableListCount(list, count); r != R::kSuccess) return r;
  if (count >= list.capacity) return R::kListFull;
  if (entry.size() != list.entrySize || !check(entry)) return R::kInvalidValue;
  writeBytes(image_, list.first + count * list.entrySize, entry);
  writeNumber(image_, *list.count, 0, count + 1);
  return R::kSuccess;
}

R ParameterBlock::replaceListEntry(const ListLayout& list, std::size_t index, ByteSpan entry,
                                   bool (*check)(ByteSpan entry)) {
  std::uint32_t count = 0;
  if (const R r = changeableListCount(list, count); r != R::kSuccess) return r;
  if (index >= count || index >= list.capacity) return R::kIndexBeyondCount;
  if (entry.size() != list.entrySize || !check(entry)) return R::kInvalidValue;
  writeBytes(image_, list.first + index * list.entrySize, entry);
  return R::kSuccess;
}

R ParameterBlock::addStation(ByteSpan entry) {
  return addListEntry(kStations, entry, entryPasses<checkStationEntry>);
}
R ParameterBlock::replaceStation(std::size_t index, ByteSpan entry) {
  return replaceListEntry(kStations, index, entry, entryPasses<checkStationEntry>);
}
R ParameterBlock::addClassifier(ByteSpan entry) {
  return addListEntry(kClassifiers, entry, entryPasses<checkClassifierEntry>);
}
R ParameterBlock::replaceClassifier(std::size_t index, ByteSpan entry) {
  return replaceListEntry(kClassifiers, index, entry, entryPasses<checkClassifierEntry>);
}
R ParameterBlock::replaceCarrier(std::size_t index, ByteSpan entry) {
  return replaceListEntry(kCarriers, index, entry, entryPasses<carrierPasses>);
}

}  // namespace quorrel::paramblock
