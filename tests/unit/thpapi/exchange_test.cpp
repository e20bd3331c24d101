// Polls and waits over a scripted backend and a virtual clock: time-outs, skipped frames,
// oversized frames, and the requests SendAvRequest puts on the wire (late answers and floods:
// the simulated adapter's wait test). Then the request builders: bytes at their offsets and
// build failures.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "platform/clock.h"
#include "support/av_frames.h"
#include "support/fake_backend.h"
#include "thpapi/exchange.h"
#include "thpapi/last_error.h"
#include "thpapi/module_transfer.h"
#include "thpapi/request_builders.h"
#include "transport/interface_table.h"
#include "transport/receive_path.h"

// Every wait here takes frames the way the program does, without the scan's bookkeeping.
static quorrel::transport::ReceivePath path;

namespace quorrel::thpapi {
namespace {

using namespace quorrel::testing;

class ExchangeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake.interfaces = {{"veth-a", kHostMac}, {"veth-b", MacAddress{2, 0, 0, 0, 0, 2}}};
    transport::setBackend(&fake);
    platform::setClock(&clock);
    ASSERT_EQ(transport::EnumerateInterfaces(), 1);
    ASSERT_EQ(transport::OpenInterface(0), 1);
    ASSERT_EQ(transport::OpenInterface(1), 1);
    transport::setCurrentInterface(0);
    resetExchangeState();
    abandonTransfer();
  }
  void TearDown() override {
    abandonTransfer();
    transport::resetInterfaceTable();
    transport::setBackend(nullptr);
    platform::setClock(nullptr);
  }
  std::deque<Bytes>& incoming(int port) { return fake.ports[port].incoming; }

  FakeBackend fake;
  platform::VirtualClock clock;
  ThapiResult r;
};

// The path takes management frames once and drops others; a host action is answered on the
// interface it came from during any wait: back to the adapter, result 0, zeros to 64 bytes, and
// one too short to read with result 1.
TEST_F(ExchangeTest, PathAndAwaitMatchOnTypeOnlyAndAnswerHostActions) {
  transport::Frame frame;
  EXPECT_FALSE(path.next(frame));
  Bytes hp1(60, 0);
  put(hp1, 12, {0x88, 0x7B});
  incoming(1).push_back(with(avFrame(0xA001, 88), 12, 0x08));  // IPv4
  incoming(1).push_back(Bytes(1600, 0x88));                    // longer than any Ethernet frame
  incoming(1).push_back(hp1);
  ASSERT_TRUE(path.next(frame));
  EXPECT_EQ((std::tuple{frame.length, frame.arrival, frame.etherType(), path.next(frame)}),
            (std::tuple{60u, 1, 0x887B, false}));

  const std::uint32_t start = platform::tickCount();
  EXPECT_EQ((std::tuple{AwaitConfirmation(path, 0xA000, r), platform::tickCount(), avAnswered()}),
            (std::tuple{false, start, false}));

  incoming(1) = {statusConfirm(0xA062, 2), avFrame(0xA062, 20), statusConfirm(0xA051)};
  ASSERT_TRUE(AwaitConfirmation(path, 0xA050, r));
  EXPECT_EQ(fake.ports[1].sent,
            (std::vector<Bytes>{request(0xA063), with(request(0xA063), 20, 1)}));
  EXPECT_FALSE(anyFrameWaiting());

  // Unrelated frames are skipped; the version confirmation of any adapter on any interface
  // answers a version request.
  incoming(1).push_back(statusConfirm(0xA051));
  incoming(1).push_back(avFrame(0xA0FE, 60));
  incoming(1).push_back(versionConfirm(2, "remote", MacAddress{0, 0xB0, 0x52, 9, 9, 9}));
  int arrival = -1;
  ASSERT_TRUE(AwaitConfirmation(path, 0xA000, r, &arrival));
  EXPECT_EQ((std::tuple{r.mmtype, arrival, avAnswered()}), (std::tuple{0xA001, 1, true}));

  // A commit confirmation answers any request; a refused one answers none.
  incoming(0).push_back(statusConfirm(0xA029, 1));
  EXPECT_FALSE(AwaitConfirmation(path, 0xA050, r));
  incoming(0).push_back(statusConfirm(0xA029));
  EXPECT_TRUE(AwaitConfirmation(path, 0xA050, r));

  // A version-1 network information answer is skipped until version 1 is expected.
  const Bytes v1 = avFrameV1(0xA039, 60);
  incoming(0).push_back(v1);
  EXPECT_FALSE(AwaitConfirmation(path, 0xA038, r));
  setAvMessageVersion(4);
  incoming(0).push_back(v1);
  EXPECT_EQ((std::tuple{AwaitConfirmation(path, 0xA038, r), r.operation}), (std::tuple{true, 3u}));
}

// A queue of unrelated frames with the answer behind them: both waits pass over them without
// a pause and take the answer.
TEST_F(ExchangeTest, WaitsTakeTheAnswerBehindAQueueOfOtherFrames) {
  for (const bool await : {true, false}) {
    for (int i = 0; i < 1000; ++i) incoming(0).push_back(statusConfirm(0xA051));
    incoming(0).push_back(versionConfirm(1, "late"));
    EXPECT_TRUE(await ? AwaitConfirmation(path, 0xA000, r) : WaitConfirmation(path, 0xA000, r));
    EXPECT_TRUE(incoming(0).empty());
  }
}

// Builds into a buffer of 0xEE bytes; expects 64 bytes and nothing written past them.
template <typename... Args, typename... Given>
Bytes build(std::size_t (*encode)(const MacAddress&, const MacAddress&, MutableByteSpan, Args...),
            const Given&... args) {
  Bytes f(kRequestBufferSize, 0xEE);
  EXPECT_EQ(encode(kHostMac, kAdapterMac, f, args...), 64u);
  EXPECT_EQ(f[64], 0xEE);
  f.resize(64);
  return f;
}

TEST_F(ExchangeTest, SendAvRequestAndTheBuildersPutTheirBytes) {
  const MacAddress remote{0x00, 0xB0, 0x52, 1, 2, 3};
  const std::vector<Bytes>& sent = fake.ports[0].sent;
  SendAvRequest(remote, 0xA000);
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0], avFrame(0xA000, 64, kHostMac, remote));

  // The station list request takes the layout of the version the adapter answered with.
  SendAvRequest(remote, 0xA038);
  EXPECT_EQ(networkInfoFormat(), 1);
  setAvMessageVersion(4);
  SendAvRequest(remote, 0xA038);
  EXPECT_EQ((std::tuple{sent.back(), networkInfoFormat()}),
            (std::tuple{avFrameV1(0xA038, 64, kHostMac, remote), 4}));

  ::testing::internal::CaptureStderr();
  SendAvRequest(remote, 0xA050);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  ::testing::internal::CaptureStderr();
  SendAvRequest(remote, 0xA024);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "something wrong in THAPI_GETVERSION \n");
  EXPECT_EQ(sent.size(), 3u);

  // An interface whose address is unknown sends nothing.
  fake.interfaces[1].mac = kNoMac;
  ASSERT_EQ(transport::EnumerateInterfaces(), 1);
  ASSERT_EQ(transport::OpenInterface(1), 1);
  transport::setCurrentInterface(1);
  SendAvRequest(remote, 0xA000);
  EXPECT_TRUE(fake.ports[1].sent.empty());

  // The builders: requests are their header and zeros to 64 bytes in buffers that hold them.
  EXPECT_EQ(build(thpapi_EncodeVersionRequest), request(0xA000));
  EXPECT_EQ(build(thpapi_ReadConfigurationBlock), request(0xA058));
  EXPECT_EQ(build(thpapi_EncodeNetworkInfoRequest, 0), request(0xA038));
  EXPECT_EQ(build(thpapi_EncodeNetworkInfoRequest, 1), request(0xA038));  // only 4 selects MMV 1
  EXPECT_EQ(build(thpapi_EncodeNetworkInfoRequest, 4),
            avFrameV1(0xA038, 64, kHostMac, kAdapterMac));
  // Buffers under 64 bytes are refused untouched.
  for (std::size_t size : {0u, 13u, 20u, 26u, 63u}) {
    Bytes f(size, 0xEE);
    resetLastError();
    EXPECT_EQ((std::tuple{thpapi_EncodeVersionRequest(kHostMac, kAdapterMac, f), lastError()}),
              (std::tuple{0u, 34}));
    resetLastError();
    EXPECT_EQ(
        (std::tuple{thpapi_EncodeNetworkInfoRequest(kHostMac, kAdapterMac, f, 4), lastError(), f}),
        (std::tuple{0u, 34, Bytes(size, 0xEE)}))
        << size;
  }

  // The key setting's local layout (key at 21, selector 0x0F, address at 38), and the remote
  // adapter's: selector 0, its address at 38 and its device access key at 44.
  SetKeyRecord key;
  Bytes local = request(0xA050, {1}), far;
  for (std::size_t i = 0; i < 16; ++i)
    key.networkMembershipKey[i] = local[21 + i] = std::uint8_t(0x10 + i);
  key.deviceKeySelector = local[37] = 0x0F;
  key.target = kAdapterMac;
  putMac(local, 38, kAdapterMac);
  EXPECT_EQ(build(thpapi_EncodeSetKeyRequest, key), local);
  key.deviceKeySelector = 0;
  key.target = remote;
  far = with(local, 37, 0);
  putMac(far, 38, remote);
  for (std::size_t i = 0; i < 16; ++i)
    key.deviceAccessKey[i] = far[44 + i] = std::uint8_t(0xA0 + i);
  EXPECT_EQ(build(thpapi_EncodeSetKeyRequest, key), far);
  resetLastError();
  key.deviceKeySelector = 0x05;
  Bytes f(kRequestBufferSize);
  EXPECT_EQ((std::tuple{thpapi_EncodeSetKeyRequest(kHostMac, kAdapterMac, f, key), lastError()}),
            (std::tuple{0u, 22}));
}

}  // namespace
}  // namespace quorrel::thpapi
