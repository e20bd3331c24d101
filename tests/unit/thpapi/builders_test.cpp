// Request bytes at their offsets, build failures, and the block checksum on known blocks.
#include <gtest/gtest.h>

#include <vector>

#include "support/av_frames.h"
#include "platform/checksum32.h"
#include "thpapi/last_error.h"
#include "thpapi/request_builders.h"

namespace quorrel::thpapi {
namespace {

using testing::Bytes;
using testing::kAdapterMac;
using testing::kHostMac;

void expectHeaderV0(const Bytes& f, std::uint8_t typeLow, std::uint8_t typeHigh) {
  const Bytes head{0x00, 0xB0, 0x52, 0xAA, 0xBB, 0xCC,    0x02,     0x11, 0x22, 0x33,
                   0x44, 0x55, 0x88, 0xE1, 0x00, typeLow, typeHigh, 0x00, 0xB0, 0x52};
  EXPECT_EQ(Bytes(f.begin(), f.begin() + 20), head);
}

TEST(Builders, VersionRequestIsHeaderAndFortyFourZeros) {
  Bytes f(kRequestBufferSize, 0xEE);
  ASSERT_EQ(thpapi_EncodeVersionRequest(kHostMac, kAdapterMac, f), 64u);
  expectHeaderV0(f, 0x00, 0xA0);
  for (std::size_t i = 20; i < 64; ++i) EXPECT_EQ(f[i], 0) << i;
  EXPECT_EQ(f[64], 0xEE);  // nothing written past the frame

  Bytes cfg(64, 0xEE);
  ASSERT_EQ(thpapi_ReadConfigurationBlock(kHostMac, kAdapterMac, cfg), 64u);
  expectHeaderV0(cfg, 0x58, 0xA0);
}

TEST(Builders, NetworkInfoRequestInBothVersions) {
  Bytes f(kRequestBufferSize, 0xEE);
  ASSERT_EQ(thpapi_EncodeNetworkInfoRequest(kHostMac, kAdapterMac, f, 0), 64u);
  expectHeaderV0(f, 0x38, 0xA0);
  ASSERT_EQ(thpapi_EncodeNetworkInfoRequest(kHostMac, kAdapterMac, f, 1), 64u);
  expectHeaderV0(f, 0x38, 0xA0);  // only 4 selects version 1

  ASSERT_EQ(thpapi_EncodeNetworkInfoRequest(kHostMac, kAdapterMac, f, 4), 64u);
  const Bytes v1{0x88, 0xE1, 0x01, 0x38, 0xA0, 0x00, 0x00, 0x00, 0xB0, 0x52, 0, 0, 0, 0};
  EXPECT_EQ(Bytes(f.begin() + 12, f.begin() + 26), v1);
  for (std::size_t i = 26; i < 64; ++i) EXPECT_EQ(f[i], 0) << i;
}

TEST(Builders, SetKeyLocalAndRemoteLayouts) {
  SetKeyRecord key;
  for (std::size_t i = 0; i < 16; ++i) key.networkMembershipKey[i] = std::uint8_t(0x10 + i);
  key.deviceKeySelector = 0x0F;
  key.target = kAdapterMac;
  Bytes f(kRequestBufferSize, 0xEE);
  ASSERT_EQ(thpapi_EncodeSetKeyRequest(kHostMac, kAdapterMac, f, key), 64u);
  expectHeaderV0(f, 0x50, 0xA0);
  EXPECT_EQ(f[20], 1);
  for (std::size_t i = 0; i < 16; ++i) EXPECT_EQ(f[21 + i], 0x10 + i);
  EXPECT_EQ(f[37], 0x0F);
  EXPECT_EQ(Bytes(f.begin() + 38, f.begin() + 44), Bytes(kAdapterMac.begin(), kAdapterMac.end()));
  for (std::size_t i = 44; i < 64; ++i) EXPECT_EQ(f[i], 0) << i;

  const MacAddress remote{0x00, 0xB0, 0x52, 0x01, 0x02, 0x03};
  key.deviceKeySelector = 0;
  key.target = remote;
  for (std::size_t i = 0; i < 16; ++i) key.deviceAccessKey[i] = std::uint8_t(0xA0 + i);
  ASSERT_EQ(thpapi_EncodeSetKeyRequest(kHostMac, kAdapterMac, f, key), 64u);
  EXPECT_EQ(f[37], 0x00);
  EXPECT_EQ(Bytes(f.begin() + 38, f.begin() + 44), Bytes(remote.begin(), remote.end()));
  for (std::size_t i = 0; i < 16; ++i) EXPECT_EQ(f[44 + i], 0xA0 + i);
  for (std::size_t i = 60; i < 64; ++i) EXPECT_EQ(f[i], 0) << i;

  resetLastError();
  key.deviceKeySelector = 0x05;
  EXPECT_EQ(thpapi_EncodeSetKeyRequest(kHostMac, kAdapterMac, f, key), 0u);
  EXPECT_EQ(lastError(), 22);
}

TEST(Builders, BuffersUnderSixtyFourBytesAreRefused) {
  for (std::size_t size : {0u, 13u, 20u, 26u, 63u}) {
    Bytes f(size, 0xEE);
    resetLastError();
    EXPECT_EQ(thpapi_EncodeVersionRequest(kHostMac, kAdapterMac, f), 0u) << size;
    EXPECT_EQ(lastError(), 34);
    resetLastError();
    EXPECT_EQ(thpapi_EncodeNetworkInfoRequest(kHostMac, kAdapterMac, f, 4), 0u) << size;
    EXPECT_EQ(lastError(), 34);
    for (std::uint8_t b : f) EXPECT_EQ(b, 0xEE);
  }
}

TEST(Checksum, KnownBlocks) {
  const Bytes empty;
  EXPECT_EQ(checksum32(empty), 0xFFFFFFFFu);
  // 1 ^ 2 = 3, complemented.
  const Bytes two{0x01, 0, 0, 0, 0x02, 0, 0, 0};
  EXPECT_EQ(checksum32(two), 0xFFFFFFFCu);
  // Little-endian words: 0x12345678 ^ 0x0000FFFF = 0x1234A987, complemented 0xEDCB5678.
  const Bytes le{0x78, 0x56, 0x34, 0x12, 0xFF, 0xFF, 0x00, 0x00};
  EXPECT_EQ(checksum32(le), 0xEDCB5678u);
  // A trailing part shorter than a word is ignored.
  const Bytes tail{0xFF, 0xFF, 0xFF, 0xFF, 0xAA, 0xBB, 0xCC};
  EXPECT_EQ(checksum32(tail), 0u);
  // A block followed by its own checksum gives 0; a received checksum as seed checks it.
  const Bytes sealed{0x01, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(checksum32(sealed), 0u);
  EXPECT_EQ(checksum32(ByteSpan(sealed).first(4), 0xFFFFFFFEu), 0u);
  EXPECT_NE(checksum32(ByteSpan(sealed).first(4), 0xFFFFFFFFu), 0u);
}

}  // namespace
}  // namespace quorrel::thpapi
