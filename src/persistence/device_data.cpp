// The device data file: device table, known devices and list layout, kept between runs.
#include "persistence/device_data.h"

#include <algorithm>
#include <memory>

#include "persistence/file_io.h"
#include "persistence/locations.h"
#include "persistence/preferences.h"
#include "platform/notice.h"
#include "transport/interface_table.h"

namespace quorrel::persistence {

namespace {
constexpr const char* kReadProblemText =
    "Unexpected condition reading database. Attempting to recover.";
constexpr const char* kWriteProblemText =
    "Unexpected condition writing database. Attempting to recover.";
constexpr const char* kAttentionCaption = "Attention!";
constexpr const char* kProblemCaption = "Problem Occurred";

std::int32_t readI32(ByteSpan b, std::size_t at) {
  return static_cast<std::int32_t>(readLe32(b, at));
}
void writeI32(MutableByteSpan b, std::size_t at, std::int32_t v) {
  writeLe32(b, at, static_cast<std::uint32_t>(v));
}

bool reaches(ByteSpan b, std::size_t at, std::size_t size) {
  return at + size <= b.size();
}

void readColumns(ByteSpan b, std::size_t at, ColumnArray& out) {
  for (int c = 0; c < kRemoteColumns; ++c) out[c] = readI32(b, at + 4 * c);
}
void writeColumns(MutableByteSpan b, std::size_t at, const ColumnArray& in) {
  for (int c = 0; c < kRemoteColumns; ++c) writeI32(b, at + 4 * c, in[c]);
}

void writeProblem() {
  platform::showNotice(kWriteProblemText, kProblemCaption, platform::NoticeIcon::Stop);
}

// The records past the count are zero in a table that is in order.
void clearFrom(KnownDeviceTable& t, int first) {
  std::fill(t.records.begin() + std::clamp(first, 0, kKnownCapacity), t.records.end(),
            KnownDevice{});
}

// Decodes the known-device count, the records and the layout behind the device table block.
DecodeOutcome decodeKnownAndLayout(ByteSpan b, DeviceData& data) {
  using namespace data_image;
  if (!reaches(b, kKnownCount, 4)) return DecodeOutcome::Short;
  const std::int32_t n = readI32(b, kKnownCount);
  if (n < 0 || n > kKnownCapacity) {
    data.known = KnownDeviceTable{};
    return DecodeOutcome::CountOutOfRange;
  }
  KnownDeviceTable& known = data.known;
  for (int j = 0; j < n; ++j) {
    const std::size_t at = kKnownRecords + kKnownDeviceSize * static_cast<std::size_t>(j);
    if (!reaches(b, at, kKnownDeviceSize)) {
      known.knownCount = j;
      clearFrom(known, j);
      return DecodeOutcome::Short;
    }
    decodeKnownDevice(b.subspan(at).first<kKnownDeviceSize>(), known.records[j]);
  }
  known.knownCount = n;
  clearFrom(known, n);

  const std::size_t base = knownRecordsEnd(static_cast<std::size_t>(n));
  ListSettings& layout = data.layout;
  if (!reaches(b, base + kColumnOrder, 4 * kRemoteColumns)) return DecodeOutcome::Short;
  readColumns(b, base + kColumnOrder, layout.columnOrder);
  if (!reaches(b, base + kColumnWidths, 4 * kRemoteColumns)) return DecodeOutcome::Short;
  readColumns(b, base + kColumnWidths, layout.columnWidths);
  if (!reaches(b, base + kSortDirection, 4)) return DecodeOutcome::Short;
  const std::uint32_t direction = readLe32(b, base + kSortDirection);
  layout.sortDirection = direction <= 1 ? direction : kDefaultSortDirection;
  if (!reaches(b, base + kSortColumn, 4)) return DecodeOutcome::Short;
  const std::uint32_t column = readLe32(b, base + kSortColumn);
  layout.sortColumn = column < kRemoteColumns ? column : kDefaultSortColumn;
  return DecodeOutcome::Complete;
}
}  // namespace

std::vector<std::uint8_t> encodeDeviceData(const DeviceData& data) {
  using namespace data_image;
  const int n = std::clamp(data.known.knownCount, 0, kKnownCapacity);
  std::vector<std::uint8_t> bytes(dataFileSize(static_cast<std::size_t>(n)), 0);
  const MutableByteSpan b(bytes);
  writeLe32(b, kVersion, kDataFileVersion);
  writeI32(b, kCurrentInterface, data.currentInterface);
  api::encodeDeviceTableBlock(data.devices,
                              b.subspan(kDeviceTable).first<api::kDeviceTableBlockSize>());
  writeI32(b, kKnownCount, n);
  for (int j = 0; j < n; ++j) {
    const std::size_t at = kKnownRecords + kKnownDeviceSize * static_cast<std::size_t>(j);
    encodeKnownDevice(data.known.records[j], b.subspan(at).first<kKnownDeviceSize>());
  }
  const std::size_t base = knownRecordsEnd(static_cast<std::size_t>(n));
  writeColumns(b, base + kColumnOrder, data.layout.columnOrder);
  writeColumns(b, base + kColumnWidths, data.layout.columnWidths);
  writeLe32(b, base + kSortDirection, data.layout.sortDirection);
  writeLe32(b, base + kSortColumn, data.layout.sortColumn);
  return bytes;
}

DecodeOutcome decodeDeviceData(ByteSpan b, DeviceData& data) {
  using namespace data_image;
  if (!reaches(b, kVersion, 4)) return DecodeOutcome::Short;
  data.version = readLe32(b, kVersion);
  // Older layouts differ; a newer one is read as this one, as it always was.
  if (data.version < kDataFileVersion) return DecodeOutcome::OldVersion;
  if (!reaches(b, kCurrentInterface, 4)) return DecodeOutcome::Short;
  data.currentInterface = std::clamp(readI32(b, kCurrentInterface), 0, api::kInterfaceCount - 1);
  for (int i = 0; i < api::kInterfaceCount; ++i) {
    const std::size_t at = kDeviceTable + api::kInterfaceDevicesSize * static_cast<std::size_t>(i);
    if (!reaches(b, at, api::kInterfaceDevicesSize)) return DecodeOutcome::Short;
    api::decodeInterfaceDevices(b.subspan(at).first<api::kInterfaceDevicesSize>(), data.devices[i]);
  }
  return decodeKnownAndLayout(b, data);
}

void captureDeviceData(DeviceData& d) {
  d.version = kDataFileVersion;
  d.currentInterface = static_cast<std::int32_t>(transport::currentInterface());
  d.devices = api::deviceTable().devices;
  d.known = knownDevices();
  d.layout = listSettings();
}

void restoreDeviceData(const DeviceData& d) {
  transport::setCurrentInterface(
      static_cast<std::uint32_t>(d.currentInterface));  // 0..7 once decoded
  api::deviceTable().devices = d.devices;
  knownDevices() = d.known;
  listSettings() = d.layout;
}

std::string dataFilePath() {
  if (dataDirectory().empty()) return {};
  return dataDirectory() + "/" + dataFileName();
}

LoadOutcome LoadDeviceData() {
  return loadDeviceDataFrom(dataFilePath());
}

LoadOutcome loadDeviceDataFrom(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  const ReadStatus read = path.empty() ? ReadStatus::Missing
                                       : readFileCapped(path, dataFileSize(kKnownCapacity), bytes);
  if (read != ReadStatus::Ok) {
    ResetDeviceData();
    knownDevices().mayEmptyFile = read == ReadStatus::Missing;
    return LoadOutcome::Missing;
  }
  // A file left readable by everyone (as older versions did) holds passwords in clear.
  restrictToOwner(path);
  const LoadOutcome result = LoadDeviceData(bytes);
  bool gone = false;
  // Kept for whoever wants to look at it; the next save writes a whole new file.
  if (result == LoadOutcome::Damaged) gone = moveAside(path, kDamagedSuffix);
  knownDevices().mayEmptyFile = result == LoadOutcome::Loaded || gone;
  return result;
}

LoadOutcome LoadDeviceData(ByteSpan bytes) {
  const auto d = std::make_unique<DeviceData>();
  captureDeviceData(*d);
  const DecodeOutcome outcome = decodeDeviceData(bytes, *d);
  if (outcome == DecodeOutcome::OldVersion) {
    // The old file stays on disk until the next save replaces it.
    ResetDeviceData();
    platform::showNotice(kReadProblemText, kAttentionCaption, platform::NoticeIcon::Warning);
    return LoadOutcome::OldVersion;
  }
  restoreDeviceData(*d);
  LoadOutcome result = LoadOutcome::Loaded;
  if (outcome == DecodeOutcome::CountOutOfRange) {
    platform::showNotice(kReadProblemText, kProblemCaption, platform::NoticeIcon::Warning);
    result = LoadOutcome::CountOutOfRange;
  } else if (outcome == DecodeOutcome::Short) {
    result = LoadOutcome::Damaged;
  }
  return result;
}

SaveOutcome SaveDeviceData() {
  return saveDeviceDataTo(dataFilePath());
}

SaveOutcome saveDeviceDataTo(const std::string& path) {
  // Devices deleted down to none are saved as none; an empty table that stands for nothing
  // read leaves the file alone.
  if (knownDevices().knownCount == 0 && !knownDevices().mayEmptyFile)
    return SaveOutcome::NothingToSave;
  if (path.empty()) return SaveOutcome::NotOpened;
  const auto d = std::make_unique<DeviceData>();
  captureDeviceData(*d);
  const ReplaceResult r = replaceFile(path, encodeDeviceData(*d));
  if (r == ReplaceResult::NotOpened) return SaveOutcome::NotOpened;
  if (knownDevices().knownCount < 0) writeProblem();
  if (r == ReplaceResult::Done) {
    knownDevices().mayEmptyFile = true;
    return SaveOutcome::Saved;
  }
  writeProblem();
  return SaveOutcome::Failed;
}

void ResetDeviceData() {
  if (transport::EnumerateInterfaces() != 0) {
    for (int i = 0; i < transport::interfaceTable().interfaceCount; ++i)
      transport::OpenInterface(i);
  }
  for (api::InterfaceDevices& d : api::deviceTable().devices) {
    d = api::InterfaceDevices{};
    d.localNetworkName = kResetNetworkName;
  }
  resetKnownDevices();
  transport::setCurrentInterface(0);
}

}  // namespace quorrel::persistence
