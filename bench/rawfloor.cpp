// Raw AF_PACKET sockets on both veth ends: the least any frame exchange on this wire can cost.
#include "rawfloor.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace quorrel::bench {

namespace {

constexpr std::uint16_t kEtherTypeAv = 0x88E1;
constexpr std::size_t kFrameLength = 60;
constexpr std::size_t kSequenceOffset = 20;
constexpr int kWarmUpRounds = 100;
constexpr int kAnswerWaitMs = 1000;

// An AF_PACKET socket for 0x88E1 bound to one interface; -1 on failure.
int openBound(const std::string& interface) {
  const int fd = socket(AF_PACKET, SOCK_RAW | SOCK_CLOEXEC, htons(kEtherTypeAv));
  if (fd < 0) return -1;
  sockaddr_ll at{};
  at.sll_family = AF_PACKET;
  at.sll_protocol = htons(kEtherTypeAv);
  at.sll_ifindex = static_cast<int>(if_nametoindex(interface.c_str()));
  if (at.sll_ifindex == 0 || bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

// Sends every frame it receives back with the addresses swapped, until killed.
int echoResponder(const std::string& interface, int readyFd) {
  const int fd = openBound(interface);
  const char ok = fd >= 0 ? 'y' : 'n';
  [[maybe_unused]] const auto said = write(readyFd, &ok, 1);
  if (fd < 0) return 1;
  std::array<std::uint8_t, 2048> frame{};
  for (;;) {
    sockaddr_ll from{};
    socklen_t fromLength = sizeof from;
    const ssize_t n = recvfrom(fd, frame.data(), frame.size(), 0,
                               reinterpret_cast<sockaddr*>(&from), &fromLength);
    if (n < 14 || from.sll_pkttype == PACKET_OUTGOING) continue;
    std::array<std::uint8_t, 6> to{};
    std::memcpy(to.data(), frame.data() + 6, 6);
    std::memcpy(frame.data() + 6, frame.data(), 6);
    std::memcpy(frame.data(), to.data(), 6);
    send(fd, frame.data(), static_cast<std::size_t>(n), 0);
  }
}

double percentile(const std::vector<double>& sorted, double p) {
  if (sorted.empty()) return 0;
  const auto at = static_cast<std::size_t>(p * static_cast<double>(sorted.size() - 1) + 0.5);
  return sorted[std::min(at, sorted.size() - 1)];
}

}  // namespace

void summarise(Timings& t) {
  std::vector<double> sorted = t.us;
  std::sort(sorted.begin(), sorted.end());
  t.median = percentile(sorted, 0.5);
  t.p10 = percentile(sorted, 0.1);
  t.p90 = percentile(sorted, 0.9);
  t.min = sorted.empty() ? 0 : sorted.front();
  t.max = sorted.empty() ? 0 : sorted.back();
}

void printTimings(const std::string& name, const Timings& t) {
  std::printf("%s: median %.1f us, p10 %.1f, p90 %.1f, min %.1f, max %.1f (n=%zu)\n", name.c_str(),
              t.median, t.p10, t.p90, t.min, t.max, t.us.size());
}

bool measureRawFloor(e2e::NetnsPair& pair, int rounds, Timings& out, std::string& error) {
  int ready[2];
  if (pipe2(ready, O_CLOEXEC) != 0) {
    error = "pipe failed";
    return false;
  }
  const std::string simInterface = pair.simInterface();
  const pid_t responder = pair.spawnInSim([&] { return echoResponder(simInterface, ready[1]); });
  close(ready[1]);
  char ok = 'n';
  pollfd p{ready[0], POLLIN, 0};
  if (responder < 0 || poll(&p, 1, 5000) <= 0 || read(ready[0], &ok, 1) != 1 || ok != 'y') {
    close(ready[0]);
    e2e::stopChild(responder);
    error = "the echo responder did not start";
    return false;
  }
  close(ready[0]);

  const int fd = pair.enterHost(error) ? openBound(pair.hostInterface()) : -1;
  if (fd < 0) {
    e2e::stopChild(responder);
    if (error.empty()) error = "cannot open a raw socket on " + pair.hostInterface();
    return false;
  }
  std::array<std::uint8_t, kFrameLength> frame{};
  std::memcpy(frame.data(), e2e::kSimEndMac.data(), 6);
  std::memcpy(frame.data() + 6, e2e::kHostEndMac.data(), 6);
  frame[12] = kEtherTypeAv >> 8;
  frame[13] = kEtherTypeAv & 0xFF;
  std::array<std::uint8_t, 2048> answer{};
  out.us.clear();
  bool fine = true;
  for (int round = 0; round < kWarmUpRounds + rounds && fine; ++round) {
    const std::uint32_t sequence = static_cast<std::uint32_t>(round);
    std::memcpy(frame.data() + kSequenceOffset, &sequence, sizeof sequence);
    const auto start = std::chrono::steady_clock::now();
    if (send(fd, frame.data(), frame.size(), 0) != static_cast<ssize_t>(frame.size())) {
      error = "send failed: " + std::string(std::strerror(errno));
      fine = false;
      break;
    }
    for (;;) {
      pollfd wait{fd, POLLIN, 0};
      if (poll(&wait, 1, kAnswerWaitMs) <= 0) {
        error = "no echo within " + std::to_string(kAnswerWaitMs) + " ms";
        fine = false;
        break;
      }
      const ssize_t n = recv(fd, answer.data(), answer.size(), 0);
      if (n >= static_cast<ssize_t>(kFrameLength) &&
          std::memcmp(answer.data() + kSequenceOffset, &sequence, sizeof sequence) == 0 &&
          std::memcmp(answer.data() + 6, e2e::kSimEndMac.data(), 6) == 0)
        break;
    }
    const auto took =
        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start);
    if (fine && round >= kWarmUpRounds) out.us.push_back(took.count());
  }
  close(fd);
  e2e::stopChild(responder, 1000);
  summarise(out);
  return fine;
}

bool measureRawFloorOnNewPair(int rounds, Timings& out, std::string& error) {
  e2e::NetnsPair pair;
  return pair.create(error) && measureRawFloor(pair, rounds, out, error);
}

bool withScenarioPair(const std::string& scenarioText, const ScenarioBody& body,
                      std::string& error) {
  char dir[] = "/tmp/quorrel-bench-XXXXXX";
  if (mkdtemp(dir) == nullptr) {
    error = "no temporary folder";
    return false;
  }
  const std::string path = std::string(dir) + "/scenario.conf";
  std::ofstream(path) << scenarioText;
  bool ok = false;
  {
    e2e::NetnsPair pair;
    ok = pair.create(error) && body(pair, path, error);
  }
  std::remove(path.c_str());
  rmdir(dir);
  return ok;
}

int runNetworkBench(const char* name, bool (*run)(std::string& error)) {
  if (const auto why = e2e::netnsUnavailableReason(); !why.empty()) {
    std::printf("%s skipped: %s\n", name, why.c_str());
    return 0;
  }
  std::string error;
  if (!run(error)) {
    std::fprintf(stderr, "%s: %s\n", name, error.c_str());
    return 1;
  }
  return 0;
}

}  // namespace quorrel::bench
