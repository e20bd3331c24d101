// Which network the local device is in: its key against the default keys and the keys of the
// known devices, and the name that follows.
#pragma once

#include <string_view>

#include "api/device_table.h"
#include "scan/scan.h"

namespace quorrel::scan {

inline constexpr std::string_view kUnknownNetworkName = "Unknown Networkname";

// HomePlug AV compares 16-byte keys; HomePlug 1.0 and Turbo the first 8 bytes.
enum class KeyFamily { Av, Hp1 };

struct LocalRecord {
  int index = 0;  // 1-based known-device index; 0 when none could be added
  bool justAdded = false;
};

// The known-device record of the local device at `mac`, appended under the default name when
// the device is new.
LocalRecord knownRecordOfLocal(const MacAddress& mac);

bool isDefaultKey(KeyFamily family, const api::NetworkKey& key);

// The name of the local network whose key is `localKey`, with the record's name and key
// brought in line. `previous` is the family's local name before this search; a name the pages
// asked to keep stays (HomePlug AV only). The network-name setting's pending flag, when set,
// makes the current interface's name the record's and is cleared.
api::NetworkName nameLocalNetwork(KeyFamily family, const api::NetworkKey& localKey,
                                  const LocalRecord& record, const api::NetworkName& previous);

}  // namespace quorrel::scan
