// Module reads and writes against the simulated adapter, waits under a flood, and every step of
// the transfers failed once in turn.
#include <gtest/gtest.h>

#include <algorithm>

#include "make-samples/sample_files.h"
#include "support/av_frames.h"
#include "support/failure_injector.h"
#include "support/flood_backend.h"
#include "support/sim_host.h"
#include "thpapi/exchange.h"
#include "thpapi/last_error.h"
#include "thpapi/module_transfer.h"
#include "thpapi/transfer_loop.h"
#include "transport/receive_path.h"

// Every wait here takes frames the way the program does, without the scan's bookkeeping.
static quorrel::transport::ReceivePath path;

namespace quorrel::thpapi {
namespace {

using namespace quorrel::testing;
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
