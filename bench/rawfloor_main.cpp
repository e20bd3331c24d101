// Measures the raw round-trip floor on a veth pair, then a version request answered by
// adapter-sim through the real transport on the same kind of pair, and their ratio.

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "rawfloor.h"
#include "transport/interface_table.h"

namespace {

constexpr const char* kScenario =
    "[local]\nmac 00:B0:52:10:00:01\nchip 1\n[behaviour]\nlocal_latency_us 0\n";

using namespace quorrel;

constexpr int kFloorRounds = 3000;
constexpr int kExchangeRounds = 2000;
constexpr int kAnswerWaitMs = 1000;

// A version request to the local-device address, 64 bytes, written out by hand.
std::vector<std::uint8_t> versionRequest() {
  std::vector<std::uint8_t> f(64, 0);
  std::copy(kLocalDeviceMac.begin(), kLocalDeviceMac.end(), f.begin());
  std::copy(e2e::kHostEndMac.begin(), e2e::kHostEndMac.end(), f.begin() + 6);
  const std::uint8_t header[] = {0x88, 0xE1, 0x00, 0x00, 0xA0, 0x00, 0xB0, 0x52};
  std::copy(std::begin(header), std::end(header), f.begin() + 12);
  return f;
}

bool measureExchange(e2e::NetnsPair& pair, const std::string& scenario, bench::Timings& out,
                     std::string& error) {
  e2e::SimProcess sim;
  if (!sim.start(pair, scenario, "", error) || !pair.enterHost(error)) return false;
  if (transport::EnumerateInterfaces() != 1 || transport::interfaceTable().interfaceCount != 1 ||
      transport::OpenInterface(0) != 1) {
    error = "the host veth end could not be opened";
    return false;
  }
  const auto request = versionRequest();
  for (int round = 0; round < 100 + kExchangeRounds; ++round) {
    const auto start = std::chrono::steady_clock::now();
    const auto deadline = start + std::chrono::milliseconds(kAnswerWaitMs);
    if (transport::SendFrame(0, request) != 1) {
      error = "SendFrame failed";
      return false;
    }
    bool answered = false;
    while (!answered && std::chrono::steady_clock::now() < deadline) {
      const auto* f = transport::ReceiveFrame(0);
      answered = f != nullptr && f->length >= 17 && f->data[15] == 0x01 && f->data[16] == 0xA0;
    }
    if (!answered) {
      error = "no version answer within " + std::to_string(kAnswerWaitMs) + " ms";
      return false;
    }
    const std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
    if (round >= 100) out.us.push_back(took.count());
  }
  transport::ResetInterfaceTable();
  bench::summarise(out);
  return true;
}

}  // namespace

int main() {
  if (const auto why = e2e::netnsUnavailableReason(); !why.empty()) {
    std::printf("rawfloor skipped: %s\n", why.c_str());
    return 0;
  }
  std::string error;
  bench::Timings floor, exchange;
  const bool ok = bench::measureRawFloorOnNewPair(kFloorRounds, floor, error) &&
                  bench::withScenarioPair(
                      kScenario,
                      [&](e2e::NetnsPair& pair, const std::string& path, std::string& e) {
                        return measureExchange(pair, path, exchange, e);
                      },
                      error);
  if (!ok) {
    std::fprintf(stderr, "rawfloor: %s\n", error.c_str());
    return 1;
  }
  bench::printTimings("raw AF_PACKET round trip on veth (floor)", floor);
  bench::printTimings("version request to adapter-sim, SendFrame + ReceiveFrame", exchange);
  std::printf("ratio to floor (median): %.2f\n", exchange.median / floor.median);
  return 0;
}
