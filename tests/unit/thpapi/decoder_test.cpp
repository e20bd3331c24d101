// The decoder on every confirmation type and on short, long, foreign and hostile frames.
#include <gtest/gtest.h>

#include <random>

#include "support/av_frames.h"
#include "thpapi/decoder.h"
#include "thpapi/last_error.h"
#include "thpapi/module_transfer.h"

namespace quorrel::thpapi {
namespace {

using namespace quorrel::testing;

class DecoderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    resetLastError();
    thpapi_AbandonTransfer();
  }
  void TearDown() override { thpapi_AbandonTransfer(); }
  int decode(const Bytes& f, int version = 0) { return thpapi_DecodeFrame(f, r, version); }
  ThapiResult r;
};

TEST_F(DecoderTest, HeaderChecksGiveTheirErrorsInOrder) {
  Bytes f = versionConfirm(3, "text");
  f[12] = 0x08;  // IPv4
  EXPECT_EQ(decode(f), -1);
  EXPECT_EQ(lastError(), 1);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.mmtype, 0xFFFF);

  f = versionConfirm(3, "text");
  f[14] = 1;  // version 1 while version 0 is expected
  EXPECT_EQ(decode(f), -1);
  EXPECT_EQ(lastError(), 14);
  f[14] = 0;
  f[19] = 0x53;  // foreign OUI, known type
  EXPECT_EQ(decode(f), -1);
  EXPECT_EQ(lastError(), 14);
  EXPECT_EQ(r.mmtype, 0xFFFF);

  // Expected version 1: a version-0 frame is refused; OUI checked at 19.
  EXPECT_EQ(decode(versionConfirm(3, "text"), 4), -1);
  EXPECT_EQ(lastError(), 14);

  EXPECT_EQ(decode(Bytes()), -1);
  EXPECT_EQ(lastError(), 14);
  for (std::size_t n : {1u, 13u}) {
    EXPECT_EQ(decode(Bytes(n, 0x88)), -1) << n;
    EXPECT_EQ(lastError(), 1);
  }
  EXPECT_EQ(decode(avFrame(0xA001, 19)), -1);
  EXPECT_EQ(lastError(), 14);

  EXPECT_EQ(thpapi_DecodeFrame(ByteSpan(static_cast<const std::uint8_t*>(nullptr), 0), r, 0), -1);
  EXPECT_EQ(lastError(), 14);  // no frame at all
}

TEST_F(DecoderTest, UnknownTypeIsErrorFortyWithNoType) {
  EXPECT_EQ(decode(avFrame(0xA0FE, 64)), -1);
  EXPECT_EQ(lastError(), 40);
  EXPECT_EQ(r.status, 40);
  EXPECT_EQ(r.mmtype, 0xFFFF);
  EXPECT_EQ(r.operation, 0u);
  EXPECT_EQ(decode(avFrame(0xA063, 64)), -1);  // a response is never received
  EXPECT_EQ(lastError(), 40);
}

TEST_F(DecoderTest, VersionConfirmation) {
  Bytes f = versionConfirm(5, "LQ-B200 firmware 1.2", kAdapterMac);
  f[20] = 0;
  ASSERT_EQ(decode(f), 0);
  EXPECT_EQ(r.operation, THAPI_GETVERSION);
  EXPECT_EQ(r.phase, 2u);
  EXPECT_EQ(r.mmtype, 0xA001);
  EXPECT_EQ(r.source, kAdapterMac);
  EXPECT_EQ(r.destination, kHostMac);
  EXPECT_EQ(r.dataValid, 1);
  EXPECT_EQ(r.dataLength, 67u);
  EXPECT_EQ(r.data[0], 5);
  EXPECT_EQ(r.data[1], 20);
  EXPECT_EQ(readText(r.data, 2, 64), "LQ-B200 firmware 1.2");

  EXPECT_EQ(decode(avFrame(0xA001, 87)), -1);
  EXPECT_EQ(lastError(), 14);
  EXPECT_EQ(r.mmtype, 0xA001);
  EXPECT_EQ(r.dataValid, 0);
}

TEST_F(DecoderTest, ShortConfirmationsFailWithTheirErrors) {
  struct Case {
    std::uint16_t type;
    std::size_t shortLength;
    int error;  // 0: last error untouched
  };
  const Case cases[] = {
      {0xA051, 20, 34}, {0xA00D, 21, 34}, {0xA021, 28, 34}, {0xA005, 28, 34}, {0xA05D, 20, 34},
      {0xA07D, 20, 34}, {0xA01D, 20, 14}, {0xA095, 20, 14}, {0xA035, 27, 14}, {0xA036, 184, 14},
      {0xA059, 21, 14}, {0xA025, 35, 14}, {0xA039, 32, 14}, {0xA029, 21, 0},  {0xA055, 85, 0},
      {0xA071, 602, 0}, {0xA091, 605, 0}, {0xA062, 20, 0},
  };
  for (const Case& c : cases) {
    setLastError(99);
    EXPECT_EQ(decode(avFrame(c.type, c.shortLength)), -1) << std::hex << c.type;
    EXPECT_EQ(lastError(), c.error == 0 ? 99 : c.error) << std::hex << c.type;
    EXPECT_NE(r.status, 0) << std::hex << c.type;  // never mistaken for a success
    EXPECT_EQ(r.dataValid, 0) << std::hex << c.type;
  }
}

TEST_F(DecoderTest, StatusOnlyAndFieldConfirmations) {
  struct Case {
    std::uint16_t type;
    std::uint32_t operation;
  };
  for (const Case c :
       {Case{0xA051, 8}, Case{0xA01D, 5}, Case{0xA05D, 12}, Case{0xA07D, 13}, Case{0xA095, 15}}) {
    ASSERT_EQ(decode(statusConfirm(c.type, 0x07)), 0) << std::hex << c.type;
    EXPECT_EQ(r.operation, c.operation);
    EXPECT_EQ(r.phase, 2u);
    EXPECT_EQ(r.status, 0x07);
    EXPECT_EQ(r.dataValid, 0);
  }
  Bytes text = avFrame(0xA055, 86);
  text[21] = 3;
  put(text, 22, {'A', 'B', 'C'});
  ASSERT_EQ(decode(text), 0);
  EXPECT_EQ(r.operation, 2u);
  EXPECT_EQ(r.dataLength, 65u);
  EXPECT_EQ(r.data[0], 3);
  EXPECT_EQ(r.data[1], 'A');

  Bytes stats = avFrame(0xA031, 24 + 247);
  put(stats, 21, {1, 0, 9});
  ASSERT_EQ(decode(stats), 0);
  EXPECT_EQ(r.operation, 1u);
  EXPECT_EQ(r.dataLength, 3u + 247u);
  stats.resize(24 + 246);
  EXPECT_EQ(decode(stats), -1);
  EXPECT_EQ(lastError(), 14);
  stats = avFrame(0xA031, 400);
  stats[21] = 7;  // no such control value
  EXPECT_EQ(decode(stats), -1);
  EXPECT_EQ(lastError(), 22);

  ASSERT_EQ(decode(avFrame(0xA035, 28)), 0);
  EXPECT_EQ(r.operation, 0u);
  EXPECT_EQ(r.phase, 0u);
  EXPECT_EQ(r.dataLength, 7u);
  ASSERT_EQ(decode(avFrame(0xA036, 185)), 0);
  EXPECT_EQ(r.dataLength, 165u);
  ASSERT_EQ(decode(avFrame(0xA071, 603)), 0);
  EXPECT_EQ(r.operation, 10u);
  ASSERT_EQ(decode(avFrame(0xA091, 606)), 0);
  EXPECT_EQ(r.operation, 14u);
  ASSERT_EQ(decode(avFrame(0xA06D, 23)), 0);
  EXPECT_EQ(r.operation, 11u);
  EXPECT_EQ(r.dataLength, 2u);
}

// A version-0 station list: count at 38, stations from 39, 15 bytes each, rate at 13.
Bytes networkInfoV0(std::uint8_t count, std::size_t stationsPresent) {
  Bytes f = avFrame(0xA039, 39 + 15 * stationsPresent);
  f[20] = 1;
  f[38] = count;
  for (std::size_t i = 0; i < stationsPresent; ++i) {
    putMac(f, 39 + 15 * i, MacAddress{0x00, 0xB0, 0x52, 0, 0, std::uint8_t(i + 1)});
    f[39 + 15 * i + 13] = std::uint8_t(100 + i);
  }
  if (f.size() < 60) f.resize(60);
  return f;
}

TEST_F(DecoderTest, NetworkInfoCopiesOnlyWhatTheFrameHolds) {
  Bytes f = networkInfoV0(2, 2);
  ASSERT_EQ(decode(f), 0);
  EXPECT_EQ(r.operation, 3u);
  EXPECT_EQ(r.dataLength, 1u + (f.size() - 21));
  ASSERT_EQ(stationCount(r, 1), 2u);
  StationEntry s;
  ASSERT_TRUE(readStation(r, 1, 1, s));
  EXPECT_EQ(s.mac, (MacAddress{0x00, 0xB0, 0x52, 0, 0, 2}));
  EXPECT_EQ(s.rate, 101);
  EXPECT_FALSE(readStation(r, 1, 2, s));
  for (std::size_t i = r.dataLength; i < r.data.size(); ++i) ASSERT_EQ(r.data[i], 0) << i;

  // A count of 200 stations in a frame that holds 3: cut to 3, in the data too.
  ASSERT_EQ(decode(networkInfoV0(200, 3)), 0);
  EXPECT_EQ(r.data[18], 3);
  EXPECT_EQ(stationCount(r, 1), 3u);

  // A maximal frame never copies past the record room.
  Bytes big = networkInfoV0(255, 98);
  big.resize(1514);
  ASSERT_EQ(decode(big), 0);
  EXPECT_EQ(r.dataLength, 1u + 1493u);
  EXPECT_EQ(stationCount(r, 1), (1494u - 19u) / 15u);

  // The 33-byte minimum does not even reach the count: no stations.
  ASSERT_EQ(decode(avFrame(0xA039, 33)), 0);
  EXPECT_EQ(stationCount(r, 1), 0u);
}

TEST_F(DecoderTest, NetworkInfoVersionOneLayout) {
  Bytes f = avFrameV1(0xA039, 60 + 24 * 2);
  f[27] = 1;
  f[54] = 2;
  putMac(f, 60, MacAddress{2, 0, 0, 0, 0, 9});
  putLe16(f, 60 + 16, 0x1234);
  putMac(f, 84, MacAddress{2, 0, 0, 0, 0, 10});
  ASSERT_EQ(decode(f, 4), 0);
  EXPECT_EQ(r.dataLength, 1u + (f.size() - 28));
  ASSERT_EQ(stationCount(r, 4), 2u);
  StationEntry s;
  ASSERT_TRUE(readStation(r, 4, 0, s));
  EXPECT_EQ(s.mac, (MacAddress{2, 0, 0, 0, 0, 9}));
  EXPECT_EQ(s.rate, 0x1234);
  EXPECT_EQ(decode(f, 0), -1);  // version-1 header where version 0 is expected
  EXPECT_EQ(lastError(), 14);
  EXPECT_EQ(decode(avFrameV1(0xA039, 55), 4), -1);
  EXPECT_EQ(lastError(), 14);
}

TEST_F(DecoderTest, ConfigurationBlockIsBoundedByTheFrame) {
  Bytes f = avFrame(0xA059, 30);
  f[20] = 0x10;
  f[21] = 200;  // announces more than the frame holds
  put(f, 22, {1, 2, 3, 4, 5, 6, 7, 8});
  ASSERT_EQ(decode(f), 0);
  EXPECT_EQ(r.operation, 16u);
  EXPECT_EQ(r.status, 0x10);
  EXPECT_EQ(r.dataValid, 1);
  EXPECT_EQ(r.dataLength, 2u + 8u);
  EXPECT_EQ(r.data[0], 0x10);
  EXPECT_EQ(r.data[1], 200);
  EXPECT_EQ(r.data[9], 8);
  EXPECT_EQ(r.data[10], 0);
  f.resize(1514, 0x77);
  ASSERT_EQ(decode(f), 0);
  EXPECT_EQ(r.dataLength, 2u + 1492u);
}

TEST_F(DecoderTest, HostActionIndicationMakesItsResponseWait) {
  Bytes f = avFrame(0xA062, 60);
  f[20] = 0x04;
  ASSERT_EQ(decode(f), 0);
  EXPECT_EQ(r.operation, 6u);
  EXPECT_EQ(r.phase, 1u);
  EXPECT_EQ(r.dataLength, 1u);
  EXPECT_EQ(r.data[0], 4);
  Bytes out(1528, 0xEE);
  ASSERT_EQ(thpapi_NextPendingFrame(out), 64u);
  EXPECT_EQ(Bytes(out.begin(), out.begin() + 6), Bytes(kAdapterMac.begin(), kAdapterMac.end()));
  EXPECT_EQ(Bytes(out.begin() + 6, out.begin() + 12), Bytes(kHostMac.begin(), kHostMac.end()));
  EXPECT_EQ(out[15], 0x63);
  EXPECT_EQ(out[16], 0xA0);
  EXPECT_EQ(out[20], 0);
  EXPECT_EQ(thpapi_NextPendingFrame(out), 0u);

  EXPECT_EQ(decode(avFrame(0xA062, 20)), -1);  // too short: answered with result 1
  ASSERT_EQ(thpapi_NextPendingFrame(out), 64u);
  EXPECT_EQ(out[20], 1);
}

TEST_F(DecoderTest, ReadPieceLengthIsCheckedBeforeUse) {
  ASSERT_EQ(thpapi_BeginModuleRead(kHostMac, kAdapterMac, 2), 0);
  Bytes out(1528);
  ASSERT_EQ(thpapi_NextPendingFrame(out), 64u);

  // A length of 65535 in a 60-byte frame: refused, nothing read beyond the frame.
  Bytes f = readConfirm(2, 0, Bytes(8, 0));
  putLe16(f, 26, 0xFFFF);
  EXPECT_EQ(decode(f), -1);
  EXPECT_EQ(lastError(), 34);
  EXPECT_EQ(r.status, 34);
  EXPECT_EQ(r.dataValid, 0);
  EXPECT_EQ(r.phase, 2u);  // first piece: no retries, the transfer ends
  EXPECT_EQ(thpapi_PendingState().pendingOperation, 0u);

  ASSERT_EQ(thpapi_BeginModuleRead(kHostMac, kAdapterMac, 2), 0);
  ASSERT_EQ(thpapi_NextPendingFrame(out), 64u);
  f = readConfirm(2, 0, Bytes(8, 0));
  putLe16(f, 26, 1000);  // within 1024 but past the frame end
  EXPECT_EQ(decode(f), -1);
  EXPECT_EQ(lastError(), 14);

  ASSERT_EQ(thpapi_BeginModuleRead(kHostMac, kAdapterMac, 2), 0);
  ASSERT_EQ(thpapi_NextPendingFrame(out), 64u);
  f = readConfirm(2, 0, Bytes(1024, 0x5A));
  f[40] ^= 1;  // damaged piece
  EXPECT_EQ(decode(f), -1);
  EXPECT_EQ(lastError(), 22);
  EXPECT_EQ(r.status, 22);
}

TEST_F(DecoderTest, HostileFramesStayInBounds) {
  std::mt19937 random(1234);
  const std::uint16_t types[] = {0xA001, 0xA005, 0xA00D, 0xA01D, 0xA021, 0xA025, 0xA029,
                                 0xA031, 0xA035, 0xA036, 0xA039, 0xA051, 0xA055, 0xA059,
                                 0xA05D, 0xA062, 0xA06D, 0xA071, 0xA07D, 0xA091, 0xA095};
  Bytes sink(1528);
  for (std::uint16_t type : types) {
    for (std::size_t length = 0; length <= 1514; length += 1 + length / 16) {
      Bytes f = avFrame(type, std::max<std::size_t>(length, 20));
      for (std::size_t i = 20; i < f.size(); ++i) f[i] = std::uint8_t(random());
      f.resize(length);
      for (int version : {0, 4}) {
        thpapi_DecodeFrame(f, r, version);
        ASSERT_LE(r.dataLength, r.data.size());
        thpapi_NextPendingFrame(sink);
      }
    }
    thpapi_BeginModuleRead(kHostMac, kAdapterMac, 1 + type % 3);
  }
}

}  // namespace
}  // namespace quorrel::thpapi
