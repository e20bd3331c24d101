// The wait for the loader's reply: only the reply to the command just sent, addressed to the
// host, counts; its status and checksum decide.
#include "brantleapi/hp1_loader.h"

#include <gtest/gtest.h>

#include "brantleapi/hp1_requests.h"
#include "platform/clock.h"
#include "support/fake_backend.h"
#include "transport/interface_table.h"
#include "unit/brantleapi/reply_frames.h"

namespace quorrel::brantleapi {
namespace {

using namespace testing;
using quorrel::testing::FakeBackend;
using Bytes = std::vector<std::uint8_t>;

Bytes loaderReply(std::uint8_t code, std::uint8_t status, std::uint32_t checksum = 0,
                  const MacAddress& to = kTestHost, std::uint8_t type = kEntryLoader,
                  std::size_t size = 60) {
  Bytes f = replyFrame(kLoaderDefaultMac, to, type, 1, size);
  f[17] = code;
  f[20] = status;
  writeBe32(f, 29, checksum);
  return f;
}

TEST(LoaderReply, OnlyTheReplyToTheCommandSent) {
  // A partial last word counts with zero bytes.
  EXPECT_EQ(loaderChecksum(Bytes{1, 2, 3, 4, 5}), ~(0x04030201u ^ 0x00000005u));
  const MacAddress other{0x02, 0, 0, 0, 0, 9};
  const struct {
    const char* name;
    std::uint8_t sent;
    std::vector<Bytes> frames;
    bool ok;
    std::uint32_t checksum;
  } cases[] = {
      // clang-format off
      {"piece acknowledged", 0x81, {loaderReply(0x81, 0)}, true, 0},
      {"piece refused", 0x81, {loaderReply(0x81, 1)}, false, 0},
      {"late piece reply is not the commit's", 0x82, {loaderReply(0x81, 0)}, false, 0},
      {"commit after a late piece reply", 0x82, {loaderReply(0x81, 0), loaderReply(0x82, 0)}, true, 0},
      {"checksum report", 0x83, {loaderReply(0x84, 0, 7), loaderReply(0x04, 0, 0xA1B2C3D4)}, true, 0xA1B2C3D4},
      {"checksum reply cut short", 0x83, {loaderReply(0x83, 0, 5, kTestHost, kEntryLoader, 31)}, false, 0},
      {"another station's reply", 0x84, {loaderReply(0x84, 0, 0, other)}, false, 0},
      {"another entry type", 0x84, {loaderReply(0x84, 0, 0, kTestHost, kEntryPrivateReply)}, false, 0},
      // clang-format on
  };
  platform::VirtualClock clock;
  platform::setClock(&clock);
  FakeBackend fake;
  fake.interfaces.push_back({"veth0", kTestHost});
  transport::setBackend(&fake);
  transport::EnumerateInterfaces();
  transport::OpenInterface(0);
  transport::setCurrentInterface(0);
  transport::ReceivePath path;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    for (const auto& f : c.frames) fake.ports[0].incoming.push_back(f);
    std::uint32_t checksum = 0;
    EXPECT_EQ(awaitLoaderReply(path, c.sent, kLoaderPieceWaitMs, &checksum), c.ok);
    EXPECT_EQ(checksum, c.checksum);
    fake.ports[0].incoming.clear();
  }
  transport::ResetInterfaceTable();
  transport::setBackend(nullptr);
  platform::setClock(nullptr);
}

}  // namespace
}  // namespace quorrel::brantleapi
