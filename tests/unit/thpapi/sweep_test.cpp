// Every step of the module transfers failed once in turn against the simulated adapter (the
// version exchange's failures: the AV local search's sweep, whose first exchange it is):
// the Nth send fails, or the Nth frame received is dropped, damaged or late. Each run must end
// in its documented state: success with the right bytes, or failure with the layer's error,
// the transfer abandoned, and nothing written outside the caller's buffer.
#include <gtest/gtest.h>

#include <algorithm>

#include "make-samples/sample_files.h"
#include "support/failure_injector.h"
#include "support/sim_host.h"
#include "thpapi/last_error.h"
#include "thpapi/module_transfer.h"
#include "thpapi/transfer_loop.h"

namespace quorrel::thpapi {
namespace {

using namespace quorrel::testing;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kGuard = 0xA5;
const MacAddress& kHost = sim::kDefaultHostMac;

// Interface 0 opened again through `injector`.
void through(FailureInjector& injector) {
  reopenThrough(injector);
  resetLastError();
  thpapi_AbandonTransfer();
}

// Nothing of the transfer is left to go out.
void expectAbandoned() {
  EXPECT_EQ(thpapi_PendingState().pendingOperation, 0u);
  EXPECT_FALSE(thpapi_FrameWaiting());
}

TEST(Sweep, ParameterBlockRead) {
  for (const Fault fault : kEveryFault) {
    SCOPED_TRACE(faultName(fault));
    SimHost h(simScenario());
    sim::prepareModules(h.local());
    const Bytes stored = h.local().modules.parameterBlock;
    transport::ReceivePath path;
    Bytes block;
    int result = 0;
    std::size_t received = 0;
    const std::uint32_t runs = sweep(
        h.backend, fault, &h.clock,
        [&](FailureInjector& injector) {
          through(injector);
          block.assign(stored.size() + 64, kGuard);
          result = thpapi_ReadModuleBlock(path, kHost, kSimLocalMac, 2,
                                          MutableByteSpan(block).first(stored.size()), received);
        },
        [&](std::uint32_t n, const FailureInjector&) {
          SCOPED_TRACE(n);
          EXPECT_TRUE(std::all_of(block.begin() + static_cast<std::ptrdiff_t>(stored.size()),
                                  block.end(), [](auto b) { return b == kGuard; }));
          if (result == 0) {
            EXPECT_EQ(received, stored.size());
            EXPECT_TRUE(std::equal(stored.begin(), stored.end(), block.begin()));
          } else {
            EXPECT_EQ(result, -1);
            EXPECT_EQ(lastError(), kErrorInvalid);
          }
          expectAbandoned();
        });
    EXPECT_EQ(result, 0);  // the untouched run
    EXPECT_GT(runs, stored.size() / 1024);
  }
}

TEST(Sweep, ModuleWritesWithCommitAndWithStart) {
  const Bytes chain = samples::buildFirmwareFile(samples::sampleFirmwareImages(2, 2500));
  // The adapter keeps its address, so every run finds it after the restart of the last.
  const Bytes newBlock =
      samples::buildParameterBlock(kSimLocalMac, {9, 8, 7, 6, 5, 4, 3, 2, 1, 0, 1, 2, 3, 4});
  for (const std::uint32_t options : {0x23u, 0x00u}) {
    for (const Fault fault : kEveryFault) {
      SCOPED_TRACE(faultName(fault));
      SCOPED_TRACE(options);
      SimHost h(simScenario());
      sim::prepareModules(h.local());
      const Bytes oldBlock = h.local().modules.parameterBlock;
      transport::ReceivePath path;
      int result = 0;
      const std::uint32_t runs = sweep(
          h.backend, fault, &h.clock,
          [&](FailureInjector& injector) {
            through(injector);
            h.local().modules.parameterBlock = oldBlock;
            result = thpapi_WriteModules(path, kHost, kSimLocalMac, chain, newBlock, options);
            h.clock.sleepMs(3000);  // past any restart
          },
          [&](std::uint32_t n, const FailureInjector&) {
            SCOPED_TRACE(n);
            if (result != 0) {
              EXPECT_EQ(result, -1);
              EXPECT_EQ(lastError(), kErrorInvalid);
            }
            // Never a mixture: the adapter keeps the old block or takes the whole new one.
            const Bytes& now = h.local().modules.parameterBlock;
            EXPECT_TRUE(now == oldBlock || now == newBlock);
            EXPECT_TRUE(result != 0 || options != 0x23 || now == newBlock);
            expectAbandoned();
          });
      EXPECT_EQ(result, 0);  // the untouched run
      EXPECT_GT(runs, 4u) << runs;
    }
  }
}

}  // namespace
}  // namespace quorrel::thpapi
