// The reseller-adaptable settings read from "OEMPrefs.dat" at start-up.
#include "persistence/preferences.h"

#include <algorithm>
#include <vector>

#include "persistence/file_io.h"
#include "persistence/list_layout.h"
#include "persistence/locations.h"

namespace quorrel::persistence {

namespace {
Preferences current;

// A field is taken only when the bytes hold all of it.
bool holds(ByteSpan b, std::size_t at, std::size_t size) {
  return at + size <= b.size();
}

std::int16_t field16(ByteSpan b, std::size_t at) {
  return holds(b, at, 2) ? static_cast<std::int16_t>(readLe16(b, at)) : std::int16_t{0};
}
std::int32_t field32(ByteSpan b, std::size_t at) {
  return holds(b, at, 4) ? static_cast<std::int32_t>(readLe32(b, at)) : 0;
}
template <std::size_t N>
api::FixedText<N> fieldText(ByteSpan b, std::size_t at) {
  return holds(b, at, N) ? api::FixedText<N>(readText(b, at, N)) : api::FixedText<N>();
}

void keep(const Preferences& p) {
  current = p;
  // The data file sets the sort state again when it loads.
  listSettings().sortDirection = kDefaultSortDirection;
  listSettings().sortColumn = kDefaultSortColumn;
}
}  // namespace

Preferences decodePreferences(ByteSpan b) {
  namespace o = prefs_image;
  Preferences p;
  p.scanInterval = field32(b, o::kScanInterval);
  p.qualityStyle = field16(b, o::kQualityStyle);
  p.listColour = field32(b, o::kListColour);
  p.iconSize = field16(b, o::kIconSize);
  p.diagnosticsLevel = field16(b, o::kDiagnosticsLevel);
  p.reservedA = field16(b, o::kReservedA);
  p.autoscanEnabled = field16(b, o::kAutoscanEnabled);
  p.reservedB = field16(b, o::kReservedB);
  p.reservedC = field16(b, o::kReservedC);
  p.reservedD = field16(b, o::kReservedD);
  p.reservedE = field16(b, o::kReservedE);
  p.showRateColumn = field16(b, o::kShowRateColumn);
  p.showQualityColumn = field16(b, o::kShowQualityColumn);
  p.twelveHourTime = field16(b, o::kTwelveHourTime);
  p.showUpgradeButton = field16(b, o::kShowUpgradeButton);
  p.webAddress = fieldText<o::kWebAddressSize>(b, o::kWebAddress);
  p.productName = fieldText<o::kProductNameSize>(b, o::kProductName);
  p.oemOui = {};
  if (holds(b, o::kOemOui, o::kOemOuiSize))
    for (std::size_t i = 0; i < o::kOemOuiSize; ++i) p.oemOui[i] = readU8(b, o::kOemOui + i);
  p.oemVendorName = fieldText<o::kOemVendorNameSize>(b, o::kOemVendorName);
  p.noticeText = fieldText<o::kNoticeTextSize>(b, o::kNoticeText);

  // The scan narrows the interval to 16 bits; a value it cannot hold must not wrap to 0 or less.
  p.scanInterval = std::clamp(p.scanInterval, kMinScanInterval, kMaxScanInterval);
  if (p.productName.empty()) p.productName = kDefaultProductName;
  return p;
}

PreferencesSource LoadPreferences() {
  return loadPreferencesFrom(resourcePath(kPreferencesFile));
}

PreferencesSource loadPreferencesFrom(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  const bool read = readFileCapped(path, kPreferencesFileSize, bytes) == ReadStatus::Ok;
  keep(read ? decodePreferences(bytes) : Preferences{});
  return read ? PreferencesSource::File : PreferencesSource::Defaults;
}

void LoadPreferences(ByteSpan bytes) {
  keep(decodePreferences(bytes));
}

Preferences& preferences() {
  return current;
}
void resetPreferences() {
  current = Preferences{};
}

std::string dataFileName() {
  std::string name =
      current.productName.empty() ? std::string(kDefaultProductName) : current.productName.str();
  std::replace(name.begin(), name.end(), '/', '_');
  return name + ".data";
}

}  // namespace quorrel::persistence
