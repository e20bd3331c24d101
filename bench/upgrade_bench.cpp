// upgradeLocalAvDevice of a 1 MiB image and a 15560-byte block to adapter-sim over a veth pair,
// files read and checked included, against the bound of what cannot be avoided: per request
// one raw round trip, the adapter's latency and time to write the piece, and the 1 ms pause
// after each confirmation (as long as such a pause really sleeps here); plus the commit time.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <thread>

#include "api/device_table.h"
#include "make-samples/sample_files.h"
#include "platform/clock.h"
#include "rawfloor.h"
#include "transport/interface_table.h"
#include "upgrade/av_upgrade.h"
#include "upgrade/write_options.h"

namespace {

using namespace quorrel;
using Clock = std::chrono::steady_clock;

constexpr int kFloorRounds = 2000;
constexpr int kRounds = 3;
constexpr std::uint32_t kLocalLatencyUs = 250;
constexpr std::uint32_t kPieceMs = 2;
constexpr std::uint32_t kCommitMs = 200;
constexpr std::uint32_t kRestartMs = 50;
constexpr MacAddress kLocal{0x00, 0xB0, 0x52, 0x10, 0x00, 0x01};
constexpr std::size_t kPiece = 1024;

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double measuredPauseUs() {
  std::vector<double> us;
  for (int i = 0; i < 300; ++i) {
    const auto start = Clock::now();
    platform::sleepMs(1);
    us.push_back(msSince(start) * 1000.0);
  }
  return median(us);
}

void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
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
  const std::string folder = dir;
  std::ofstream(folder + "/scenario.conf")
      << "[local]\nmac 00:B0:52:10:00:01\nchip 1\n[behaviour]\nlocal_latency_us " << kLocalLatencyUs
      << "\npiece_ms " << kPieceMs << "\ncommit_ms " << kCommitMs << "\nrestart_ms " << kRestartMs
      << "\n";
  const auto image = samples::buildFirmwareFile(samples::sampleFirmwareImages(1, (1u << 20) - 44));
  const auto block = samples::buildParameterBlock({0x02, 0, 0, 0, 0, 0x42}, {4, 2});
  const upgrade::UpgradeFiles files{folder + "/fw.nvm", folder + "/pb.pib"};
  writeFile(files.firmwarePath, image);
  writeFile(files.parameterBlockPath, block);

  e2e::SimProcess sim;
  const bool started = sim.start(pair, folder + "/scenario.conf", "", error);
  if (!started || !pair.enterHost(error)) return false;
  if (transport::EnumerateInterfaces() != 1 || transport::OpenInterface(0) != 1) {
    error = "the host veth end could not be opened";
    return false;
  }
  transport::setCurrentInterface(0);
  api::currentState().localMac = kLocal;
  api::deviceTable().localChipName = "LQA-100";
  upgrade::setCommitAfterWrite(true);

  transport::ReceivePath path;
  std::vector<double> ms;
  for (int i = 0; i < kRounds; ++i) {
    const auto start = Clock::now();
    const upgrade::UpgradeResult r = upgrade::upgradeLocalAvDevice(path, files);
    ms.push_back(msSince(start));
    if (!r.success) {
      error = "the upgrade failed: " + r.message;
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(kCommitMs + kRestartMs * 3));
  }
  transport::resetInterfaceTable();
  sim.stop();
  std::system(("rm -rf '" + folder + "'").c_str());

  const std::size_t requests =
      (image.size() + kPiece - 1) / kPiece + (block.size() + kPiece - 1) / kPiece + 1;
  const double pauseUs = measuredPauseUs();
  const double perRequestUs = floor.median + kLocalLatencyUs + pauseUs;
  const double boundMs =
      (requests * perRequestUs + (requests - 1) * kPieceMs * 1000.0) / 1000.0 + kCommitMs;
  const double m = median(ms);
  bench::printTimings("raw AF_PACKET round trip on veth", floor);
  std::printf(
      "adapter-sim: latency %u us, %u ms per piece, %u ms per commit; a 1 ms pause "
      "sleeps %.1f us\n",
      kLocalLatencyUs, kPieceMs, kCommitMs, pauseUs);
  std::printf(
      "upgradeLocalAvDevice, 1 MiB image + 15560-byte block: %zu requests, median %.1f ms "
      "(n=%zu)\n",
      requests, m, ms.size());
  std::printf("  bound %.1f ms: ratio %.3f\n", boundMs, m / boundMs);
  return true;
}

}  // namespace

int main() {
  return quorrel::bench::runNetworkBench("upgrade", run);
}
