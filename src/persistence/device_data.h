// The device data file: device table, known devices and list layout, kept between runs.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "api/device_images.h"
#include "api/device_table.h"
#include "crypto/keys.h"
#include "persistence/known_devices.h"
#include "persistence/list_layout.h"
#include "platform/bytes.h"

namespace quorrel::persistence {

inline constexpr std::uint32_t kDataFileVersion = 306;
// The network name every interface starts with after a reset: the HomePlug AV default.
inline constexpr const char* kResetNetworkName = crypto::kDefaultAvNetworkPassword;
// A damaged file is moved to its own name with this ending.
inline constexpr const char* kDamagedSuffix = ".damaged";

// Offsets in the file; all integers little-endian, n the known-device count.
namespace data_image {
inline constexpr std::size_t kVersion = 0;           // u32
inline constexpr std::size_t kCurrentInterface = 4;  // i32
inline constexpr std::size_t kDeviceTable = 8;       // api::kDeviceTableBlockSize bytes
inline constexpr std::size_t kKnownCount = kDeviceTable + api::kDeviceTableBlockSize;  // i32
inline constexpr std::size_t kKnownRecords = kKnownCount + 4;  // n records of kKnownDeviceSize
// Behind the records, relative to their end:
inline constexpr std::size_t kColumnOrder = 0;     // 5 × i32
inline constexpr std::size_t kColumnWidths = 20;   // 5 × i32
inline constexpr std::size_t kSortDirection = 40;  // u32
inline constexpr std::size_t kSortColumn = 44;     // u32
inline constexpr std::size_t kLayoutSize = 48;
static_assert(kKnownCount == 131936 && kKnownRecords == 131940);
}  // namespace data_image

constexpr std::size_t knownRecordsEnd(std::size_t n) {
  return data_image::kKnownRecords + kKnownDeviceSize * n;
}
constexpr std::size_t dataFileSize(std::size_t n) {
  return knownRecordsEnd(n) + data_image::kLayoutSize;
}
static_assert(dataFileSize(0) == 131988);

// Everything the file holds.
struct DeviceData {
  std::uint32_t version = kDataFileVersion;
  std::int32_t currentInterface = 0;
  std::array<api::InterfaceDevices, api::kInterfaceCount> devices{};
  KnownDeviceTable known;
  ListSettings layout;
};

// The whole file for `data`; a negative count is written as 0, one above 100 as 100.
std::vector<std::uint8_t> encodeDeviceData(const DeviceData& data);

enum class DecodeOutcome {
  Complete,         // every section was there
  OldVersion,       // below 306: nothing but the version was taken
  CountOutOfRange,  // the known-device count was negative or above 100: no records taken
  Short             // the bytes ended inside a section: what came before it was taken
};

// Decodes untrusted bytes into `data`, section by section, leaving alone what the bytes do not
// reach. Whole interface records and whole known-device records of a cut section are kept;
// a count out of range empties the known devices. A current interface of 8 or more reads as 7,
// a negative one as 0; a sort state out of range keeps what `data` had. Bytes past the end of
// the layout are ignored.
DecodeOutcome decodeDeviceData(ByteSpan bytes, DeviceData& data);

// The process-wide state as a file image would hold it, and back. The record is large (over
// 100 KB): keep it off the stack.
void captureDeviceData(DeviceData& data);
void restoreDeviceData(const DeviceData& data);

// The data file's path: the data directory and `productName` + ".data"; empty while no data
// directory is chosen.
std::string dataFilePath();

enum class LoadOutcome { Loaded, Missing, OldVersion, CountOutOfRange, Damaged };
// Reads the data file into the device table, the known devices and the list settings
// (listSettings()); whoever shows the remote list gives it the column settings from there
// (columnsToShow), except after an old version, whose settings are not read.
LoadOutcome LoadDeviceData();
LoadOutcome loadDeviceDataFrom(const std::string& path);
// The same from the file's bytes already read whole (never Missing). Leaves the file alone:
// the caller moves a Damaged one aside.
LoadOutcome LoadDeviceData(ByteSpan bytes);

enum class SaveOutcome { Saved, NothingToSave, NotOpened, Failed };
// Writes the data file, whole or not at all, with the list settings as listSettings() holds
// them (whoever shows the remote list keeps them up to date: withShownColumns). With no known
// device it writes an empty table only over a file this run read whole or wrote (or none): see
// KnownDeviceTable::mayEmptyFile. The file is owner-only.
SaveOutcome SaveDeviceData();
SaveOutcome saveDeviceDataTo(const std::string& path);

// The empty state: interfaces enumerated and opened again, the device table zeroed with the
// default network name, no known device, interface 0 current.
void ResetDeviceData();

}  // namespace quorrel::persistence
