// Module reads and writes against the simulated adapter: piece sizes and offsets at the
// boundaries, the closing commit or start and the restart after it, retries, the host action,
// and an adapter that stops answering part way.
#include <gtest/gtest.h>

#include <algorithm>

#include "make-samples/sample_files.h"
#include "support/sim_host.h"
#include "thpapi/last_error.h"
#include "thpapi/module_transfer.h"
#include "thpapi/transfer_loop.h"

namespace quorrel::thpapi {
namespace {

using namespace quorrel::testing;
using Bytes = std::vector<std::uint8_t>;

constexpr MacAddress kNewMac{0x00, 0xB0, 0x52, 0x10, 0x00, 0x77};
constexpr samples::NetworkMembershipKey kNewKey{9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4, 5, 6};
constexpr std::uint8_t kGuard = 0xA5;

const MacAddress& host() {
  return sim::kDefaultHostMac;
}

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
  for (std::size_t size : sizes) {
    auto one = samples::sampleFirmwareImages(images.size() + 1, size);
    images.push_back(one.back());
  }
  return samples::buildFirmwareFile(images);
}

TEST(SimTransfer, ParameterBlockPiecesEndAtTheStatedLength) {
  for (std::size_t size : {1024u, 1025u, 3000u, 15560u}) {
    SCOPED_TRACE(size);
    SimHost h(simScenario({}, patternBlock(size, static_cast<std::uint32_t>(size))));
    Bytes block(16384, kGuard);
    std::size_t received = 0;
    ASSERT_EQ(thpapi_ReadModuleBlock(host(), kSimLocalMac, 2, block, received), 0);
    EXPECT_EQ(received, size);
    EXPECT_TRUE(std::equal(h.local().modules.parameterBlock.begin(),
                           h.local().modules.parameterBlock.end(), block.begin()));
    EXPECT_EQ(block[size], kGuard);
    const auto asked = sentRequests(h, 0xA024);
    std::size_t i = 0;
    expectPieces(asked, i, 0, static_cast<std::uint32_t>(size));
    EXPECT_EQ(i, asked.size());
  }
}

TEST(SimTransfer, FirmwareHeadersAreReadOnTheirOwn) {
  const Bytes chain = chainOf({1024, 1, 0, 2049});
  SimHost h(simScenario(chain));
  Bytes image(chain.size() + 16, kGuard);
  std::size_t received = 0;
  ASSERT_EQ(thpapi_ReadModuleBlock(host(), kSimLocalMac, 1, image, received), 0);
  ASSERT_EQ(received, chain.size());
  EXPECT_TRUE(std::equal(chain.begin(), chain.end(), image.begin()));
  const auto asked = sentRequests(h, 0xA024);
  std::size_t i = 0;
  for (std::uint32_t at = 0; i < asked.size();) {
    EXPECT_EQ(asked[i].offset, at);
    EXPECT_EQ(asked[i].length, 44u);
    ++i;
    const std::uint32_t length = readLe32(chain, at + 12);
    expectPieces(asked, i, at + 44, at + 44 + length);
    at = readLe32(chain, at + 36);
    if (at == 0) break;
  }
  EXPECT_EQ(i, asked.size());
}

TEST(SimTransfer, KindThreeReadsTheFirmwareThenTheBlock) {
  SimHost h(simScenario());
  Bytes firmware(8192), block(16384);
  ModuleReadBuffers buffers{firmware, block};
  ASSERT_EQ(thpapi_ReadModules(host(), kSimLocalMac, 3, buffers), 0);
  const auto& m = h.local().modules;
  ASSERT_EQ(buffers.firmwareReceived, m.firmware.size());
  ASSERT_EQ(buffers.parameterBlockReceived, m.parameterBlock.size());
  EXPECT_TRUE(std::equal(m.firmware.begin(), m.firmware.end(), firmware.begin()));
  EXPECT_TRUE(std::equal(m.parameterBlock.begin(), m.parameterBlock.end(), block.begin()));
  const auto asked = sentRequests(h, 0xA024);
  const auto second =
      std::find_if(asked.begin(), asked.end(), [](auto& r) { return r.module == 2; });
  ASSERT_NE(second, asked.end());
  EXPECT_EQ(second->offset, 0u);
  EXPECT_EQ(second->length, 1024u);
  EXPECT_TRUE(std::all_of(second, asked.end(), [](auto& r) { return r.module == 2; }));
}

TEST(SimTransfer, ModuleAnnouncingMoreThanItsBufferIsRefusedAtOnce) {
  {
    SimHost h(simScenario({}, patternBlock(20000, 20000)));
    Bytes buffer(15560 + 64, kGuard);
    std::size_t received = 0;
    EXPECT_EQ(thpapi_ReadModuleBlock(host(), kSimLocalMac, 2, MutableByteSpan(buffer).first(15560),
                                     received),
              -1);
    EXPECT_EQ(lastError(), kErrorTooSmall);
    EXPECT_EQ(sentRequests(h, 0xA024).size(), 1u);
    EXPECT_TRUE(
        std::all_of(buffer.begin() + 15560, buffer.end(), [](auto b) { return b == kGuard; }));
  }
  SimHost h(simScenario(chainOf({3000, 100})));
  Bytes buffer(2048 + 64, kGuard);
  std::size_t received = 0;
  EXPECT_EQ(thpapi_ReadModuleBlock(host(), kSimLocalMac, 1, MutableByteSpan(buffer).first(2048),
                                   received),
            -1);
  EXPECT_EQ(lastError(), kErrorTooSmall);
  EXPECT_EQ(sentRequests(h, 0xA024).size(), 1u);  // the first header says it all
  EXPECT_TRUE(std::all_of(buffer.begin() + 2048, buffer.end(), [](auto b) { return b == kGuard; }));
}

TEST(SimTransfer, WritesEndInTheCommitAndTheAdapterRestartsWithTheNewBlock) {
  const Bytes chain = chainOf({5000});
  const Bytes newBlock = samples::buildParameterBlock(kNewMac, kNewKey);
  struct Case {
    bool withFirmware;
    std::uint32_t options;
    std::uint8_t commitFlags;
  };
  for (const Case c : {Case{false, 0x23, 0x02}, Case{true, 0x23, 0x03}, Case{true, 0x13, 0x13}}) {
    SCOPED_TRACE(c.options);
    SimHost h(simScenario());
    sim::prepareModules(h.local());
    const Bytes oldFirmware = h.local().modules.firmware;
    ASSERT_EQ(
        thpapi_WriteModules(host(), kSimLocalMac, c.withFirmware ? ByteSpan(chain) : ByteSpan{},
                            newBlock, c.options),
        0);
    const auto pieces = sentRequests(h, 0xA020);
    std::size_t i = 0;
    if (c.withFirmware) expectPieces(pieces, i, 0, static_cast<std::uint32_t>(chain.size()));
    const std::size_t firstBlockPiece = i;
    expectPieces(pieces, i, 0, 15560);
    EXPECT_EQ(i, pieces.size());
    EXPECT_EQ(pieces[firstBlockPiece].module, 2);
    EXPECT_TRUE(
        std::equal(pieces.back().data.begin(), pieces.back().data.end(), newBlock.begin() + 15360));
    ASSERT_EQ(readLe16(h.sent().back(), 15), 0xA028);
    EXPECT_EQ(h.sent().back()[20], c.commitFlags);

    EXPECT_EQ(h.local().modules.firmware, c.withFirmware ? chain : oldFirmware);
    EXPECT_EQ(h.local().mac, kNewMac);
    EXPECT_EQ(h.local().networkKey, kNewKey);
    Bytes block(15560);
    std::size_t received = 0;
    EXPECT_EQ(thpapi_ReadModuleBlock(host(), kNewMac, 2, block, received), -1);  // restarting
    h.clock.sleepMs(h.behaviour().restartMs);
    ASSERT_EQ(thpapi_ReadModuleBlock(host(), kLocalDeviceMac, 2, block, received), 0);
    EXPECT_EQ(block, newBlock);
  }
}

TEST(SimTransfer, WritesWithoutCommitEndInTheStartOfTheirImage) {
  const Bytes chain = chainOf({1500, 2100});
  const std::size_t last = readLe32(chain, 36);
  const Bytes newBlock = samples::buildParameterBlock(kNewMac, kNewKey);
  for (std::uint32_t options : {0x00u, 0x22u}) {
    SCOPED_TRACE(options);
    SimHost h(simScenario());
    ASSERT_EQ(thpapi_WriteModules(host(), kSimLocalMac, chain, newBlock, options), 0);
    // Memory write: the last image from its load address, then the block at 0x01F00000.
    // Module write: the start request names the first header's image.
    const std::size_t header = options == 0 ? last : 0;
    if (options == 0) {
      const auto pieces = sentRequests(h, 0xA004);
      ASSERT_EQ(pieces.size(), 3u + 16u);
      EXPECT_EQ(pieces[0].offset, readLe32(chain, last + 8));
      EXPECT_EQ(pieces[2].offset, readLe32(chain, last + 8) + 2048);
      EXPECT_EQ(pieces[2].length, 52u);
      EXPECT_EQ(pieces[3].offset, 0x01F00000u);
      EXPECT_EQ(pieces.back().offset, 0x01F00000u + 15360);
      EXPECT_TRUE(sentRequests(h, 0xA020).empty());
    }
    const auto& start = h.sent().back();
    ASSERT_EQ(readLe16(start, 15), 0xA00C);
    EXPECT_EQ(start[20], 1);
    for (std::size_t w = 0; w < 4; ++w)
      EXPECT_EQ(readLe32(start, 24 + 4 * w), readLe32(chain, header + 8 + 4 * w));
    EXPECT_EQ(h.local().modules.counters.starts, 1u);
    EXPECT_EQ(h.local().networkKey, kNewKey);
    h.clock.sleepMs(h.behaviour().restartMs);
    Bytes firmware(8192);
    std::size_t received = 0;
    ASSERT_EQ(thpapi_ReadModuleBlock(host(), kNewMac, 1, firmware, received), 0);
    if (options == 0) {  // the image that ran from memory, behind a header of its own
      ASSERT_EQ(received, 44u + 2100u);
      EXPECT_TRUE(std::equal(chain.begin() + last + 44, chain.end(), firmware.begin() + 44));
    } else {
      EXPECT_TRUE(std::equal(chain.begin(), chain.end(), firmware.begin()));
    }
  }
}

TEST(SimTransfer, BadPiecesAreRetriedUntilRetriesRunOut) {
  for (std::uint32_t count : {3u, 4u}) {
    SCOPED_TRACE(count);
    SimHost h(simScenario());
    h.behaviour().corruptPiece = 3;
    h.behaviour().corruptCount = count;
    Bytes block(15560, kGuard);
    std::size_t received = 0;
    const int result = thpapi_ReadModuleBlock(host(), kSimLocalMac, 2, block, received);
    if (count == 3) {
      ASSERT_EQ(result, 0);
      EXPECT_EQ(block, h.local().modules.parameterBlock);
      EXPECT_EQ(sentRequests(h, 0xA024).size(), 16u + 3u);
    } else {
      EXPECT_EQ(result, -1);
      EXPECT_EQ(lastError(), kErrorInvalid);
      EXPECT_EQ(sentRequests(h, 0xA024).size(), 2u + 4u);
    }
  }
  {
    SimHost h(simScenario());  // the first piece has no retries
    h.behaviour().corruptPiece = 1;
    Bytes block(15560);
    std::size_t received = 0;
    EXPECT_EQ(thpapi_ReadModuleBlock(host(), kSimLocalMac, 2, block, received), -1);
    EXPECT_EQ(sentRequests(h, 0xA024).size(), 1u);
  }
  const Bytes newBlock = samples::buildParameterBlock(kNewMac, kNewKey);
  for (std::uint32_t count : {3u, 4u}) {
    SCOPED_TRACE(count);
    SimHost h(simScenario());
    h.behaviour().rejectPiece = 2;
    h.behaviour().rejectCount = count;
    h.behaviour().rejectStatus = 0x42;
    const int result = thpapi_WriteModules(host(), kSimLocalMac, {}, newBlock, 0x23);
    EXPECT_EQ(result, count == 3 ? 0 : -1);
    EXPECT_EQ(h.local().modules.counters.commits, count == 3 ? 1u : 0u);
    EXPECT_EQ(sentRequests(h, 0xA028).size(), count == 3 ? 1u : 0u);
  }
}

TEST(SimTransfer, HostActionIndicationIsAnsweredMidTransfer) {
  SimHost h(simScenario());
  h.behaviour().hostActionAfter = 3;
  h.behaviour().hostActionCode = 5;
  Bytes block(15560);
  std::size_t received = 0;
  ASSERT_EQ(thpapi_ReadModuleBlock(host(), kSimLocalMac, 2, block, received), 0);
  EXPECT_EQ(block, h.local().modules.parameterBlock);
  const auto& c = h.local().modules.counters;
  EXPECT_EQ(c.hostActions, 1u);
  EXPECT_EQ(c.hostActionResponses, 1u);
  EXPECT_EQ(c.lastHostActionResult, 0);
  const auto response = std::find_if(h.sent().begin(), h.sent().end(),
                                     [](auto& f) { return readLe16(f, 15) == 0xA063; });
  ASSERT_NE(response, h.sent().end());
  const Bytes expected = {0x00, 0xB0, 0x52, 0x10, 0x00, 0x01, 0x02, 0x00, 0x00, 0x00, 0x00,
                          0x10, 0x88, 0xE1, 0x00, 0x63, 0xA0, 0x00, 0xB0, 0x52, 0x00};
  ASSERT_EQ(response->size(), 64u);
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), response->begin()));
  EXPECT_TRUE(std::all_of(response->begin() + 21, response->end(), [](auto b) { return b == 0; }));

  h.behaviour().hostActionAfter = c.pieces + 5;  // during a write too
  ASSERT_EQ(thpapi_WriteModules(host(), kSimLocalMac, {}, block, 0x23), 0);
  EXPECT_EQ(c.hostActionResponses, 2u);
}

TEST(SimTransfer, AdapterThatStopsAnsweringFailsTheTransfer) {
  {
    SimHost h(simScenario());
    h.behaviour().stopAfterPiece = 4;
    Bytes buffer(15560 + 64, kGuard);
    std::size_t received = 0;
    EXPECT_EQ(thpapi_ReadModuleBlock(host(), kSimLocalMac, 2, MutableByteSpan(buffer).first(15560),
                                     received),
              -1);
    EXPECT_EQ(lastError(), kErrorInvalid);
    EXPECT_EQ(received, 4u * 1024);
    EXPECT_TRUE(
        std::all_of(buffer.begin() + 15560, buffer.end(), [](auto b) { return b == kGuard; }));
    EXPECT_FALSE(thpapi_FrameWaiting());
  }
  const Bytes chain = chainOf({3000});
  const Bytes newBlock = samples::buildParameterBlock(kNewMac, kNewKey);
  SimHost h(simScenario());
  h.behaviour().stopAfterPiece = 6;
  EXPECT_EQ(thpapi_WriteModules(host(), kSimLocalMac, chain, newBlock, 0x23), -1);
  EXPECT_TRUE(sentRequests(h, 0xA028).empty());
  EXPECT_EQ(h.local().modules.counters.commits, 0u);
  EXPECT_EQ(h.local().networkKey, kSimLocalKey);
  // Every piece that went out is the buffer's own bytes at its offset.
  for (const auto& p : sentRequests(h, 0xA020)) {
    const Bytes& from = p.module == 1 ? chain : newBlock;
    ASSERT_LE(p.offset + p.data.size(), from.size());
    EXPECT_TRUE(std::equal(p.data.begin(), p.data.end(), from.begin() + p.offset));
  }
}

}  // namespace
}  // namespace quorrel::thpapi
