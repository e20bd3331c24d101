// The real libpcap transport against adapter-sim on a veth pair: with the adapter sending noise
// of other ethertypes, only its own frames reach receive, and those nobody reads for a while are
// kept; then the harness stops the sim cleanly and removes its namespaces. (Padding and the
// length limit are the interface table's unit test; enumeration and the answers' bytes, the
// scan end-to-end tests'.)
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "e2e/sim_pair_test.h"
#include "support/av_frames.h"

namespace quorrel::e2e {
namespace {

using TransportE2eTest = SimPairTest;

TEST_F(TransportE2eTest, NoiseFilterKeptFramesAndTheHarnessCleanUp) {
  startSim(
      "[local]\nmac 00:B0:52:10:00:01\nchip 2\n[remote]\nmac 00:B0:52:20:00:02\nchip 3\n"
      "[behaviour]\nnoise on\nnoise_interval_us 1000\n");
  ASSERT_EQ(transport::SendFrame(0, testing::avFrame(0xA000, 64, kHostEndMac, kLocalDeviceMac)), 1);
  int av = 0, hp1 = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  while ((av < 20 || hp1 < 20) && std::chrono::steady_clock::now() < deadline) {
    const auto* r = transport::ReceiveFrame(0);
    if (r == nullptr) continue;
    const std::uint16_t type = readBe16(r->bytes(), 12);
    ASSERT_TRUE(type == 0x88E1 || type == 0x887B) << "ethertype " << std::hex << type;
    (type == 0x88E1 ? av : hp1)++;
  }
  EXPECT_GE(av, 20);
  EXPECT_GE(hp1, 20);
  // The other ethertypes did go out on the wire: "tx <length> <bytes>", IPv4 at byte 12.
  std::ifstream log(logPath);
  std::string line;
  while (std::getline(log, line) &&
         !(line.starts_with("tx ") && line.find(' ', 3) + 29 <= line.size() &&
           line.compare(line.find(' ', 3) + 25, 4, "0800") == 0)) {
  }
  EXPECT_FALSE(line.empty()) << "no IPv4 noise in the sim's log";

  // Frames that arrive while nobody reads wait in the capture, far more than a few
  // milliseconds of them (the ring once held 32 frames).
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  const std::string hostPath = "/run/netns/" + pair.hostNamespace();
  const std::string simPath = "/run/netns/" + pair.simNamespace();
  ASSERT_TRUE(std::filesystem::exists(simPath));
  const int status = sim.stop();
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "adapter-sim should end by itself on SIGTERM, status " << status;
  int kept = 0;
  while (transport::ReceiveFrame(0) != nullptr) ++kept;
  EXPECT_GT(kept, 100);
  transport::resetInterfaceTable();
  pair.teardown();
  EXPECT_FALSE(std::filesystem::exists(hostPath) || std::filesystem::exists(simPath));
}

}  // namespace
}  // namespace quorrel::e2e
