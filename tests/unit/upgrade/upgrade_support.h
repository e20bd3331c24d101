// Files of an upgrade in a folder of their own, and the device table of a local adapter.
#pragma once

#include <string_view>

#include "api/device_table.h"
#include "support/scratch_dir.h"

namespace quorrel::testing {

using UpgradeFolder = ScratchDir;

inline void useLocalAdapter(const MacAddress& mac, std::string_view chip) {
  api::resetDeviceTable();
  api::currentState().localMac = mac;
  api::currentState().localPresent = true;
  api::deviceTable().avLocal = true;
  api::deviceTable().localChipName = chip;
}

}  // namespace quorrel::testing
