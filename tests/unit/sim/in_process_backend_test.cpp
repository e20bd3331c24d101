// The host's transport over the in-process simulation: what it lists and what it admits. How
// long a receive lets the virtual clock run shows in the scan's timed tests built on it.
#include <gtest/gtest.h>

#include "adapter-sim/core/in_process_backend.h"
#include "support/av_frames.h"
#include "transport/interface_table.h"

namespace quorrel::sim {
namespace {

constexpr MacAddress kLocal{0x00, 0xB0, 0x52, 0x10, 0x00, 0x01};
constexpr MacAddress kSpareMac{0x02, 0x00, 0x00, 0x00, 0x00, 0x11};

std::vector<std::uint8_t> versionRequest(const MacAddress& from) {
  return testing::avFrame(0xA000, 64, from, kLocalDeviceMac);
}

class InProcessBackendTest : public ::testing::Test {
 protected:
  InProcessBackendTest()
      : network([] {
          Scenario s;
          s.local.mac = kLocal;
          s.behaviour.localLatencyUs = 300;
          return s;
        }()) {}
  void SetUp() override {
    platform::setClock(&clock);
    backend.addInterface("sim0", kDefaultHostMac, &network);
    backend.addInterface("sim1", kSpareMac, nullptr);
    transport::setBackend(&backend);
    ASSERT_EQ(transport::EnumerateInterfaces(), 1);
    ASSERT_EQ(transport::OpenInterface(0), 1);
    ASSERT_EQ(transport::OpenInterface(1), 1);
  }
  void TearDown() override {
    transport::ResetInterfaceTable();
    transport::setBackend(nullptr);
    platform::setClock(nullptr);
  }

  platform::VirtualClock clock;
  Network network;
  InProcessBackend backend{clock};
};

TEST_F(InProcessBackendTest, ListsItsInterfacesAndFailsOpensOnRequest) {
  const auto& t = transport::interfaceTable();
  ASSERT_EQ(t.interfaceCount, 2);
  EXPECT_EQ(t.interfaceList[0].name, "sim0");
  EXPECT_EQ(t.entries[1].macAddress, kSpareMac);
  backend.setOpenFails(1, true);
  transport::CloseAllInterfaces();
  ASSERT_EQ(transport::EnumerateInterfaces(), 1);
  EXPECT_EQ(transport::OpenInterface(1), 0);
  EXPECT_EQ(transport::OpenInterface(0), 1);
}

TEST_F(InProcessBackendTest, AdmitsOnlyManagementFramesForThisInterface) {
  network.behaviour().noise = true;
  network.behaviour().noiseIntervalUs = 1000;
  // An answer to another address on the wire is not for this capture.
  ASSERT_EQ(transport::SendFrame(0, versionRequest(MacAddress{2, 7, 7, 7, 7, 7})), 1);
  int av = 0, hp1 = 0;
  for (int i = 0; i < 50; ++i) {
    const auto* f = transport::ReceiveFrame(0);
    if (f == nullptr) continue;
    const std::uint16_t type = readBe16(f->bytes(), 12);
    ASSERT_TRUE(type == 0x88E1 || type == 0x887B) << std::hex << type;
    ASSERT_NE(readMac(f->bytes(), 6), kLocal) << "the answer went to another host";
    (type == 0x88E1 ? av : hp1)++;
  }
  EXPECT_GT(av, 0);
  EXPECT_GT(hp1, 0);
  EXPECT_GT(network.stats().noise, static_cast<std::uint64_t>(av + hp1));
}

}  // namespace
}  // namespace quorrel::sim
