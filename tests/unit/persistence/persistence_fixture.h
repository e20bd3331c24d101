// Shared pieces of the persistence tests: a scratch folder, a plain list, clean tables.
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "api/device_table.h"
#include "persistence/device_data.h"
#include "persistence/file_io.h"
#include "persistence/known_devices.h"
#include "persistence/list_layout.h"
#include "persistence/locations.h"
#include "persistence/preferences.h"
#include "persistence/vendor_list.h"
#include "platform/notice.h"
#include "support/fake_backend.h"
#include "transport/interface_table.h"

namespace quorrel::persistence::testing {

// A folder of its own below the system's temporary folder, removed with everything in it.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "quorrel-persistence-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
    path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}
inline void writeFile(const std::string& path, const std::string& text) {
  writeFile(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}
inline std::vector<std::uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}
inline bool exists(const std::string& path) {
  return std::filesystem::exists(path);
}
inline unsigned permissionsOf(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st.st_mode & 07777;
}

// What the remote list widget would do, with the columns the preferences ask for.
class PlainListLayout final : public ListLayout {
 public:
  explicit PlainListLayout(int columns = kRemoteColumns) : count(columns) {
    order = defaultColumnOrder(columns);
    widths = {140, 120, 70, 80, 110};
  }
  int columnCount() const override { return count; }
  ColumnArray columnOrder() const override { return order; }
  std::int32_t columnWidth(int column) const override {
    return column >= 0 && column < count ? widths[column] : 0;
  }
  void setColumnOrder(const ColumnArray& o) override {
    order = o;
    ++orderSets;
  }
  void setColumnWidth(int column, std::int32_t width) override {
    if (column >= 0 && column < count) widths[column] = width;
  }

  int count;
  ColumnArray order{};
  ColumnArray widths{};
  int orderSets = 0;
};

// Every table empty, notices recorded, interfaces from a fake backend with one port.
class PersistenceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    backend.interfaces = {{"veth-test0", MacAddress{0x02, 0, 0, 0, 0, 1}}};
    transport::setBackend(&backend);
    transport::ResetInterfaceTable();
    platform::setNotice(&notices);
    api::ResetDeviceTable();
    ResetKnownDevices();
    ResetListSettings();
    ResetPreferences();
    vendorTable() = VendorTable{};
    setDataDirectory(scratch.path());
    setListLayout(nullptr);
    setRemoteRowRemover(nullptr);
    setReplaceFaults(nullptr);
  }
  void TearDown() override {
    setReplaceFaults(nullptr);
    setRemoteRowRemover(nullptr);
    setListLayout(nullptr);
    setDataDirectory("");
    platform::setNotice(nullptr);
    transport::ResetInterfaceTable();
    transport::setBackend(nullptr);
  }

  quorrel::testing::FakeBackend backend;
  platform::RecordingNotice notices;
  ScratchDir scratch;
};

inline MacAddress macOf(std::uint8_t last, std::uint8_t first = 0x00) {
  return MacAddress{first, 0xB0, 0x52, 0x10, 0x20, last};
}

}  // namespace quorrel::persistence::testing
