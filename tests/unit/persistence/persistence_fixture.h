// Shared pieces of the persistence tests: a scratch folder, a plain list, clean tables.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "persistence/device_data.h"
#include "persistence/file_io.h"
#include "persistence/locations.h"
#include "persistence/preferences.h"
#include "persistence/vendor_list.h"
#include "support/fake_backend.h"
#include "support/plain_list_layout.h"
#include "support/scratch_dir.h"
#include "transport/interface_table.h"

namespace quorrel::persistence::testing {

using ::quorrel::testing::readFile;
using ::quorrel::testing::writeFile;
inline unsigned permissionsOf(const std::string& path) {
  return static_cast<unsigned>(std::filesystem::status(path).permissions());
}

using ::quorrel::testing::PlainListLayout;

// Every table empty, notices recorded, interfaces from a fake backend with one port, and a
// scratch folder of its own as the data and resource folder.
class PersistenceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    backend.interfaces = {{"veth-test0", MacAddress{0x02, 0, 0, 0, 0, 1}}};
    transport::setBackend(&backend);
    transport::resetInterfaceTable();
    platform::setNotice(&notices);
    api::resetDeviceTable();
    resetKnownDevices();
    resetListSettings();
    resetPreferences();
    vendorTable() = VendorTable{};
    setDataDirectory(dir);
    setResourceDirectory(dir);
  }
  void TearDown() override {
    setReplaceFaults(nullptr);
    setDataDirectory("");
    setResourceDirectory("");
    platform::setNotice(nullptr);
    transport::resetInterfaceTable();
    transport::setBackend(nullptr);
  }
  std::string file(const std::string& name) const { return dir + "/" + name; }

  ::quorrel::testing::ScratchDir scratch;
  const std::string dir = scratch.path();
  ::quorrel::testing::FakeBackend backend;
  platform::RecordingNotice notices;
};

// Fails the one step of a file replacement it is given.
class FailAt final : public ReplaceFaults {
 public:
  explicit FailAt(ReplaceStep s) : step(s) {}
  bool allow(ReplaceStep s) override { return s != step; }
  ReplaceStep step;
};

inline MacAddress macOf(std::uint8_t last, std::uint8_t first = 0x00) {
  return MacAddress{first, 0xB0, 0x52, 0x10, 0x20, last};
}

}  // namespace quorrel::persistence::testing
