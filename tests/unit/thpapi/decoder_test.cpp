// The decoder on every confirmation type and on short, long and foreign frames.
#include <gtest/gtest.h>

#include <algorithm>

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

TEST_F(DecoderTest, HeaderAndTypeChecksGiveTheirErrorsInOrder) {
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
    EXPECT_EQ(decode(c.frame, c.version), -1) << c.what;
    EXPECT_EQ(lastError(), c.error) << c.what;
    EXPECT_EQ(r.status, c.error) << c.what;
    EXPECT_EQ(r.mmtype, 0xFFFF) << c.what;
    EXPECT_EQ(r.operation, 0u) << c.what;
  }
  EXPECT_EQ(thpapi_DecodeFrame(ByteSpan(static_cast<const std::uint8_t*>(nullptr), 0), r, 0), -1);
  EXPECT_EQ(lastError(), 14);
}

TEST_F(DecoderTest, ShortConfirmationsFailWithTheirErrors) {
  const struct {
    std::uint16_t type;
    std::size_t shortLength;
    int error;  // 0: last error untouched
  } cases[] = {
      {0xA051, 20, 34},  {0xA00D, 21, 34}, {0xA021, 28, 34}, {0xA005, 28, 34}, {0xA05D, 20, 34},
      {0xA07D, 20, 34},  {0xA001, 87, 14}, {0xA01D, 20, 14}, {0xA095, 20, 14}, {0xA035, 27, 14},
      {0xA036, 184, 14}, {0xA059, 21, 14}, {0xA025, 35, 14}, {0xA039, 32, 14}, {0xA029, 21, 0},
      {0xA055, 85, 0},   {0xA071, 602, 0}, {0xA091, 605, 0}, {0xA062, 20, 0},
  };
  for (const auto& c : cases) {
    setLastError(99);
    EXPECT_EQ(decode(avFrame(c.type, c.shortLength)), -1) << std::hex << c.type;
    EXPECT_EQ(lastError(), c.error == 0 ? 99 : c.error) << std::hex << c.type;
    EXPECT_NE(r.status, 0) << std::hex << c.type;  // never mistaken for a success
    EXPECT_EQ(r.dataValid, 0) << std::hex << c.type;
  }
  // Link statistics: one byte short of control 1's fields, and a control value that has none.
  EXPECT_EQ(decode(with(avFrame(0xA031, 24 + 246), 21, 1)), -1);
  EXPECT_EQ(lastError(), 14);
  EXPECT_EQ(decode(with(avFrame(0xA031, 400), 21, 7)), -1);
  EXPECT_EQ(lastError(), 22);
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
    EXPECT_EQ(r.operation, c.operation) << std::hex << c.type;
    EXPECT_EQ(r.phase, c.phase) << std::hex << c.type;
    EXPECT_EQ(r.mmtype, c.type);
    EXPECT_EQ(r.status, c.type == 0xA036 ? 0 : 7) << std::hex << c.type;  // an indication
    if (c.dataLength >= 0) {
      EXPECT_EQ(r.dataLength, std::uint32_t(c.dataLength)) << std::hex << c.type;
    }
  }
  // The version confirmation's identifier, length and text field, from both addresses.
  const Bytes version = versionConfirm(5, "LQ-B200 firmware 1.2");
  ASSERT_EQ(decode(version), 0);
  EXPECT_EQ(r.source, kAdapterMac);
  EXPECT_EQ(r.destination, kHostMac);
  EXPECT_EQ(r.dataValid, 1);
  EXPECT_EQ(r.version.deviceId, 5);
  EXPECT_EQ(r.version.text, "LQ-B200 firmware 1.2");
  // The length byte cannot reach past the 64-byte field, and a zero ends the text.
  Bytes claimsMore = versionConfirm(2, std::string(70, 'Z').c_str());
  claimsMore[22] = 255;
  ASSERT_EQ(decode(claimsMore), 0);
  EXPECT_EQ(r.version.text, std::string(64, 'Z'));
  ASSERT_EQ(decode(with(versionConfirm(2, "LQA-100-MAC"), 27, 0)), 0);
  EXPECT_EQ(r.version.text, "LQA-");
  // A host action indication: decoding it makes nothing wait (its answer: the exchange test).
  ASSERT_EQ(decode(statusConfirm(0xA062, 0x04)), 0);
  EXPECT_EQ(r.operation, 6u);
  EXPECT_EQ(r.phase, 1u);
  EXPECT_EQ(r.hostActionCode, 4);
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
  EXPECT_EQ(r.operation, 3u);
  EXPECT_EQ(r.dataLength, 1u + (f.size() - 21));
  ASSERT_EQ(r.stations.size(), 2u);
  EXPECT_EQ(r.stations[1].mac, (MacAddress{0x00, 0xB0, 0x52, 0, 0, 2}));
  EXPECT_EQ(r.stations[1].rate, 101);
  for (std::size_t i = r.dataLength; i < r.data.size(); ++i) ASSERT_EQ(r.data[i], 0) << i;

  // A count of 200 stations in a frame that holds 3: cut to 3, in the data too.
  ASSERT_EQ(decode(networkInfoV0(200, 3)), 0);
  EXPECT_EQ(r.data[18], 3);
  EXPECT_EQ(r.stations.size(), 3u);

  // A maximal frame never copies past the record room.
  Bytes big = networkInfoV0(255, 98);
  big.resize(1514);
  ASSERT_EQ(decode(big), 0);
  EXPECT_EQ(r.dataLength, 1u + 1493u);
  EXPECT_EQ(r.stations.size(), (1494u - 19u) / 15u);

  // The 33-byte minimum does not even reach the count: no stations.
  ASSERT_EQ(decode(avFrame(0xA039, 33)), 0);
  EXPECT_TRUE(r.stations.empty());

  // Version 1: count at 54, stations from 60, 24 bytes each, rate at 16.
  f = avFrameV1(0xA039, 60 + 24 * 2);
  f[27] = 1;
  f[54] = 2;
  putMac(f, 60, MacAddress{2, 0, 0, 0, 0, 9});
  putLe16(f, 60 + 16, 0x1234);
  putMac(f, 84, MacAddress{2, 0, 0, 0, 0, 10});
  ASSERT_EQ(decode(f, 4), 0);
  EXPECT_EQ(r.dataLength, 1u + (f.size() - 28));
  ASSERT_EQ(r.stations.size(), 2u);
  EXPECT_EQ(r.stations[0].mac, (MacAddress{2, 0, 0, 0, 0, 9}));
  EXPECT_EQ(r.stations[0].rate, 0x1234);
  EXPECT_EQ(decode(avFrameV1(0xA039, 55), 4), -1);
  EXPECT_EQ(lastError(), 14);

  // The configuration block, bounded by the frame too.
  f = avFrame(0xA059, 30);
  put(f, 20, {0x10, 200, 1, 2, 3, 4, 5, 6, 7, 8});  // announces more than the frame holds
  ASSERT_EQ(decode(f), 0);
  EXPECT_EQ(r.operation, 16u);
  EXPECT_EQ(r.status, 0x10);
  EXPECT_EQ(r.dataValid, 1);
  EXPECT_EQ(Bytes(r.data.begin(), r.data.begin() + 11),
            (Bytes{0x10, 200, 1, 2, 3, 4, 5, 6, 7, 8, 0}));
  EXPECT_EQ(r.dataLength, 2u + 8u);
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
    EXPECT_EQ(thpapi_PendingState().pendingOperation, 9u);  // decoding leaves the transfer be
    EXPECT_EQ(thpapi_AdvanceTransfer(r), -1) << c.error;
    EXPECT_EQ(lastError(), c.error);
    EXPECT_EQ(r.status, c.error);
    EXPECT_EQ(r.dataValid, 0);
    EXPECT_EQ(r.phase, 2u);  // first piece: no retries, the transfer ends
    EXPECT_EQ(thpapi_PendingState().pendingOperation, 0u);
  }
}

}  // namespace
}  // namespace quorrel::thpapi
