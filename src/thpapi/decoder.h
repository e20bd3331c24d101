// The one decoder of received HomePlug AV frames, and bounded readers of what it decoded.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/bytes.h"
#include "thpapi/thapi_result.h"

namespace quorrel::thpapi {

// Decodes any received frame into `result` (cleared first). expectedVersion 4 expects the
// version-1 header, anything else version 0. Confirmations of a transfer run its step (next
// request made to wait). 0, or -1 with `status` and (mostly) the last error set.
int thpapi_DecodeFrame(ByteSpan frame, ThapiResult& result, int expectedVersion);

// One station of the first network of a network information confirmation.
struct StationEntry {
  MacAddress mac{};
  std::uint16_t rate = 0;  // 8-bit raw rate for version 0, 16-bit for version 1
};
// Stations of the first network that the decoded record really holds; messageVersion 4 reads
// the version-1 layout, anything else version 0 (so networkInfoFormat values work too).
std::size_t stationCount(const ThapiResult& result, int messageVersion);
// Station `index` of the first network; false when the record does not hold it.
bool readStation(const ThapiResult& result, int messageVersion, std::size_t index,
                 StationEntry& out);

}  // namespace quorrel::thpapi
