// The real libpcap transport against adapter-sim on a veth pair: the filter against noise,
// what reaches the wire at the length limits, and the harness's own cleanup. (What enumeration
// sees and the answers' bytes are shown by the scan end-to-end tests over the same path.)
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "e2e/sim_pair_test.h"
#include "support/av_frames.h"

namespace quorrel::e2e {
namespace {

using Frame = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

// Generous bounds for things that take milliseconds; only reached when something is broken.
constexpr int kPatienceMs = 3000;

const char* kScenario =
    "[local]\nmac 00:B0:52:10:00:01\nchip 2\nfirmware LQA-100-FW-2-4-0517-E2E\n"
    "network_key 50D3E4933F855B7040784DF815AA8DB7\n"
    "[remote]\nmac 00:B0:52:20:00:02\nchip 3\nfirmware LQA-100-REMOTE\nrate 77\n";

// A management frame from this end to the adapter, header written byte by byte.
Frame toAdapter(std::uint16_t type, std::size_t length) {
  return testing::avFrame(type, length, kHostEndMac, kLocalDeviceMac);
}

std::string hex(ByteSpan b) {
  std::string s;
  for (const std::uint8_t c : b) s += {"0123456789abcdef"[c >> 4], "0123456789abcdef"[c & 15]};
  return s;
}

class TransportE2eTest : public SimPairTest {
 protected:
  std::vector<std::string> logLines() {
    std::ifstream in(logPath);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

  // Waits until the sim's log holds a line starting with `prefix`; all lines so far.
  std::vector<std::string> waitForLog(const std::string& prefix) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(kPatienceMs);
    do {
      auto lines = logLines();
      for (const auto& l : lines)
        if (l.rfind(prefix, 0) == 0) return lines;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    } while (Clock::now() < deadline);
    ADD_FAILURE() << "adapter-sim never logged " << prefix;
    return logLines();
  }
};

// Padding and the length limit on the wire; then, with the adapter sending noise of other
// ethertypes, only its own frames reach receive, and those nobody reads for a while are kept;
// then the harness stops the sim cleanly and removes its namespaces.
TEST_F(TransportE2eTest, PaddingLengthLimitNoiseFilterAndTheHarnessCleanUp) {
  startSim(kScenario);
  // Message types nobody answers, so the log shows exactly what was sent.
  Frame buffer = toAdapter(0xA0FC, 100);
  std::fill(buffer.begin() + 17, buffer.end(), 0xAA);
  ASSERT_EQ(transport::SendFrame(0, ByteSpan(buffer).first(17)), 1);
  ASSERT_EQ(transport::SendFrame(0, toAdapter(0xA0FD, 1514)), 1);
  EXPECT_EQ(transport::SendFrame(0, toAdapter(0xA0FE, 1515)), 0);
  ASSERT_EQ(transport::SendFrame(0, toAdapter(0xA0FB, 60)), 1);

  const std::string header = hex(ByteSpan(buffer).first(17));
  const auto lines = waitForLog("rx 60 " + hex(toAdapter(0xA0FB, 17)));
  std::vector<std::string> received;
  for (const auto& l : lines)
    if (l.rfind("rx ", 0) == 0) received.push_back(l);
  ASSERT_EQ(received.size(), 3u) << "the 1515-byte frame must not reach the wire";
  EXPECT_EQ(received[0], "rx 60 " + header + std::string(2 * 43, '0'));
  EXPECT_EQ(received[1].rfind("rx 1514 " + hex(ByteSpan(buffer).first(15)) + "fda0", 0), 0u)
      << received[1];

  startOnLinks(std::string(kScenario) + "[behaviour]\nnoise on\nnoise_interval_us 1000\n");
  ASSERT_EQ(transport::SendFrame(0, toAdapter(0xA000, 64)), 1);
  int av = 0, hp1 = 0;
  const auto deadline = Clock::now() + std::chrono::milliseconds(kPatienceMs);
  while ((av < 20 || hp1 < 20) && Clock::now() < deadline) {
    const auto* r = transport::ReceiveFrame(0);
    if (r == nullptr) continue;
    const std::uint16_t type = readBe16(r->bytes(), 12);
    ASSERT_TRUE(type == 0x88E1 || type == 0x887B) << "ethertype " << std::hex << type;
    (type == 0x88E1 ? av : hp1)++;
  }
  EXPECT_GE(av, 20);
  EXPECT_GE(hp1, 20);
  // The other ethertypes did go out on the wire.
  EXPECT_TRUE(std::ranges::any_of(logLines(), [](const std::string& l) {
    const std::size_t bytes = l.find(' ', 3) + 1;  // "tx <length> <bytes>"
    return l.starts_with("tx ") && l.size() >= bytes + 28 && l.compare(bytes + 24, 4, "0800") == 0;
  }));

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
  transport::ResetInterfaceTable();
  pair.teardown();
  EXPECT_FALSE(std::filesystem::exists(hostPath) || std::filesystem::exists(simPath));
}

}  // namespace
}  // namespace quorrel::e2e
