// The HomePlug 1.0 bookkeeping, the parameter fetch and the handler on hand-made frames: a
// fetch asked for by a reply and made at the scan's next step, loopback decided per frame,
// rates and counts, and frames from sources that say nothing about us. What a frame holds is
// the decoder's table, in the brantleapi tests.
#include <cmath>

#include "api/rate_stats.h"
#include "scan/hp1_scan.h"
#include "scan_fixture.h"
#include "support/av_frames.h"
#include "support/fake_backend.h"
#include "thpapi/decoder.h"
#include "unit/brantleapi/reply_frames.h"

namespace quorrel::scan::testing {
namespace {

using Frame = std::vector<std::uint8_t>;

constexpr MacAddress kHost{0x02, 0x00, 0x00, 0x00, 0x00, 0x10};
constexpr MacAddress kDevice{0x00, 0xB0, 0x52, 0x50, 0x00, 0x01};
constexpr MacAddress kRemote{0x00, 0xB0, 0x52, 0x50, 0x00, 0x02};
constexpr MacAddress kStranger{0x00, 0xB0, 0x52, 0x77, 0x00, 0x07};

// A HomePlug 1.0 frame written byte by byte: one entry of `type` with length byte `length`.
Frame hp1(const MacAddress& to, const MacAddress& from, std::uint8_t type, std::uint8_t length,
          std::size_t size = 60) {
  return brantleapi::testing::replyFrame(from, to, type, length, size);
}

// Class byte at 17, fails 0x0102 at 20, drops 7 at 22, stations of 12 bytes from 24.
Frame networkStatistics(const MacAddress& from, std::uint8_t cls,
                        const std::vector<std::pair<MacAddress, std::uint16_t>>& stations,
                        std::size_t size = 24 + 12 * 15) {
  Frame f = hp1(kHost, from, 0x1A, 0xBB, size);
  f[17] = cls;
  quorrel::testing::put(f, 20, {0x01, 0x02, 0x00, 0x07});
  for (std::size_t i = 0; i < stations.size() && 24 + 12 * i + 8 <= f.size(); ++i) {
    const std::size_t at = 24 + 12 * i;
    quorrel::testing::putMac(f, at, stations[i].first);
    f[at + 6] = static_cast<std::uint8_t>(stations[i].second >> 8);
    f[at + 7] = static_cast<std::uint8_t>(stations[i].second);
    if (24 + 12 * i + 12 > f.size()) continue;
    f[at + 9] = static_cast<std::uint8_t>(i + 1);   // failures
    f[at + 11] = static_cast<std::uint8_t>(i + 2);  // drops
  }
  return f;
}

// Parameters from 18 with the byte values 18, 19, ...
Frame parametersReply(std::uint8_t selector, std::size_t size = 68) {
  Frame f = hp1(kHost, kDevice, 0x19, 0x33, size);
  f[17] = selector;
  for (std::size_t i = 18; i < std::min<std::size_t>(size, 68); ++i)
    f[i] = static_cast<std::uint8_t>(i);
  return f;
}

class IntakeTest : public ScanFixture {
 protected:
  void SetUp() override {
    ScanFixture::SetUp();
    fake.interfaces = {{"fake0", kHost}, {"fake1", MacAddress{0x02, 0, 0, 0, 0, 0x11}}};
    transport::setBackend(&fake);
    transport::EnumerateInterfaces();
    transport::OpenInterface(0);
    transport::OpenInterface(1);
  }
  Frame poll() {
    if (!receivePath().next(taken)) return {};
    return Frame(taken.bytes().begin(), taken.bytes().end());
  }
  // `bytes` as the path hands it out, arrived on `arrival`.
  static transport::Frame at(const Frame& bytes, int arrival = 0) {
    transport::Frame f;
    f.arrival = arrival;
    f.length = std::min(bytes.size(), f.data.size());
    std::copy_n(bytes.begin(), f.length, f.data.begin());
    return f;
  }
  transport::Frame taken;  // the last frame poll took
  void useRemote(int i, const MacAddress& mac, double rate) {
    api::RemoteDevice& r = api::currentDevices().remotes[static_cast<std::size_t>(i)];
    r.inUse = true;
    r.mac = mac;
    r.rateStats.currentRate = rate;
    r.deviceClass = api::DeviceClass::Usb;
  }
  quorrel::testing::FakeBackend fake;
};

TEST_F(IntakeTest, FetchAskedByAReplyWaitsForTheScanAndLosesNothing) {
  const Frame reply = networkStatistics(kDevice, 3, {{kRemote, 300}});
  const Frame later1 = quorrel::testing::avFrame(0xA0FE, 60, kStranger, kHost);
  const Frame later2 = hp1(kHost, kRemote, 0x08, 0);
  fake.ports[0].incoming = {reply, later1, later2};

  // The reply only asks for the fetch: nothing is sent from inside the receive.
  EXPECT_EQ(poll(), reply);
  EXPECT_TRUE(fake.ports[0].sent.empty());
  fetchWantedParameters();
  // The statistics reply the fetch took while it waited was handled, not lost.
  EXPECT_NE(api::FindRemote(kRemote), nullptr);
  EXPECT_TRUE(poll().empty());
  EXPECT_EQ(api::interfaceState(0).localMac, kDevice);
  EXPECT_EQ(api::interfaceState(0).localClass, api::DeviceClass::HomePlug1);
  // Three unanswered rounds: the stored parameters asked of broadcast from the interface.
  EXPECT_EQ(fake.ports[0].sent, std::vector<Frame>(3, hp1(kBroadcastMac, kHost, 0x19, 0x0F)));

  // The parameters ending the fetch after one round; a class outside HomePlug 1.0 starts none.
  fake.ports[0].sent.clear();
  fake.ports[0].incoming = {networkStatistics(kDevice, 3, {}), parametersReply(1)};
  poll();
  fetchWantedParameters();
  EXPECT_EQ(fake.ports[0].sent.size(), 1u);
  EXPECT_EQ(api::interfaceState(0).localParameters[0], 18);
  EXPECT_EQ(api::interfaceState(0).localParameters[49], 67);
  fake.ports[1].incoming = {networkStatistics(kDevice, 5, {})};
  EXPECT_FALSE(poll().empty());
  EXPECT_FALSE(api::interfaceState(1).localPresent);
  fetchWantedParameters();
  EXPECT_TRUE(fake.ports[1].sent.empty());
}

TEST_F(IntakeTest, ParametersAreTakenOnlyWholeAndByTheirSelector) {
  // The intake: a reply of the working copy is not the stored parameters (a short one is no
  // parameters reply at all: the decoder's table).
  for (const auto& [reply, stored] :
       {std::pair{parametersReply(2, 68), false}, std::pair{parametersReply(1, 68), true}}) {
    api::interfaceState(0).localAnswered = false;
    fake.ports[0].incoming = {reply};
    poll();
    EXPECT_EQ(api::interfaceState(0).localAnswered, stored) << reply.size() << " " << +reply[17];
  }
  // The handler: before the stored copy answered, the working copy is what counts.
  api::interfaceState(0).localAnswered = false;
  scanState().localParamsValid = false;
  EXPECT_TRUE(HandleHp1Frame(at(parametersReply(1))));
  EXPECT_FALSE(scanState().localParamsValid);
  EXPECT_TRUE(HandleHp1Frame(at(parametersReply(2))));
  EXPECT_TRUE(scanState().localParamsValid);
  EXPECT_EQ(scanState().localParams[0], 18);
  // Bytes that repeat go to the parameter log instead.
  Frame repeated = parametersReply(2);
  std::fill(repeated.begin() + 18, repeated.begin() + 25, 0xAA);
  scanState().localParamsValid = false;
  EXPECT_TRUE(HandleHp1Frame(at(repeated)));
  EXPECT_FALSE(scanState().localParamsValid);
  EXPECT_EQ(reported().parameterLogs, (std::vector<int>{1}));
}

TEST_F(IntakeTest, InterfaceRateWithoutALeadingRemoteIsZeroAndHeldToSixteenBits) {
  const struct {
    int entry;
    double rate;
    double expected;
  } cases[] = {
      {1, 50, 0},  // the first entry unused: no remote counts
      {0, 5000, std::trunc(api::rateToMbps(65535, api::RateMode::HomePlug1))},  // 5000 x 42
  };
  api::currentState().localMac = kDevice;
  for (const auto& c : cases) {
    api::currentDevices().remotes = {};
    api::currentDevices().rateStats.currentRate = 77;
    useRemote(c.entry, kStranger, c.rate);
    EXPECT_TRUE(HandleHp1Frame(at(networkStatistics(kDevice, 3, {}))));
    const api::RateStats& s = api::currentDevices().rateStats;
    EXPECT_EQ(s.currentRate, c.expected) << c.entry;
    EXPECT_EQ(s.fails, 0x0102u);
    EXPECT_EQ(s.drops, 7u);
  }
  EXPECT_EQ(reported().refreshes, (std::vector<int>{0, 0}));
}

// How many stations a reply holds: the decoder's table. The multicast bit of a listed MAC is
// not part of it, and each station's two counts go with its rate.
TEST_F(IntakeTest, ListedStationsAreRatedWithTheirCounts) {
  const MacAddress first{0x00, 0xB0, 0x52, 0x50, 0x01, 0}, second{0x00, 0xB0, 0x52, 0x50, 0x01, 1};
  MacAddress marked = first;
  marked[0] |= 0x01;
  api::currentState().localMac = kDevice;
  useRemote(0, first, 0);
  useRemote(1, second, 0);
  HandleHp1Frame(at(networkStatistics(kDevice, 3, {{marked, 300}, {second, 300}})));
  EXPECT_EQ(remote(0).rateStats.currentRate, 8);
  EXPECT_EQ(remote(1).rateStats.currentRate, 8);
  EXPECT_EQ(remote(1).rateStats.fails, 2u);
  EXPECT_EQ(remote(1).rateStats.drops, 3u);
}

TEST_F(IntakeTest, LoopbackPerFrameAndRepliesOfStrangersAndOtherInterfacesIgnored) {
  // A frame from the device to itself marks the loopback and the local device; neither a later
  // ordinary frame nor a broadcast one takes its place.
  fake.ports[0].incoming = {hp1(kDevice, kDevice, 0x08, 0), hp1(kHost, kStranger, 0x08, 0),
                            hp1(kBroadcastMac, kBroadcastMac, 0x08, 0)};
  poll();
  EXPECT_TRUE(hp1Bookkeeping().loopbackSeen());
  EXPECT_TRUE(api::interfaceState(0).localPresent);
  poll();
  poll();
  EXPECT_EQ(api::interfaceState(0).localMac, kDevice);

  useRemote(0, kRemote, 0);
  EXPECT_FALSE(HandleHp1Frame(at(networkStatistics(kStranger, 3, {{kRemote, 300}}))));
  // Bit 7 of the class byte marks a request, whatever the other bits.
  EXPECT_FALSE(HandleHp1Frame(at(networkStatistics(kDevice, 0x83, {{kRemote, 300}}))));
  EXPECT_EQ(remote(0).rateStats.currentRate, 0);

  // A statistics reply that came in on interface 1 adds nothing to interface 0.
  fake.ports[1].incoming = {hp1(kHost, kStranger, 0x08, 0)};
  poll();
  ASSERT_EQ(taken.arrival, 1);
  EXPECT_FALSE(HandleHp1Frame(taken));
  EXPECT_EQ(api::FindRemote(kStranger), nullptr);

  // Our own frames coming back through the capture are no remote either.
  fake.ports[0].incoming = {hp1(kBroadcastMac, kHost, 0x08, 0)};
  poll();
  EXPECT_TRUE(HandleHp1Frame(taken));
  EXPECT_EQ(api::FindRemote(kHost), nullptr);
}

// Station lists with duplicates, the local device, broadcast, and a count past the data.
TEST_F(IntakeTest, HostileStationListOccupiesOneEntryPerStation) {
  transport::setBackend(&backend);
  sim::Network* net = attach(kAvLocal);
  net->addHandler(
      0x88E1, 0xA038,
      [](sim::Network&, const sim::wire::Request& r, std::vector<sim::Answer>& out) {
        const MacAddress list[] = {kRemote, kAvLocalMac, kRemote, kBroadcastMac, kStranger};
        auto f = sim::wire::avFrame(r.source, kAvLocalMac, 0, 0xA039, 39 + 15 * 5 - 20);
        f[20] = 1;
        f[38] = 9;  // more than the frame holds
        for (int i = 0; i < 5; ++i) {
          std::copy(list[i].begin(), list[i].end(), f.begin() + 39 + 15 * i);
          f[39 + 15 * i + 13] = 40;
        }
        out.push_back(sim::Answer{f, 10, std::nullopt, std::nullopt});
      });
  ASSERT_TRUE(StartScan(3, 3, true));
  ticks(3);
  EXPECT_EQ(remote(0).mac, kRemote);
  EXPECT_EQ(remote(0).timesSeen, 2u);
  EXPECT_EQ(remote(1).mac, kStranger);
  EXPECT_TRUE(isZeroMac(remote(2).mac));
  EXPECT_EQ(api::FindRemote(kAvLocalMac), nullptr);
}

}  // namespace
}  // namespace quorrel::scan::testing
