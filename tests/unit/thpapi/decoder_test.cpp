// The decoder on every confirmation type and on hostile frames; module transfers driven frame
// by frame through it and against the simulated adapter, every step failed once in turn; polls
// and waits over a scripted backend and under a flood, and the requests on the wire.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>

#include "make-samples/sample_files.h"
#include "platform/clock.h"
#include "support/av_frames.h"
#include "support/failure_injector.h"
#include "support/fake_backend.h"
#include "support/flood_backend.h"
#include "support/sim_host.h"
#include "thpapi/decoder.h"
#include "thpapi/exchange.h"
#include "thpapi/last_error.h"
#include "thpapi/module_transfer.h"
#include "thpapi/request_builders.h"
#include "thpapi/transfer_loop.h"
#include "transport/interface_table.h"
#include "transport/receive_path.h"

// Every wait here takes frames the way the program does, without the scan's bookkeeping.
static quorrel::transport::ReceivePath path;

namespace quorrel::thpapi {
namespace {

using namespace quorrel::testing;

class DecoderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetLastError();
    abandonTransfer();
  }
  void TearDown() override { abandonTransfer(); }
  int decode(const Bytes& f, int version = 0) { return thpapi_DecodeFrame(f, r, version); }
  // What the transfer's wait does with each confirmation.
  int take(const Bytes& f) {
    const int decoded = decode(f);
    return decoded != 0 ? decoded : advanceTransfer(r);
  }
  static Bytes next() {
    Bytes f(kRequestBufferSize);
    f.resize(thpapi_NextPendingFrame(f));
    return f;
  }
  ThapiResult r;
};
class TransferTest : public DecoderTest {};

TEST_F(DecoderTest, HeaderTypeAndLengthChecksGiveTheirErrorsInOrder) {
  const Bytes good = versionConfirm(3, "text");
  const struct {
    const char* what;
    Bytes frame;
    int version, error;
  } cases[] = {
      {"IPv4", with(good, 12, 0x08), 0, 1},
      {"1 byte", Bytes(1, 0x88), 0, 1},
      {"13 bytes", Bytes(13, 0x88), 0, 1},
      {"no frame", Bytes(), 0, 14},
      {"19 bytes", avFrame(0xA001, 19), 0, 14},
      {"version 1 where 0 is expected", with(good, 14, 1), 0, 14},
      {"foreign OUI, known type", with(good, 19, 0x53), 0, 14},
      {"version 0 where 1 is expected", good, 4, 14},
      {"unknown type", avFrame(0xA0FE, 64), 0, 40},
      {"a response, never received", avFrame(0xA063, 64), 0, 40},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(
        (std::tuple{decode(c.frame, c.version), lastError(), r.status, r.mmtype, r.operation}),
        (std::tuple{-1, c.error, c.error, 0xFFFF, 0u}))
        << c.what;
  }
  EXPECT_EQ(
      (std::tuple{thpapi_DecodeFrame(ByteSpan(static_cast<const std::uint8_t*>(nullptr), 0), r, 0),
                  lastError()}),
      (std::tuple{-1, 14}));

  // Confirmations too short for their fields.
  const struct {
    std::uint16_t type;
    std::size_t shortLength;
    int error;  // 0: last error untouched
  } shortOnes[] = {
      {0xA051, 20, 34},  {0xA00D, 21, 34}, {0xA021, 28, 34}, {0xA005, 28, 34}, {0xA05D, 20, 34},
      {0xA07D, 20, 34},  {0xA001, 87, 14}, {0xA01D, 20, 14}, {0xA095, 20, 14}, {0xA035, 27, 14},
      {0xA036, 184, 14}, {0xA059, 21, 14}, {0xA025, 35, 14}, {0xA039, 32, 14}, {0xA029, 21, 0},
      {0xA055, 85, 0},   {0xA071, 602, 0}, {0xA091, 605, 0}, {0xA062, 20, 0},
  };
  for (const auto& c : shortOnes) {
    setLastError(99);
    // Never mistaken for a success.
    EXPECT_EQ((std::tuple{decode(avFrame(c.type, c.shortLength)), lastError(), r.status != 0,
                          r.dataValid}),
              (std::tuple{-1, c.error == 0 ? 99 : c.error, true, 0}))
        << std::hex << c.type;
  }
  // Link statistics: one byte short of control 1's fields, and a control value that has none.
  EXPECT_EQ((std::tuple{decode(with(avFrame(0xA031, 24 + 246), 21, 1)), lastError()}),
            (std::tuple{-1, 14}));
  EXPECT_EQ((std::tuple{decode(with(avFrame(0xA031, 400), 21, 7)), lastError()}),
            (std::tuple{-1, 22}));
}

TEST_F(DecoderTest, EachConfirmationGivesItsOperationAndDataLength) {
  const struct {
    std::uint16_t type;
    std::size_t length;
    std::uint32_t operation, phase;
    int dataLength;  // -1: not checked
  } cases[] = {
      {0xA001, 88, 4, 2, 0},    {0xA051, 60, 8, 2, 0},    {0xA01D, 60, 5, 2, 0},
      {0xA05D, 60, 12, 2, 0},   {0xA07D, 60, 13, 2, 0},   {0xA095, 60, 15, 2, 0},
      {0xA055, 86, 2, 2, 65},   {0xA031, 64, 1, 2, 43},   {0xA035, 28, 0, 0, 7},
      {0xA036, 185, 0, 0, 165}, {0xA071, 603, 10, 2, -1}, {0xA091, 606, 14, 2, -1},
      {0xA06D, 23, 11, 2, 2},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(decode(with(avFrame(c.type, c.length), 20, 7)), 0) << std::hex << c.type;
    EXPECT_EQ((std::tuple{r.operation, r.phase, r.mmtype, r.status,
                          c.dataLength < 0 ? -1 : int(r.dataLength)}),
              (std::tuple{c.operation, c.phase, c.type, c.type == 0xA036 ? 0 : 7,  // an indication
                          c.dataLength}))
        << std::hex << c.type;
  }
  // The version confirmation's identifier, length and text field, from both addresses.
  const Bytes version = versionConfirm(5, "LQ-B200 firmware 1.2");
  ASSERT_EQ(decode(version), 0);
  EXPECT_EQ((std::tuple{r.source, r.destination, r.dataValid, r.version.deviceId, r.version.text}),
            (std::tuple{kAdapterMac, kHostMac, 1, 5, std::string("LQ-B200 firmware 1.2")}));
  // The length byte cannot reach past the 64-byte field, and a zero ends the text.
  Bytes claimsMore = versionConfirm(2, std::string(70, 'Z').c_str());
  claimsMore[22] = 255;
  ASSERT_EQ(decode(claimsMore), 0);
  EXPECT_EQ(r.version.text, std::string(64, 'Z'));
  ASSERT_EQ(decode(with(versionConfirm(2, "LQA-100-MAC"), 27, 0)), 0);
  EXPECT_EQ(r.version.text, "LQA-");
  // A host action indication: decoding it makes nothing wait (its answer: the exchange test).
  ASSERT_EQ(decode(statusConfirm(0xA062, 0x04)), 0);
  EXPECT_EQ((std::tuple{r.operation, r.phase, r.hostActionCode}), (std::tuple{6u, 1u, 4}));
  Bytes out(1528, 0xEE);
  EXPECT_EQ(thpapi_NextPendingFrame(out), 0u);
}

// A version-0 station list: count at 38, stations from 39, 15 bytes each, rate at 13.
Bytes networkInfoV0(std::uint8_t count, std::size_t stationsPresent) {
  Bytes f = avFrame(0xA039, std::max<std::size_t>(60, 39 + 15 * stationsPresent));
  f[20] = 1;
  f[38] = count;
  for (std::size_t i = 0; i < stationsPresent; ++i) {
    putMac(f, 39 + 15 * i, MacAddress{0x00, 0xB0, 0x52, 0, 0, std::uint8_t(i + 1)});
    f[39 + 15 * i + 13] = std::uint8_t(100 + i);
  }
  return f;
}

TEST_F(DecoderTest, NetworkInfoAndConfigurationBlockCopyOnlyWhatTheFrameHolds) {
  Bytes f = networkInfoV0(2, 2);
  ASSERT_EQ(decode(f), 0);
  EXPECT_EQ((std::tuple{r.operation, r.dataLength, r.stations.size()}),
            (std::tuple{3u, 1u + std::uint32_t(f.size() - 21), 2u}));
  EXPECT_EQ((std::tuple{r.stations.at(1).mac, r.stations[1].rate}),
            (std::tuple{MacAddress{0x00, 0xB0, 0x52, 0, 0, 2}, 101}));
  for (std::size_t i = r.dataLength; i < r.data.size(); ++i) ASSERT_EQ(r.data[i], 0) << i;

  // A count of 200 stations in a frame that holds 3: cut to 3, in the data too.
  ASSERT_EQ(decode(networkInfoV0(200, 3)), 0);
  EXPECT_EQ((std::tuple{r.data[18], r.stations.size()}), (std::tuple{3, 3u}));

  // A maximal frame never copies past the record room.
  Bytes big = networkInfoV0(255, 98);
  big.resize(1514);
  ASSERT_EQ(decode(big), 0);
  EXPECT_EQ((std::tuple{r.dataLength, r.stations.size()}), (std::tuple{1u + 1493u, 1475u / 15u}));

  ASSERT_EQ(decode(avFrame(0xA039, 33)), 0);  // the minimum does not reach the count
  EXPECT_TRUE(r.stations.empty());

  // Version 1: count at 54, stations from 60, 24 bytes each, rate at 16.
  f = avFrameV1(0xA039, 60 + 24 * 2);
  f[27] = 1;
  f[54] = 2;
  putMac(f, 60, MacAddress{2, 0, 0, 0, 0, 9});
  putLe16(f, 60 + 16, 0x1234);
  putMac(f, 84, MacAddress{2, 0, 0, 0, 0, 10});
  ASSERT_EQ(decode(f, 4), 0);
  EXPECT_EQ(
      (std::tuple{r.dataLength, r.stations.size(), r.stations.at(0).mac, r.stations[0].rate}),
      (std::tuple{1u + std::uint32_t(f.size() - 28), 2u, MacAddress{2, 0, 0, 0, 0, 9}, 0x1234}));
  EXPECT_EQ((std::tuple{decode(avFrameV1(0xA039, 55), 4), lastError()}), (std::tuple{-1, 14}));

  // The configuration block, bounded by the frame too.
  f = avFrame(0xA059, 30);
  put(f, 20, {0x10, 200, 1, 2, 3, 4, 5, 6, 7, 8});  // announces more than the frame holds
  ASSERT_EQ(decode(f), 0);
  EXPECT_EQ((std::tuple{r.operation, r.status, r.dataValid, r.dataLength,
                        Bytes(r.data.begin(), r.data.begin() + 11)}),
            (std::tuple{16u, 0x10, 1, 2u + 8u, Bytes{0x10, 200, 1, 2, 3, 4, 5, 6, 7, 8, 0}}));
  f.resize(1514, 0x77);
  ASSERT_EQ(decode(f), 0);
  EXPECT_EQ(r.dataLength, 2u + 1492u);
}

TEST_F(DecoderTest, ReadPieceLengthIsCheckedBeforeUse) {
  Bytes tooLong = readConfirm(2, 0, Bytes(8, 0));
  putLe16(tooLong, 26, 0xFFFF);  // in a 60-byte frame
  Bytes pastEnd = tooLong;
  putLe16(pastEnd, 26, 1000);  // within 1024 but past the frame end
  // A damaged piece (error 22): the simulated adapter's retry test.
  const struct {
    const Bytes& frame;
    int error;
  } cases[] = {{tooLong, 34}, {pastEnd, 14}};
  Bytes out(1528);
  for (const auto& c : cases) {
    ASSERT_EQ(thpapi_BeginModuleRead(kHostMac, kAdapterMac, 2), 0);
    ASSERT_EQ(thpapi_NextPendingFrame(out), 64u);
    ASSERT_EQ(decode(c.frame), 0) << c.error;
    EXPECT_EQ(pendingState().pendingOperation, 9u);  // decoding leaves the transfer be
    // First piece: no retries, the transfer ends.
    EXPECT_EQ((std::tuple{advanceTransfer(r), lastError(), r.status, r.dataValid, r.phase,
                          pendingState().pendingOperation}),
              (std::tuple{-1, c.error, c.error, 0, 2u, 0u}));
  }
}

Bytes pattern(std::size_t n, std::uint8_t seed) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = std::uint8_t(seed + i * 7 + (i >> 8));
  return b;
}

Bytes slice(const Bytes& b, std::size_t at, std::size_t n) {
  return Bytes(b.begin() + at, b.begin() + at + n);
}

Bytes readRequest(std::uint8_t module, std::uint32_t offset, std::uint32_t length) {
  Bytes f = request(0xA024, {module, 0});
  putLe16(f, 22, length);
  putLe32(f, 24, offset);
  return f;
}

Bytes writePiece(std::uint32_t offset, const Bytes& piece) {
  Bytes f = avFrame(0xA020, 32, kHostMac, kAdapterMac);
  put(f, 20, {2, 0});
  putLe16(f, 22, std::uint32_t(piece.size()));
  putLe32(f, 24, offset);
  putLe32(f, 28, referenceChecksum(piece, 0, piece.size()));
  f.insert(f.end(), piece.begin(), piece.end());
  return f;
}

// At a piece boundary, one byte past it, and with a short last piece.
TEST_F(TransferTest, ParameterBlockReadAsksWholePiecesAndAShortLastOneOnce) {
  for (const std::uint32_t size : {1024u, 1025u, 3000u}) {
    SCOPED_TRACE(size);
    Bytes block = pattern(size, 3);
    putLe16(block, 4, size);  // the block states its own length 4 bytes in
    ASSERT_EQ(thpapi_BeginModuleRead(kHostMac, kAdapterMac, 2), 0);
    Bytes small(63);
    EXPECT_EQ(thpapi_NextPendingFrame(small), 0u);  // the frame keeps waiting
    EXPECT_EQ(lastError(), 34);
    std::uint32_t offset = 0;
    for (; offset < size; offset += 1024) {
      const std::uint32_t length = std::min(1024u, size - offset);
      EXPECT_EQ(next(), readRequest(2, offset, length)) << offset;
      EXPECT_TRUE(next().empty());
      if (offset != 0) {  // the answer before, again: neither moves the read nor makes a frame wait
        EXPECT_EQ(take(readConfirm(2, offset - 1024, slice(block, offset - 1024, 1024))), -1);
        EXPECT_EQ(lastError(), 22);
        EXPECT_FALSE(anyFrameWaiting());
      }
      ASSERT_EQ(take(readConfirm(2, offset, slice(block, offset, length))), 0) << offset;
    }
    ModulePiece piece;
    ASSERT_TRUE(readModulePiece(r, piece));
    EXPECT_EQ((std::tuple{piece.last, piece.offset, r.phase, pendingState().pendingOperation,
                          next().empty()}),
              (std::tuple{true, offset - 1024, 2u, 0u, true}));
  }
}

TEST_F(TransferTest, FirmwareReadEndsAtADamagedOrBackwardHeader) {
  ASSERT_EQ(thpapi_BeginModuleRead(kHostMac, kAdapterMac, 1), 0);
  EXPECT_EQ(next(), readRequest(1, 0, 44));
  Bytes damaged = imageHeader(0x1000, 1500, 1544);
  damaged[40] ^= 1;
  EXPECT_EQ((std::tuple{take(readConfirm(1, 0, damaged)), lastError(), anyFrameWaiting()}),
            (std::tuple{-1, 14, false}));

  ASSERT_EQ(thpapi_BeginModuleRead(kHostMac, kAdapterMac, 1), 0);
  next();
  ASSERT_EQ(take(readConfirm(1, 0, imageHeader(0x1000, 10, 44))), 0);
  EXPECT_EQ(next(), readRequest(1, 44, 44));  // the next header, on its own
  EXPECT_EQ(take(readConfirm(1, 44, imageHeader(0x1000, 10, 44))), -1);  // points at itself
  EXPECT_FALSE(anyFrameWaiting());
}

TEST_F(TransferTest, TwoPieceWriteEndsInACommitAndARefusedPieceIsResentThreeTimes) {
  const Bytes second = pattern(2048, 3);
  for (int refusals : {3, 4}) {
    SCOPED_TRACE(refusals);
    ASSERT_EQ(thpapi_BeginModuleWrite(kHostMac, kAdapterMac, {}, second, 0x21), 0);
    EXPECT_EQ(next(), writePiece(0, slice(second, 0, 1024)));
    ASSERT_EQ(take(writeConfirm(2, 1024, 0)), 0);
    for (int i = 0; i < refusals; ++i) {
      EXPECT_EQ(next(), writePiece(1024, slice(second, 1024, 1024)));
      EXPECT_EQ(take(writeConfirm(2, 1024, 1024, 0x30)), i < 3 ? 0 : -1);
      EXPECT_EQ(r.phase, i < 3 ? 1u : 2u);
    }
    if (refusals == 4) {
      EXPECT_EQ((std::tuple{lastError(), anyFrameWaiting()}), (std::tuple{22, false}));
      continue;
    }
    EXPECT_EQ(next(), writePiece(1024, slice(second, 1024, 1024)));
    ASSERT_EQ(take(writeConfirm(2, 1024, 1024)), 0);
    EXPECT_EQ(next(), request(0xA028, {0x02}));  // the parameter block was written
    ASSERT_EQ(take(statusConfirm(0xA029)), 0);
    EXPECT_EQ((std::tuple{r.phase, r.operation, pendingState().pendingOperation}),
              (std::tuple{2u, std::uint32_t(THAPI_WRITE_MODULES), 0u}));
  }
}

TEST_F(TransferTest, BeginAndThePieceCursorRefuseBadKindsBuffersAndChains) {
  const Bytes second = pattern(100, 1);
  Bytes damaged = imageHeader(0x1000, 8, 0);
  damaged.resize(52);
  damaged[0] ^= 1;
  Bytes backwards = imageHeader(0x1000, 8, 44);
  const Bytes back = imageHeader(0x2000, 8, 0x10);
  backwards.insert(backwards.end(), back.begin(), back.end());
  const struct {
    const char* what;
    Bytes first, second;
    std::uint32_t options;
    int error;
  } cases[] = {
      {"no second buffer", second, {}, 0x21, 14},
      {"memory write without images", {}, second, 0x00, 14},
      {"damaged header", damaged, second, 0x00, 22},
      {"header pointing backwards", backwards, second, 0x00, 14},
      {"next header past the buffer", imageHeader(0x1000, 8, 5000), second, 0x00, 14},
      {"image past the buffer", imageHeader(0x1000, 0xFFFFFFF0u, 0), second, 0x00, 14},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(
        (std::tuple{thpapi_BeginModuleWrite(kHostMac, kAdapterMac, c.first, c.second, c.options),
                    lastError(), anyFrameWaiting()}),
        (std::tuple{-1, c.error, false}))
        << c.what;
  }
  for (int kind : {0, 4}) {
    resetLastError();
    EXPECT_EQ((std::tuple{thpapi_BeginModuleRead(kHostMac, kAdapterMac, kind), lastError()}),
              (std::tuple{-1, 22}));
  }
  Bytes block(100);
  std::size_t received = 0;
  EXPECT_EQ(
      (std::tuple{readModuleBlock(path, kHostMac, kAdapterMac, 3, block, received), lastError()}),
      (std::tuple{-1, 22}));

  // The piece cursor refuses an empty buffer and a piece size of zero, and stays in bounds.
  resetLastError();
  EXPECT_EQ((std::tuple{PieceCursor::create({}).has_value(), lastError()}),
            (std::tuple{false, 22}));
  const Bytes buffer(2500, 1);
  EXPECT_FALSE(PieceCursor::create(buffer, 0));
  auto c = PieceCursor::create(buffer);
  ASSERT_TRUE(c);
  EXPECT_EQ((std::tuple{c->seek(2), c->atEnd(452), c->next(), lastError(), c->piece().empty()}),
            (std::tuple{452u, true, 0u, 34, true}));
  // n × piece size past 2^32 must not wrap back into the buffer.
  EXPECT_EQ((std::tuple{c->seek(0x00400001u), c->offset()}), (std::tuple{0u, 2500u}));
}

class ExchangeTest : public DecoderTest {
 protected:
  void SetUp() override {
    DecoderTest::SetUp();
    fake.interfaces = {{"veth-a", kHostMac}, {"veth-b", MacAddress{2, 0, 0, 0, 0, 2}}};
    transport::setBackend(&fake);
    platform::setClock(&clock);
    ASSERT_EQ(transport::EnumerateInterfaces(), 1);
    ASSERT_EQ(transport::OpenInterface(0), 1);
    ASSERT_EQ(transport::OpenInterface(1), 1);
    transport::setCurrentInterface(0);
    resetExchangeState();
  }
  void TearDown() override {
    DecoderTest::TearDown();
    transport::resetInterfaceTable();
    transport::setBackend(nullptr);
    platform::setClock(nullptr);
  }
  std::deque<Bytes>& incoming(int port) { return fake.ports[port].incoming; }

  FakeBackend fake;
  platform::VirtualClock clock;
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
  EXPECT_EQ(sent, std::vector<Bytes>{avFrame(0xA000, 64, kHostMac, remote)});

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
  for (std::size_t size : {0u, 13u, 20u, 26u, 63u}) {
    Bytes f(size, 0xEE);
    for (const bool v1 : {false, true}) {
      resetLastError();
      EXPECT_EQ((std::tuple{v1 ? thpapi_EncodeNetworkInfoRequest(kHostMac, kAdapterMac, f, 4)
                               : thpapi_EncodeVersionRequest(kHostMac, kAdapterMac, f),
                            lastError(), f}),
                (std::tuple{0u, 34, Bytes(size, 0xEE)}))
          << size;
    }
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

using Bytes = std::vector<std::uint8_t>;

constexpr MacAddress kNewMac{0x00, 0xB0, 0x52, 0x10, 0x00, 0x77};
constexpr std::uint8_t kGuard = 0xA5;
const MacAddress& kHost = sim::kDefaultHostMac;

// Pieces of at most 1024 bytes over [from, to).
void expectPieces(const std::vector<SentRequest>& asked, std::size_t& i, std::uint32_t from,
                  std::uint32_t to) {
  for (std::uint32_t at = from; at < to; at += 1024, ++i) {
    ASSERT_LT(i, asked.size());
    EXPECT_EQ(asked[i].offset, at);
    EXPECT_EQ(asked[i].length, std::min<std::uint32_t>(1024, to - at));
  }
}

Bytes chainOf(std::initializer_list<std::size_t> sizes) {
  std::vector<samples::FirmwareImage> images;
  for (std::size_t size : sizes)
    images.push_back(samples::sampleFirmwareImages(images.size() + 1, size).back());
  return samples::buildFirmwareFile(images);
}

TEST(SimTransfer, FirmwareHeadersReadOnTheirOwnAndAHostActionAnsweredMidTransfer) {
  const Bytes chain = chainOf({1024, 1, 0, 2049});
  SimHost h(simScenario(chain));
  Bytes image(chain.size() + 16, kGuard);
  std::size_t received = 0;
  ASSERT_EQ(readModuleBlock(path, kHost, kSimLocalMac, 1, image, received), 0);
  ASSERT_EQ(received, chain.size());
  EXPECT_TRUE(std::equal(chain.begin(), chain.end(), image.begin()));
  const auto asked = sentRequests(h, 0xA024);
  std::size_t i = 0;
  for (std::uint32_t at = 0; i < asked.size();) {
    EXPECT_EQ(asked[i].offset, at);
    EXPECT_EQ(asked[i++].length, 44u);
    expectPieces(asked, i, at + 44, at + 44 + readLe32(chain, at + 12));
    if ((at = readLe32(chain, at + 36)) == 0) break;
  }
  EXPECT_EQ(i, asked.size());

  // Kind 3 reads both modules, with a host action indication answered in the middle.
  const auto& m = h.local().modules;
  h.behaviour().hostActionAfter = m.counters.pieces + 3;
  h.behaviour().hostActionCode = 5;
  Bytes firmware(8192), block(16384);
  ModuleReadBuffers buffers{firmware, block};
  ASSERT_EQ(readModules(path, kHost, kSimLocalMac, 3, buffers), 0);
  EXPECT_EQ(Bytes(firmware.begin(), firmware.begin() + buffers.firmwareReceived), m.firmware);
  EXPECT_EQ(Bytes(block.begin(), block.begin() + buffers.parameterBlockReceived), m.parameterBlock);
  EXPECT_EQ((std::tuple{m.counters.hostActionResponses, m.counters.lastHostActionResult}),
            (std::tuple{1u, 0}));
}

// Reads that must end early or retry: a module announcing more than its buffer is refused at
// the first answer; the third piece damaged three times is read in the end, four times ends
// the read; the first piece has no retries. Nothing is written past the buffer.
TEST(SimTransfer, OversizedModulesAndDamagedPiecesEndOrRetryTheRead) {
  const struct {
    int kind;
    sim::Scenario scenario;
    std::size_t room;
    std::uint32_t piece, count;  // the piece damaged, and how often
    int error;                   // 0: read in the end
    std::size_t requests;
  } cases[] = {
      {2, simScenario({}, patternBlock(20000, 20000)), 15560, 0, 0, kErrorTooSmall, 1},
      {1, simScenario(chainOf({3000, 100})), 2048, 0, 0, kErrorTooSmall, 1},
      {2, simScenario(), 15560, 3, 3, 0, 16 + 3},
      {2, simScenario(), 15560, 3, 4, kErrorInvalid, 2 + 4},
      {2, simScenario(), 15560, 1, 1, kErrorInvalid, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.requests);
    SimHost h(c.scenario);
    h.behaviour().corruptPiece = c.piece;
    h.behaviour().corruptCount = c.count;
    Bytes buffer(c.room + 64, kGuard);
    std::size_t received = 0;
    EXPECT_EQ(readModuleBlock(path, kHost, kSimLocalMac, c.kind,
                              MutableByteSpan(buffer).first(c.room), received),
              c.error == 0 ? 0 : -1);
    EXPECT_TRUE(c.error == 0 || lastError() == c.error);
    EXPECT_EQ(sentRequests(h, 0xA024).size(), c.requests);
    EXPECT_TRUE(
        std::all_of(buffer.begin() + c.room, buffer.end(), [](auto b) { return b == kGuard; }));
    if (c.kind == 2 && c.piece != 0) {
      EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 15560) == h.local().modules.parameterBlock,
                c.error == 0);
    }
  }
}

TEST(SimTransfer, WritesSendEveryPieceAndEndInTheCommitOrStartTheirOptionsAsk) {
  const Bytes chain = chainOf({1500, 2100});
  const std::size_t last = readLe32(chain, 36);
  const std::uint32_t load = readLe32(chain, last + 8);
  const Bytes block =
      samples::buildParameterBlock(kNewMac, {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5, 6});
  struct Case {
    bool withFirmware;
    std::uint32_t options;
    std::uint16_t closing;
    std::uint8_t flags;
  };
  for (const Case c :
       {Case{false, 0x23, 0xA028, 0x02}, Case{true, 0x23, 0xA028, 0x03},
        Case{true, 0x13, 0xA028, 0x13}, Case{true, 0x22, 0xA00C, 1}, Case{true, 0x00, 0xA00C, 1}}) {
    SCOPED_TRACE(c.options);
    SimHost h(simScenario());
    sim::prepareModules(h.local());
    const Bytes oldFirmware = h.local().modules.firmware;
    const ByteSpan first = c.withFirmware ? ByteSpan(chain) : ByteSpan{};
    ASSERT_EQ(writeModules(path, kHost, kSimLocalMac, first, block, c.options), 0);
    // A memory write sends the last image from its load address, then the block at 0x01F00000.
    const bool memory = c.options == 0;
    const std::uint32_t blockAt = memory ? 0x01F00000u : 0;
    const auto pieces = sentRequests(h, memory ? 0xA004 : 0xA020);
    std::size_t i = 0;
    if (memory) expectPieces(pieces, i, load, load + 2100);
    if (c.withFirmware && !memory) expectPieces(pieces, i, 0, std::uint32_t(chain.size()));
    expectPieces(pieces, i, blockAt, blockAt + 15560);
    EXPECT_EQ(i, pieces.size());
    const Bytes& closing = h.sent().back();
    ASSERT_EQ(readLe16(closing, 15), c.closing);
    EXPECT_EQ(closing[20], c.flags);
    if (c.closing == 0xA00C) {  // the start names the image sent to memory, or the first one
      for (std::size_t w = 0; w < 4; ++w)
        EXPECT_EQ(readLe32(closing, 24 + 4 * w), readLe32(chain, (memory ? last : 0) + 8 + 4 * w));
    } else {
      EXPECT_EQ(h.local().modules.firmware, c.withFirmware ? chain : oldFirmware);
      EXPECT_EQ(h.local().modules.parameterBlock, block);
    }
  }
}

// A late answer is taken; a wait with none ends at its deadline, and so does one under a flood
// of other management frames, one a millisecond. Under a steady stream of unrelated frames from
// the adapter's network, the parameter block (the local network key's read) is still read.
TEST(Waits, TakeALateAnswerAndEndByTheirDeadlineUnderAFlood) {
  SimHost h(simScenario());
  FloodBackend flood(h.backend, h.clock, statusConfirm(0xA051));
  h.behaviour().delayMs = 60;
  ThapiResult r;
  std::uint32_t start = platform::tickCount();
  SendAvRequest(kSimLocalMac, 0xA000);
  ASSERT_TRUE(WaitConfirmation(path, 0xA000, r));
  EXPECT_EQ(r.version.deviceId, 1);
  EXPECT_GE(platform::tickCount() - start, 60u);
  h.behaviour().dropEvery = 1;  // nothing answers any more
  for (const bool flooded : {false, true}) {
    if (flooded) reopenThrough(flood);
    start = platform::tickCount();
    SendAvRequest(kSimLocalMac, 0xA000);
    EXPECT_FALSE(WaitConfirmation(path, 0xA000, r));
    EXPECT_GE(platform::tickCount() - start, kWaitConfirmationMs) << flooded;
    EXPECT_LE(platform::tickCount() - start, kWaitConfirmationMs + 1) << flooded;
  }
  h.behaviour().dropEvery = 0;
  h.behaviour().noise = true;
  h.behaviour().noiseIntervalUs = 800;
  reopenThrough(h.backend);
  Bytes block(16384);
  std::size_t received = 0;
  ASSERT_EQ(readModuleBlock(path, kHost, kSimLocalMac, kModuleParameterBlock, block, received), 0);
  EXPECT_EQ(Bytes(block.begin(), block.begin() + received), h.local().modules.parameterBlock);
  EXPECT_GT(h.network.stats().noise, 100u);
}

// Each step of the parameter block read and of module writes with commit and with start failed
// once in turn: success with the right bytes, or failure with the layer's error and the transfer
// abandoned, nothing written past the caller's buffer, and never a mixture of two blocks.
TEST(Sweep, ParameterBlockReadAndModuleWritesWithCommitAndWithStart) {
  const Bytes chain = samples::buildFirmwareFile(samples::sampleFirmwareImages(2, 2500));
  // The adapter keeps its address, so every run finds it after the restart of the last.
  const Bytes newBlock =
      samples::buildParameterBlock(kSimLocalMac, {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4});
  for (const int options : {-1, 0x23, 0x00}) {  // -1: the read
    for (const Fault fault : kEveryFault) {
      SCOPED_TRACE(std::string(faultName(fault)) + " " + std::to_string(options));
      SimHost h(simScenario());
      sim::prepareModules(h.local());
      const Bytes old = h.local().modules.parameterBlock;
      Bytes block;
      int result = 0;
      std::size_t received = 0;
      const std::uint32_t runs = sweep(
          h.backend, fault, &h.clock,
          [&](FailureInjector& injector) {
            reopenThrough(injector);
            resetLastError();
            abandonTransfer();
            block.assign(old.size() + 64, kGuard);
            if (options < 0) {
              result = readModuleBlock(path, kHost, kSimLocalMac, 2,
                                       MutableByteSpan(block).first(old.size()), received);
              return;
            }
            h.local().modules.parameterBlock = old;
            result =
                writeModules(path, kHost, kSimLocalMac, chain, newBlock, std::uint32_t(options));
            h.clock.sleepMs(3000);  // past any restart
          },
          [&](std::uint32_t n, const FailureInjector&) {
            SCOPED_TRACE(n);
            EXPECT_TRUE(result == 0 || (result == -1 && lastError() == kErrorInvalid));
            EXPECT_EQ(pendingState().pendingOperation, 0u);
            EXPECT_FALSE(anyFrameWaiting());
            const Bytes& now = h.local().modules.parameterBlock;
            if (options < 0) {
              EXPECT_TRUE(std::all_of(block.begin() + static_cast<std::ptrdiff_t>(old.size()),
                                      block.end(), [](auto b) { return b == kGuard; }));
              EXPECT_TRUE(result != 0 || (received == old.size() &&
                                          std::equal(old.begin(), old.end(), block.begin())));
            } else {
              EXPECT_TRUE(now == old || now == newBlock);
              EXPECT_TRUE(result != 0 || options != 0x23 || now == newBlock);
            }
          });
      EXPECT_EQ(result, 0);  // the untouched run
      EXPECT_GT(runs, options < 0 ? old.size() / 1024 : 4u) << runs;
    }
  }
}

}  // namespace
}  // namespace quorrel::thpapi
