// What the scan's tests over the in-process transport rely on without seeing it: opens that fail
// on request (the ageing test would pass without them) and noise that reaches the capture,
// management frames only (the noise test would pass without it). How long a receive lets the
// virtual clock run shows in the scan's timed tests.
#include <gtest/gtest.h>

#include <set>

#include "adapter-sim/core/in_process_backend.h"
#include "transport/interface_table.h"

namespace quorrel::sim {
namespace {

constexpr MacAddress kSpareMac{0x02, 0x00, 0x00, 0x00, 0x00, 0x11};

TEST(InProcessBackendTest, FailsOpensOnRequestAndDeliversManagementNoise) {
  platform::VirtualClock clock;
  Network network{Scenario{}};
  InProcessBackend backend{clock};
  backend.addInterface("sim0", kDefaultHostMac, &network);
  backend.addInterface("sim1", kSpareMac, nullptr);
  transport::setBackend(&backend);
  ASSERT_EQ(transport::EnumerateInterfaces(), 1);
  EXPECT_EQ(transport::OpenInterface(1), 1);
  backend.setOpenFails(1, true);
  transport::CloseAllInterfaces();
  EXPECT_EQ(transport::OpenInterface(1), 0);
  EXPECT_EQ(transport::OpenInterface(0), 1);

  network.behaviour().noise = true;
  network.behaviour().noiseIntervalUs = 1000;
  std::set<std::uint16_t> types;
  for (int i = 0; i < 50; ++i)
    if (const auto* f = transport::ReceiveFrame(0)) types.insert(readBe16(f->bytes(), 12));
  EXPECT_EQ(types, (std::set<std::uint16_t>{0x887B, 0x88E1}));
  transport::ResetInterfaceTable();
  transport::setBackend(nullptr);
}

}  // namespace
}  // namespace quorrel::sim
