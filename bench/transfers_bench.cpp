// Module transfers to adapter-sim over a veth pair: the 15560-byte parameter block read, and a
// 1 MiB firmware image (plus the block) written in 1024-byte pieces, each against two
// references measured on the same pair in the same run: the stop-and-wait floor (one raw
// round trip per request) and the bound that the loop's own fixed pauses set (its pauses per
// request plus one raw round trip, per request).
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "make-samples/sample_files.h"
#include "platform/clock.h"
#include "rawfloor.h"
#include "thpapi/exchange.h"
#include "thpapi/transfer_loop.h"
#include "transport/interface_table.h"

namespace {

using namespace quorrel;
using Clock = std::chrono::steady_clock;

constexpr int kFloorRounds = 2000;
constexpr int kReadRounds = 30;
constexpr int kWriteRounds = 3;
// How long the simulated local adapter takes to answer a request: a quick adapter on its own
// Ethernet port.
constexpr std::uint32_t kLocalLatencyUs = 250;
constexpr std::uint32_t kRestartMs = 50;
constexpr MacAddress kLocal{0x00, 0xB0, 0x52, 0x10, 0x00, 0x01};
constexpr std::size_t kBlockLength = 15560;
constexpr std::size_t kImageFileLength = 1u << 20;
constexpr std::size_t kPiece = 1024;

// Both loops take the pause before polling and the pause after an accepted confirmation.
constexpr double kPausesPerRequestUs = (thpapi::kWaitPollPauseMs + thpapi::kAcceptPauseMs) * 1000.0;

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Figures {
  std::vector<double> ms;
  double median() {
    std::sort(ms.begin(), ms.end());
    return ms[ms.size() / 2];
  }
};

// What one 1 ms pause of the platform clock really takes here, median of many.
double measuredPauseUs() {
  Figures f;
  for (int i = 0; i < 300; ++i) {
    const auto start = Clock::now();
    platform::sleepMs(1);
    f.ms.push_back(msSince(start) * 1000.0);
  }
  return f.median();
}

void report(const char* what, Figures& f, std::size_t requests, double rttUs, double pauseUs) {
  const double floorMs = requests * rttUs / 1000.0;
  const double boundMs = requests * (kPausesPerRequestUs + rttUs) / 1000.0;
  const double sleptMs = requests * (kPausesPerRequestUs / 1000.0 * pauseUs + rttUs) / 1000.0;
  const double median = f.median();
  std::printf("%s: %zu requests, median %.1f ms, min %.1f ms (n=%zu)\n", what, requests, median,
              f.ms.front(), f.ms.size());
  std::printf("  stop-and-wait floor %.1f ms: ratio %.2f\n", floorMs, median / floorMs);
  std::printf("  pause bound %.1f ms (%.0f us of pauses + %.1f us per request): ratio %.3f\n",
              boundMs, kPausesPerRequestUs, rttUs, median / boundMs);
  std::printf("  the same with each 1 ms pause as long as it slept, %.1f ms: ratio %.3f\n", sleptMs,
              median / sleptMs);
}

bool run(std::string& error) {
  e2e::NetnsPair pair;
  bench::Timings floor;
  if (!pair.create(error) || !bench::measureRawFloor(pair, kFloorRounds, floor, error))
    return false;

  char dir[] = "/tmp/quorrel-bench-XXXXXX";
  if (mkdtemp(dir) == nullptr) {
    error = "no temporary directory";
    return false;
  }
  const std::string scenario = std::string(dir) + "/scenario.conf";
  std::ofstream(scenario) << "[local]\nmac 00:B0:52:10:00:01\nchip 1\n[behaviour]\n"
                          << "local_latency_us " << kLocalLatencyUs << "\nrestart_ms " << kRestartMs
                          << "\n";
  e2e::SimProcess sim;
  const bool started = sim.start(pair, scenario, "", error);
  std::remove(scenario.c_str());
  rmdir(dir);
  if (!started || !pair.enterHost(error)) return false;
  if (transport::EnumerateInterfaces() != 1 || transport::OpenInterface(0) != 1) {
    error = "the host veth end could not be opened";
    return false;
  }
  transport::setCurrentInterface(0);
  const MacAddress source = transport::SourceAddress();

  transport::ReceivePath path;
  Figures reads;
  std::vector<std::uint8_t> block(kBlockLength);
  for (int i = 0; i < kReadRounds; ++i) {
    std::size_t received = 0;
    const auto start = Clock::now();
    if (thpapi::readModuleBlock(path, source, kLocalDeviceMac, 2, block, received) != 0 ||
        received != kBlockLength) {
      error = "the parameter block read failed";
      return false;
    }
    reads.ms.push_back(msSince(start));
  }

  const auto image =
      samples::buildFirmwareFile(samples::sampleFirmwareImages(1, kImageFileLength - 44));
  Figures writes;
  for (int i = 0; i < kWriteRounds; ++i) {
    const auto start = Clock::now();
    if (thpapi::writeModules(path, source, kLocalDeviceMac, image, block, 0x23) != 0) {
      error = "the firmware write failed";
      return false;
    }
    writes.ms.push_back(msSince(start));
    std::this_thread::sleep_for(std::chrono::milliseconds(kRestartMs * 3));
  }
  transport::resetInterfaceTable();
  sim.stop();

  const std::size_t readRequests = (kBlockLength + kPiece - 1) / kPiece;
  const std::size_t writeRequests = image.size() / kPiece + readRequests + 1;  // and the commit
  const double pauseUs = measuredPauseUs();
  bench::printTimings("raw AF_PACKET round trip on veth", floor);
  std::printf("adapter-sim local latency %u us; a 1 ms pause sleeps %.1f us\n", kLocalLatencyUs,
              pauseUs);
  report("read parameter block (15560 bytes)", reads, readRequests, floor.median, pauseUs);
  report("write 1 MiB firmware image + block, commit", writes, writeRequests, floor.median,
         pauseUs);
  return true;
}

}  // namespace

int main() {
  return quorrel::bench::runNetworkBench("transfers", run);
}
