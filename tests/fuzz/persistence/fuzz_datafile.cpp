// Feeds arbitrary bytes to the device data file decoder and checks what it keeps.
#include <cstdlib>

#include "persistence/device_data.h"

using namespace quorrel;
using namespace quorrel::persistence;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static DeviceData d, again;
  d = DeviceData{};
  const DecodeOutcome outcome = decodeDeviceData(ByteSpan(data, size), d);
  if (d.known.knownCount < 0 || d.known.knownCount > kKnownCapacity) std::abort();
  if (d.currentInterface < 0 || d.currentInterface >= api::kInterfaceCount) std::abort();
  if (d.layout.sortDirection > 1 || d.layout.sortColumn >= kRemoteColumns) std::abort();
  for (const KnownDevice& r : d.known.records)
    if (r.name.size() > 34 || r.password.size() > 55 || r.networkName.size() > 51) std::abort();
  // What was decoded whole must encode to a file that decodes the same way.
  if (outcome == DecodeOutcome::Complete) {
    const auto bytes = encodeDeviceData(d);
    again = DeviceData{};
    if (decodeDeviceData(bytes, again) != DecodeOutcome::Complete) std::abort();
    if (encodeDeviceData(again) != bytes) std::abort();
  }
  return 0;
}
