// The map over the simulated network (each end's rates, a silent station without links, both
// message versions), over scripted frames (answers nobody asked for, or on another interface),
// and with every frame failed once in turn.
#include <gtest/gtest.h>

#include <optional>

#include "adapter-sim/core/scenario.h"
#include "api/device_table.h"
#include "netmap/network_map.h"
#include "platform/clock.h"
#include "support/av_frames.h"
#include "support/failure_injector.h"
#include "support/fake_backend.h"
#include "support/sim_host.h"
#include "thpapi/exchange.h"
#include "thpapi/frame_layout.h"
#include "transport/interface_table.h"

namespace quorrel::netmap {
namespace {

using namespace quorrel::testing;

constexpr MacAddress kA{0x00, 0xB0, 0x52, 0x20, 0x00, 0x02};
constexpr MacAddress kB{0x00, 0xB0, 0x52, 0x20, 0x00, 0x03};
constexpr MacAddress kSilent{0x00, 0xB0, 0x52, 0x20, 0x00, 0x04};

// A's link to B is given from A's end in both directions; the silent station is listed by the
// local adapter but answers nothing asked at its own address.
sim::Scenario fourAdapters(int chip) {
  const std::string text = "[local]\nmac 00:B0:52:10:00:01\nchip " + std::to_string(chip) +
                           "\n"
                           "[remote]\nmac 00:B0:52:20:00:02\nchip 2\nrate 180 170\n"
                           "link 00:B0:52:20:00:03 150 140\n"
                           "[remote]\nmac 00:B0:52:20:00:03\nchip 3\nrate 120 110\n"
                           "[remote]\nmac 00:B0:52:20:00:04\nchip 2\nrate 90 80\nnetwork_info no\n";
  sim::Scenario s;
  std::string error;
  EXPECT_TRUE(sim::parseScenario(text, s, error)) << error;
  return s;
}

// The device table as a scan leaves it: the local AV adapter and its listed stations.
void listed(const MacAddress& local, std::initializer_list<MacAddress> stations, int version) {
  api::ResetDeviceTable();
  thpapi::ResetExchangeState();
  thpapi::setAvMessageVersion(version);
  api::currentState().localMac = local;
  api::currentDevices().localPresent = true;
  api::deviceTable().avLocal = true;
  for (const MacAddress& m : stations) api::UpsertRemote(m);
}

struct Expected {
  MacAddress a, b;
  std::optional<double> aToB, bToA;
};

const MapLink* findLink(const NetworkMap& m, const MacAddress& a, const MacAddress& b) {
  for (const MapLink& l : m.links)
    if (m.nodes[l.a].mac == a && m.nodes[l.b].mac == b) return &l;
  return nullptr;
}

TEST(NetworkMap, FourAdaptersOneSilentInBothMessageVersions) {
  // Raw rates as Mbps: 180 238, 170 225, 120 158, 110 145, 150 198, 140 185.
  const Expected links[] = {
      {kSimLocalMac, kA, 238, 225}, {kSimLocalMac, kB, 158, 145}, {kA, kB, 198, 185}};
  for (const auto& [chip, version] : {std::pair{1, 0}, std::pair{4, thpapi::kMessageVersionV1}}) {
    SCOPED_TRACE(chip);
    SimHost h(fourAdapters(chip));
    listed(kSimLocalMac, {kA, kB, kSilent}, version);
    transport::ReceivePath path;
    const std::uint32_t start = platform::tickCount();
    const MapResult r = gatherNetworkMap(path);
    EXPECT_LE(platform::tickCount() - start, gatherBoundMs(3));
    ASSERT_EQ(r.outcome, MapOutcome::Gathered);
    ASSERT_EQ(r.map.nodes.size(), 4u);
    EXPECT_TRUE(r.map.nodes[0].local && r.map.nodes[0].answered);
    EXPECT_EQ(r.map.nodes[3].mac, kSilent);
    EXPECT_FALSE(r.map.nodes[3].answered);
    ASSERT_EQ(r.map.links.size(), std::size(links));
    for (const Expected& e : links) {
      const MapLink* l = findLink(r.map, e.a, e.b);
      ASSERT_NE(l, nullptr);
      EXPECT_EQ(l->aToB, e.aToB);
      EXPECT_EQ(l->bToA, e.bToA);
    }
    // The silent station was asked twice, in the message version of the local adapter.
    int silentAsks = 0;
    for (const auto& f : h.sent()) {
      ASSERT_GE(f.size(), 17u);
      EXPECT_EQ(f[14], chip == 4 ? 1 : 0);
      EXPECT_EQ(readLe16(f, 15), 0xA038);
      if (readMac(f, 0) == kSilent) ++silentAsks;
    }
    EXPECT_EQ(silentAsks, kMapAsks);
  }
}

TEST(NetworkMap, NeedsAnAvLocalAdapter) {
  SimHost h(fourAdapters(1));
  transport::ReceivePath path;
  listed(kSimLocalMac, {kA}, 0);
  api::deviceTable().avLocal = false;
  EXPECT_EQ(gatherNetworkMap(path).outcome, MapOutcome::NotAvNetwork);
  api::ResetDeviceTable();
  EXPECT_EQ(gatherNetworkMap(path).outcome, MapOutcome::NoLocalDevice);
  EXPECT_TRUE(h.sent().empty());
}

// A version-0 network information answer from `from` listing `stations` with raw rates.
Bytes infoAnswer(const MacAddress& from,
                 std::initializer_list<std::pair<MacAddress, int>> stations) {
  Bytes f = avFrame(0xA039, 39 + 15 * stations.size(), from, kHostMac);
  put(f, 20, {1});                                           // one network
  put(f, 38, {static_cast<std::uint8_t>(stations.size())});  // its station count
  std::size_t at = 39;
  for (const auto& [mac, rate] : stations) {
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
  transport::setCurrentInterface(0);
  listed(kAdapterMac, {kA, kSilent}, 0);
  const MacAddress stranger{0x00, 0xB0, 0x52, 0x66, 0x00, 0x01};
  // The silent station answers only on the other interface; a stranger nobody asked answers
  // the host, listing the silent station.
  fake.ports[1].incoming.push_back(infoAnswer(kSilent, {{kA, 99}, {kAdapterMac, 99}}));
  fake.ports[0].incoming.push_back(infoAnswer(stranger, {{kSilent, 77}, {kAdapterMac, 77}}));
  fake.ports[0].incoming.push_back(infoAnswer(kAdapterMac, {{kA, 180}, {kSilent, 90}}));
  fake.ports[0].incoming.push_back(infoAnswer(kA, {{kAdapterMac, 170}, {kSilent, 90}}));
  transport::ReceivePath path;
  const MapResult r = gatherNetworkMap(path);
  ASSERT_EQ(r.map.nodes.size(), 3u);
  EXPECT_TRUE(r.map.nodes[0].answered && r.map.nodes[1].answered);
  EXPECT_FALSE(r.map.nodes[2].answered);
  ASSERT_EQ(r.map.links.size(), 1u);
  EXPECT_EQ(r.map.links[0].aToB, 238);
  EXPECT_EQ(r.map.links[0].bToA, 225);
  // Requests went out on the interface asked only, to each adapter by its own address.
  EXPECT_TRUE(fake.ports[1].sent.empty());
  ASSERT_GE(fake.ports[0].sent.size(), 3u);
  EXPECT_EQ(readMac(fake.ports[0].sent[0], 0), kAdapterMac);
  EXPECT_EQ(readMac(fake.ports[0].sent[0], 6), kHostMac);
  transport::ResetInterfaceTable();
  transport::setBackend(nullptr);
  platform::setClock(nullptr);
}

// Each frame failed once in turn: the map still ends within its bound, and whatever it shows
// is true (an adapter answered or is silent; a link carries the rates its ends gave).
TEST(NetworkMap, SweepEndsWithinBoundAndShowsOnlyTrueLinks) {
  const std::optional<double> truth[4][4] = {
      {{}, 238, 158, {}}, {225, {}, 198, {}}, {145, 185, {}, {}}, {{}, {}, {}, {}}};
  for (const Fault fault : {Fault::FailSend, Fault::DropAnswer, Fault::CorruptAnswer}) {
    SCOPED_TRACE(faultName(fault));
    SimHost h(fourAdapters(1));
    transport::ReceivePath path;
    const std::uint32_t runs = sweep(
        h.backend, fault, &h.clock,
        [&](FailureInjector& injector) {
          transport::ResetInterfaceTable();
          transport::setBackend(&injector);
          transport::EnumerateInterfaces();
          transport::OpenInterface(0);
          transport::setCurrentInterface(0);
          listed(kSimLocalMac, {kA, kB, kSilent}, 0);
          const std::uint32_t start = platform::tickCount();
          const MapResult r = gatherNetworkMap(path);
          EXPECT_LE(platform::tickCount() - start, gatherBoundMs(3));
          ASSERT_EQ(r.map.nodes.size(), 4u);
          EXPECT_FALSE(r.map.nodes[3].answered);
          for (const MapLink& l : r.map.links) {
            EXPECT_TRUE(r.map.nodes[l.a].answered && r.map.nodes[l.b].answered);
            EXPECT_EQ(l.aToB, truth[l.a][l.b]);
            EXPECT_EQ(l.bToA, truth[l.b][l.a]);
          }
        },
        [](std::uint32_t, const FailureInjector&) {});
    EXPECT_GE(runs, 4u);
  }
}

}  // namespace
}  // namespace quorrel::netmap
