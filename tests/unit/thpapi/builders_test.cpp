// Request bytes at their offsets and build failures.
#include <gtest/gtest.h>

#include <vector>

#include "support/av_frames.h"
#include "thpapi/last_error.h"
#include "thpapi/request_builders.h"

namespace quorrel::thpapi {
namespace {

using namespace quorrel::testing;

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

TEST(Builders, RequestsAreTheirHeaderAndZerosToSixtyFourBytesInBuffersThatHoldThem) {
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
    EXPECT_EQ(thpapi_EncodeVersionRequest(kHostMac, kAdapterMac, f), 0u) << size;
    EXPECT_EQ(lastError(), 34);
    resetLastError();
    EXPECT_EQ(thpapi_EncodeNetworkInfoRequest(kHostMac, kAdapterMac, f, 4), 0u) << size;
    EXPECT_EQ(lastError(), 34);
    EXPECT_EQ(f, Bytes(size, 0xEE));
  }
}

TEST(Builders, SetKeyLocalAndRemoteLayouts) {
  SetKeyRecord key;
  for (std::size_t i = 0; i < 16; ++i) key.networkMembershipKey[i] = std::uint8_t(0x10 + i);
  key.deviceKeySelector = 0x0F;
  key.target = kAdapterMac;
  Bytes local = request(0xA050);
  local[20] = 1;
  for (std::size_t i = 0; i < 16; ++i) local[21 + i] = std::uint8_t(0x10 + i);
  local[37] = 0x0F;
  putMac(local, 38, kAdapterMac);
  EXPECT_EQ(build(thpapi_EncodeSetKeyRequest, key), local);

  // A remote adapter: selector 0, its address at 38 and its device access key at 44.
  const MacAddress remote{0x00, 0xB0, 0x52, 0x01, 0x02, 0x03};
  key.deviceKeySelector = 0;
  key.target = remote;
  for (std::size_t i = 0; i < 16; ++i) key.deviceAccessKey[i] = std::uint8_t(0xA0 + i);
  Bytes far = local;
  far[37] = 0;
  putMac(far, 38, remote);
  for (std::size_t i = 0; i < 16; ++i) far[44 + i] = std::uint8_t(0xA0 + i);
  EXPECT_EQ(build(thpapi_EncodeSetKeyRequest, key), far);

  resetLastError();
  key.deviceKeySelector = 0x05;
  Bytes f(kRequestBufferSize);
  EXPECT_EQ(thpapi_EncodeSetKeyRequest(kHostMac, kAdapterMac, f, key), 0u);
  EXPECT_EQ(lastError(), 22);
}

}  // namespace
}  // namespace quorrel::thpapi
