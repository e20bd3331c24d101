// Files of an upgrade in a folder of their own, and the device table of a local adapter.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "api/device_table.h"

namespace quorrel::testing {

class UpgradeFolder {
 public:
  UpgradeFolder() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "quorrel-upgrade-XXXXXX").string();
    dir_ = mkdtemp(pattern.data());
  }
  ~UpgradeFolder() { std::filesystem::remove_all(dir_); }
  std::string write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return path;
  }

 private:
  std::string dir_;
};

inline void useLocalAdapter(const MacAddress& mac, std::string_view chip) {
  api::ResetDeviceTable();
  api::currentState().localMac = mac;
  api::currentState().localPresent = true;
  api::deviceTable().avLocal = true;
  api::deviceTable().localChipName = chip;
}

}  // namespace quorrel::testing
