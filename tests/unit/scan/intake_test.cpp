// The frame intake and the HomePlug 1.0 handler on hand-made frames: the received-frame slot
// that a local-parameter fetch must not disturb, loopback decided per frame, short and long
// replies, rates at their bounds, and frames from sources that say nothing about us.
#include <cmath>

#include "api/rate_stats.h"
#include "scan/hp1_intake.h"
#include "scan_fixture.h"
#include "support/fake_backend.h"
#include "thpapi/decoder.h"

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
  Frame f(size, 0);
  std::copy(to.begin(), to.end(), f.begin());
  std::copy(from.begin(), from.end(), f.begin() + 6);
  f[12] = 0x88;
  f[13] = 0x7B;
  f[14] = 1;
  f[15] = type;
  f[16] = length;
  return f;
}

Frame networkStatistics(const MacAddress& from, std::uint8_t cls,
                        const std::vector<std::pair<MacAddress, std::uint16_t>>& stations,
                        std::size_t size = 0) {
  Frame f = hp1(kHost, from, 0x1A, 0xBB, size != 0 ? size : 24 + 12 * 15);
  f[17] = cls;
  f[20] = 0x01;  // fails 0x0102
  f[21] = 0x02;
  f[23] = 0x07;  // drops 7
  for (std::size_t i = 0; i < stations.size(); ++i) {
    const std::size_t at = 24 + 12 * i;
    if (at + 8 > f.size()) break;
    std::copy(stations[i].first.begin(), stations[i].first.end(), f.begin() + at);
    f[at + 6] = static_cast<std::uint8_t>(stations[i].second >> 8);
    f[at + 7] = static_cast<std::uint8_t>(stations[i].second);
  }
  return f;
}

Frame parametersReply(std::uint8_t selector, std::size_t size = 68) {
  Frame f = hp1(kHost, kDevice, 0x19, 0x33, size);
  f[17] = selector;
  for (std::size_t i = 18; i < std::min<std::size_t>(size, 68); ++i)
    f[i] = static_cast<std::uint8_t>(i);
  return f;
}

Frame avNoise() {
  Frame f(60, 0);
  std::copy(kHost.begin(), kHost.end(), f.begin());
  std::copy(kStranger.begin(), kStranger.end(), f.begin() + 6);
  f[12] = 0x88;
  f[13] = 0xE1;
  f[15] = 0xFE;
  f[16] = 0xA0;
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
    InstallScanIntake();
  }
  Frame poll() {
    std::array<std::uint8_t, 1528> buffer{};
    std::size_t length = 0;
    if (thpapi::PollManagementFrame(buffer, length) != 1) return {};
    return Frame(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(length));
  }
  quorrel::testing::FakeBackend fake;
};

TEST_F(IntakeTest, FetchStartedByAReplyLeavesItsFrameWholeAndLosesNothing) {
  const Frame reply = networkStatistics(kDevice, 3, {{kRemote, 300}});
  const Frame later1 = avNoise();
  const Frame later2 = hp1(kHost, kRemote, 0x08, 0);
  fake.ports[0].incoming = {reply, later1, later2};

  // The reply starts the fetch, which takes the other two frames while it waits.
  EXPECT_EQ(poll(), reply);
  EXPECT_EQ(intakeBacklog(0), 2u);
  EXPECT_EQ(poll(), later1);
  EXPECT_EQ(poll(), later2);
  EXPECT_TRUE(poll().empty());

  const api::InterfaceState& st = api::interfaceState(0);
  EXPECT_EQ(st.localMac, kDevice);
  EXPECT_TRUE(st.localPresent);
  EXPECT_EQ(st.localClass, api::DeviceClass::HomePlug1);
  // Three unanswered rounds: the local parameters request from the interface to broadcast.
  const auto& sent = fake.ports[0].sent;
  ASSERT_EQ(sent.size(), 3u);
  for (const Frame& f : sent) {
    ASSERT_EQ(f.size(), 60u);
    EXPECT_EQ(readMac(f, 0), kBroadcastMac);
    EXPECT_EQ(readMac(f, 6), kHost);
    EXPECT_EQ(readBe16(f, 12), 0x887B);
    EXPECT_EQ((Frame(f.begin() + 14, f.begin() + 18)), (Frame{0x01, 0x19, 0x0F, 0x00}));
    EXPECT_TRUE(std::all_of(f.begin() + 18, f.end(), [](std::uint8_t b) { return b == 0; }));
  }
}

TEST_F(IntakeTest, FetchEndsWhenTheParametersArrive) {
  fake.ports[0].incoming = {networkStatistics(kDevice, 3, {}), parametersReply(1)};
  poll();
  EXPECT_EQ(fake.ports[0].sent.size(), 1u);
  EXPECT_TRUE(api::interfaceState(0).localAnswered);
  EXPECT_EQ(api::interfaceState(0).localParameters[0], 18);
  EXPECT_EQ(api::interfaceState(0).localParameters[49], 67);
}

TEST_F(IntakeTest, ClassOutsideHomePlug1MarksNoLocalDevice) {
  fake.ports[0].incoming = {networkStatistics(kDevice, 5, {})};
  poll();
  EXPECT_FALSE(api::interfaceState(0).localPresent);
  EXPECT_TRUE(fake.ports[0].sent.empty());
}

TEST_F(IntakeTest, LoopbackIsDecidedFrameByFrame) {
  Frame loop = hp1(kDevice, kDevice, 0x08, 0);
  fake.ports[0].incoming = {loop, hp1(kHost, kStranger, 0x08, 0),
                            hp1(kBroadcastMac, kBroadcastMac, 0x08, 0)};
  poll();
  EXPECT_TRUE(scanState().loopbackSeen);
  EXPECT_EQ(api::interfaceState(0).localMac, kDevice);
  EXPECT_TRUE(api::interfaceState(0).localPresent);
  poll();
  poll();
  // Neither a later ordinary frame nor a broadcast one takes the local device's place.
  EXPECT_EQ(api::interfaceState(0).localMac, kDevice);
}

TEST_F(IntakeTest, ParametersReplyIsReadOnlyWhenWhole) {
  fake.ports[0].incoming = {parametersReply(1, 67)};
  poll();
  EXPECT_FALSE(api::interfaceState(0).localAnswered);
  fake.ports[0].incoming = {parametersReply(1, 68)};
  poll();
  EXPECT_TRUE(api::interfaceState(0).localAnswered);
  // A reply of the working copy does not count as the stored parameters.
  api::interfaceState(0).localAnswered = false;
  fake.ports[0].incoming = {parametersReply(2, 68)};
  poll();
  EXPECT_FALSE(api::interfaceState(0).localAnswered);
}

TEST_F(IntakeTest, HandlerKeepsParametersByTheirSelector) {
  api::interfaceState(0).localAnswered = false;
  EXPECT_TRUE(HandleHp1Frame(parametersReply(1)));
  EXPECT_FALSE(scanState().localParamsValid);
  EXPECT_TRUE(HandleHp1Frame(parametersReply(2)));
  EXPECT_TRUE(scanState().localParamsValid);
  EXPECT_EQ(scanState().localParams[0], 18);
  EXPECT_FALSE(HandleHp1Frame(parametersReply(1, 60)));

  // Bytes that repeat go to the parameter log instead.
  Frame repeated = parametersReply(2);
  std::fill(repeated.begin() + 18, repeated.begin() + 25, 0xAA);
  scanState().localParamsValid = false;
  EXPECT_TRUE(HandleHp1Frame(repeated));
  EXPECT_FALSE(scanState().localParamsValid);
  EXPECT_EQ(listener.parameterLogs, (std::vector<int>{1}));
}

void useRemote(int i, const MacAddress& mac, double rate) {
  api::RemoteDevice& r = api::currentDevices().remotes[static_cast<std::size_t>(i)];
  r.inUse = true;
  r.mac = mac;
  r.rateStats.currentRate = rate;
  r.deviceClass = api::DeviceClass::Usb;
}

TEST_F(IntakeTest, RateUpdateWithNoLeadingRemoteGivesZero) {
  api::currentState().localMac = kDevice;
  // The first entry is unused: no remote counts towards the interface rate.
  useRemote(1, kRemote, 50);
  api::currentDevices().rateStats.currentRate = 77;
  EXPECT_TRUE(HandleHp1Frame(networkStatistics(kDevice, 3, {})));
  const api::RateStats& s = api::currentDevices().rateStats;
  EXPECT_EQ(s.currentRate, 0);
  EXPECT_EQ(s.fails, 0x0102u);
  EXPECT_EQ(s.drops, 7u);
  EXPECT_EQ(listener.refreshes, (std::vector<int>{0}));
}

TEST_F(IntakeTest, RateUpdateHoldsTheRawInterfaceRateToSixteenBits) {
  api::currentState().localMac = kDevice;
  useRemote(0, kStranger, 5000);  // 5000 Mbps x 42 is far past 65535
  HandleHp1Frame(networkStatistics(kDevice, 3, {}));
  EXPECT_EQ(api::currentDevices().rateStats.currentRate,
            std::trunc(api::rateToMbps(65535, api::RateMode::HomePlug1)));
}

TEST_F(IntakeTest, StationsAreReadOnlyAsFarAsTheReplyHolds) {
  api::currentState().localMac = kDevice;
  const MacAddress third{0x00, 0xB0, 0x52, 0x50, 0x00, 0x03};
  useRemote(0, kRemote, 0);
  useRemote(1, third, 0);
  // Room for one whole station and part of a second; the multicast bit of a listed MAC is
  // not part of it.
  MacAddress listed = kRemote;
  listed[0] |= 0x01;
  HandleHp1Frame(networkStatistics(kDevice, 3, {{listed, 300}, {third, 300}}, 24 + 12 + 8));
  EXPECT_EQ(api::currentDevices().remotes[0].rateStats.currentRate, 8);
  EXPECT_EQ(api::currentDevices().remotes[1].rateStats.currentRate, 0);
}

TEST_F(IntakeTest, RepliesOfStrangersAndOtherInterfacesAreIgnored) {
  api::currentState().localMac = kDevice;
  useRemote(0, kRemote, 0);
  EXPECT_FALSE(HandleHp1Frame(networkStatistics(kStranger, 3, {{kRemote, 300}})));
  EXPECT_EQ(api::currentDevices().remotes[0].rateStats.currentRate, 0);

  // A statistics reply that came in on interface 1 adds nothing to interface 0.
  fake.ports[1].incoming = {hp1(kHost, kStranger, 0x08, 0)};
  const Frame f = poll();
  ASSERT_FALSE(f.empty());
  EXPECT_EQ(thpapi::lastFrameInterface(), 1);
  EXPECT_FALSE(HandleHp1Frame(f));
  EXPECT_EQ(api::FindRemote(kStranger), nullptr);

  // Our own frames coming back through the capture are no remote either.
  fake.ports[0].incoming = {hp1(kBroadcastMac, kHost, 0x08, 0)};
  EXPECT_TRUE(HandleHp1Frame(poll()));
  EXPECT_EQ(api::FindRemote(kHost), nullptr);
}

TEST_F(IntakeTest, TruncatedAndForeignFramesAreHarmless) {
  for (std::size_t n : {0u, 6u, 13u, 14u, 15u, 16u, 17u}) {
    Frame f = networkStatistics(kDevice, 3, {{kRemote, 300}});
    f.resize(n);
    EXPECT_FALSE(HandleHp1Frame(f)) << n;
    fake.ports[0].incoming = {f};
    poll();
  }
  EXPECT_FALSE(api::interfaceState(0).localPresent);
  EXPECT_FALSE(HandleHp1Frame(avNoise()));
}

// Station lists with duplicates, the local device, broadcast, and a count past the data.
TEST_F(IntakeTest, HostileStationListOccupiesOneEntryPerStation) {
  transport::setBackend(&backend);
  sim::Network* net = attach(std::string(kAvLocal));
  net->addHandler(
      0x88E1, 0xA038,
      [](sim::Network&, const sim::wire::Request& r, std::vector<sim::Answer>& out) {
        const MacAddress list[] = {kRemote, kAvLocalMac, kRemote, kBroadcastMac, kStranger};
        Frame f(39 + 15 * 5, 0);
        std::copy(r.source.begin(), r.source.end(), f.begin());
        std::copy(kAvLocalMac.begin(), kAvLocalMac.end(), f.begin() + 6);
        const std::uint8_t header[] = {0x88, 0xE1, 0x00, 0x39, 0xA0, 0x00, 0xB0, 0x52, 1};
        std::copy(std::begin(header), std::end(header), f.begin() + 12);
        f[38] = 9;  // more than the frame holds
        for (int i = 0; i < 5; ++i) {
          std::copy(list[i].begin(), list[i].end(), f.begin() + 39 + 15 * i);
          f[39 + 15 * i + 13] = 40;
        }
        out.push_back(sim::Answer{f, 10, std::nullopt, std::nullopt});
      });
  ASSERT_TRUE(StartScan(3, 3, true));
  ticks(3);
  const auto& remotes = api::currentDevices().remotes;
  EXPECT_EQ(remotes[0].mac, kRemote);
  EXPECT_EQ(remotes[0].timesSeen, 2u);
  EXPECT_EQ(remotes[1].mac, kStranger);
  EXPECT_TRUE(isZeroMac(remotes[2].mac));
  EXPECT_EQ(api::FindRemote(kAvLocalMac), nullptr);
}

}  // namespace
}  // namespace quorrel::scan::testing
