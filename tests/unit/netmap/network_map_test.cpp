// The map over scripted frames, and over the simulated network with every frame failed once.
#include <gtest/gtest.h>

#include "api/device_table.h"
#include "netmap/network_map.h"
#include "support/av_frames.h"
#include "support/failure_injector.h"
#include "support/fake_backend.h"
#include "support/four_adapters.h"
#include "support/sim_host.h"
#include "thpapi/exchange.h"
#include "thpapi/frame_layout.h"

namespace quorrel::netmap {
namespace {

using namespace quorrel::testing;
using Rate = std::optional<double>;

constexpr MacAddress kA{0x00, 0xB0, 0x52, 0x20, 0x00, 0x02};
constexpr MacAddress kB{0x00, 0xB0, 0x52, 0x20, 0x00, 0x03};
constexpr MacAddress kSilent{0x00, 0xB0, 0x52, 0x20, 0x00, 0x04};
// What node i reported for node j, in the order local, A, B, silent.
const Rate kTruth[4][4] = {{{}, 238, 158, {}}, {225, {}, 198, {}}, {145, 185, {}, {}}, {}};

// The device table as a scan leaves it: the local AV adapter and its listed stations.
void listed(const MacAddress& local, std::initializer_list<MacAddress> stations, int version) {
  api::resetDeviceTable();
  thpapi::resetExchangeState();
  thpapi::setAvMessageVersion(version);
  api::currentState().localMac = local;
  api::currentDevices().localPresent = true;
  api::deviceTable().avLocal = true;
  for (const MacAddress& m : stations) api::UpsertRemote(m);
}

// A version-0 answer from `from`: one network, its station count at 38, stations of 15 bytes
// from 39 with the 8-bit rate at 13.
Bytes answer(const MacAddress& from, std::initializer_list<std::pair<MacAddress, int>> list) {
  Bytes f = avFrame(0xA039, 39 + 15 * list.size(), from, kHostMac);
  put(f, 20, {1});
  put(f, 38, {static_cast<std::uint8_t>(list.size())});
  std::size_t at = 39;
  for (const auto& [mac, rate] : list) {
    putMac(f, at, mac);
    put(f, at + 13, {static_cast<std::uint8_t>(rate)});
    at += 15;
  }
  return f;
}

TEST(NetworkMap, TakesAnswersOnlyFromAdaptersAskedOnTheInterfaceAsked) {
  platform::VirtualClock clock;
  platform::setClock(&clock);
  FakeBackend fake;
  fake.interfaces = {{"veth-a", kHostMac}, {"veth-b", MacAddress{2, 0, 0, 0, 0, 2}}};
  transport::setBackend(&fake);
  transport::EnumerateInterfaces();
  transport::OpenInterface(0);
  transport::OpenInterface(1);
  listed(kAdapterMac, {kA, kSilent}, 0);
  // The silent station answers on the other interface only; a stranger nobody asked answers.
  fake.ports[1].incoming.push_back(answer(kSilent, {{kA, 99}, {kAdapterMac, 99}}));
  fake.ports[0].incoming.push_back(answer(kB, {{kSilent, 77}, {kAdapterMac, 77}}));
  fake.ports[0].incoming.push_back(answer(kAdapterMac, {{kA, 180}, {kSilent, 90}}));
  fake.ports[0].incoming.push_back(answer(kA, {{kAdapterMac, 170}, {kSilent, 90}}));
  transport::ReceivePath path;
  const MapResult r = gatherNetworkMap(path);
  ASSERT_EQ(r.map.nodes.size(), 3u);
  EXPECT_TRUE(r.map.nodes[0].answered && r.map.nodes[1].answered && !r.map.nodes[2].answered);
  ASSERT_EQ(r.map.links.size(), 1u);
  EXPECT_EQ((std::tuple{r.map.links[0].aToB, r.map.links[0].bToA}), (std::tuple{238, 225}));
  EXPECT_TRUE(fake.ports[1].sent.empty());
  EXPECT_EQ(readMac(fake.ports[0].sent.at(0), 6), kHostMac);
  transport::resetInterfaceTable();
  transport::setBackend(nullptr);
  platform::setClock(nullptr);
}

// Each frame failed once in turn, in both message versions: one failure is made good by the
// second ask, so every run ends within the bound with the whole map, the silent station
// without links; the requests carry the local adapter's message version.
TEST(NetworkMap, SweepFourAdaptersOneSilent) {
  for (const Fault fault : {Fault::FailSend, Fault::DropAnswer, Fault::CorruptAnswer})
    for (const auto& [chip, version] : {std::pair{1, 0}, std::pair{4, thpapi::kMessageVersionV1}}) {
      SCOPED_TRACE(std::string(faultName(fault)) + " chip " + std::to_string(chip));
      sim::Scenario s;
      std::string error;
      EXPECT_TRUE(sim::parseScenario(kFourAdapters, s, error)) << error;
      s.local.chipId = static_cast<std::uint8_t>(chip);
      SimHost h(s);
      const auto run = [&](FailureInjector& injector) {
        reopenThrough(injector);
        listed(kSimLocalMac, {kA, kB, kSilent}, version);
        transport::ReceivePath path;
        const std::uint32_t start = platform::tickCount();
        const MapResult r = gatherNetworkMap(path);
        EXPECT_LE(platform::tickCount() - start, gatherBoundMs(3));
        ASSERT_EQ(r.map.links.size(), 3u);
        EXPECT_FALSE(r.map.nodes.at(3).answered);
        for (const MapLink& l : r.map.links)
          EXPECT_EQ((std::tuple{l.aToB, l.bToA}), (std::tuple{kTruth[l.a][l.b], kTruth[l.b][l.a]}));
      };
      EXPECT_GE(sweep(h.backend, fault, &h.clock, run, [](std::uint32_t, const auto&) {}), 4u);
      for (const auto& f : h.sent()) EXPECT_EQ(f[14], chip == 4 ? 1 : 0);
    }
}

}  // namespace
}  // namespace quorrel::netmap
