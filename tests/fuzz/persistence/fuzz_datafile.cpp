// Loads arbitrary bytes as the device data file and checks what the program then holds.
#include <algorithm>
#include <array>
#include <cstdlib>
#include <vector>

#include "persistence/device_data.h"
#include "platform/notice.h"
#include "support/fake_backend.h"
#include "transport/interface_table.h"

using namespace quorrel;
using namespace quorrel::persistence;

namespace {
// An input shorter than the device table block stands for a file whose table is all zero, so
// that the fuzzer spends its time on the sections behind it (the table's images have their own
// target): the first 8 bytes are the header, the rest follows the table. A longer input is a
// whole file.
std::vector<std::uint8_t> fileOf(const std::uint8_t* data, std::size_t size) {
  constexpr std::size_t header = data_image::kDeviceTable;
  if (size <= header || size >= data_image::kKnownCount)
    return std::vector<std::uint8_t>(data, data + size);
  std::vector<std::uint8_t> file(data_image::kKnownCount + size - header, 0);
  std::copy(data, data + header, file.begin());
  std::copy(data + header, data + size, file.begin() + data_image::kKnownCount);
  return file;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // An old file resets the table, which enumerates interfaces: never real ones here.
  static testing::FakeBackend backend;
  static platform::RecordingNotice notices;
  transport::setBackend(&backend);
  platform::setNotice(&notices);
  notices.clear();
  ResetDeviceData();
  resetListSettings();

  const LoadOutcome outcome = LoadDeviceData(fileOf(data, size));
  const KnownDeviceTable& known = knownDevices();
  if (known.knownCount < 0 || known.knownCount > kKnownCapacity) std::abort();
  if (transport::currentInterface() >= api::kInterfaceCount) std::abort();
  if (listSettings().sortDirection > 1 || listSettings().sortColumn >= kRemoteColumns) std::abort();
  for (const KnownDevice& r : known.records)
    if (r.name.size() > 34 || r.password.size() > 55 || r.networkName.size() > 51) std::abort();
  if (notices.shown.size() > 1) std::abort();
  // What was loaded whole saves to records that load the same (the device table's images have
  // that check in their own target).
  if (outcome == LoadOutcome::Loaded) {
    std::array<std::uint8_t, kKnownDeviceSize> image;
    KnownDevice again;
    for (int j = 0; j < known.knownCount; ++j) {
      encodeKnownDevice(known.records[j], image);
      decodeKnownDevice(image, again);
      if (!(again == known.records[j])) std::abort();
    }
  }
  return 0;
}
