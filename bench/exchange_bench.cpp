// One HomePlug AV exchange (build, send, wait, decode) against adapter-sim over a veth pair,
// beside the raw round-trip floor, the bare transport round trip, and the bound the
// exchange's own fixed sleeps set; then both again through the capture helper, for what the
// helper adds to each exchange.

#include <chrono>
#include <cstdio>

#include "platform/clock.h"
#include "rawfloor.h"
#include "thpapi/exchange.h"
#include "transport/helper_backend.h"
#include "transport/interface_table.h"

namespace {

constexpr const char* kScenario =
    "[local]\nmac 00:B0:52:10:00:01\nchip 1\n[behaviour]\nlocal_latency_us 0\n";

using namespace quorrel;
using Clock = std::chrono::steady_clock;

constexpr int kFloorRounds = 3000;
constexpr int kExchangeRounds = 1000;
constexpr int kWarmUp = 50;
constexpr std::uint16_t kVersionRequest = 0xA000;
constexpr int kAnswerWaitMs = 1000;
// The sleeps an exchange must take: 1 ms before the first poll, 1 ms after the accepted
// confirmation.
constexpr double kFixedSleepUs = 2000.0;

double elapsedUs(Clock::time_point since) {
  return std::chrono::duration<double, std::micro>(Clock::now() - since).count();
}

// A version request to the local-device address, 64 bytes, written out by hand.
std::vector<std::uint8_t> versionRequest() {
  std::vector<std::uint8_t> f(64, 0);
  std::copy(kLocalDeviceMac.begin(), kLocalDeviceMac.end(), f.begin());
  std::copy(e2e::kHostEndMac.begin(), e2e::kHostEndMac.end(), f.begin() + 6);
  const std::uint8_t header[] = {0x88, 0xE1, 0x00, 0x00, 0xA0, 0x00, 0xB0, 0x52};
  std::copy(std::begin(header), std::end(header), f.begin() + 12);
  return f;
}

bool measureTransportExchanges(e2e::NetnsPair& pair, const std::string& scenario,
                               bench::Timings& out, std::string& error) {
  e2e::SimProcess sim;
  if (!sim.start(pair, scenario, "", error) || !pair.enterHost(error)) return false;
  if (transport::EnumerateInterfaces() != 1 || transport::interfaceTable().interfaceCount != 1 ||
      transport::OpenInterface(0) != 1) {
    error = "the host veth end could not be opened";
    return false;
  }
  const auto request = versionRequest();
  for (int round = 0; round < kWarmUp + kExchangeRounds; ++round) {
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
    if (round >= kWarmUp) out.us.push_back(took.count());
  }
  transport::resetInterfaceTable();
  sim.stop();
  bench::summarise(out);
  return true;
}

bool measureExchanges(e2e::NetnsPair& pair, const std::string& scenario, bench::Timings& out,
                      std::string& error) {
  e2e::SimProcess sim;
  if (!sim.start(pair, scenario, "", error) || !pair.enterHost(error)) return false;
  if (transport::EnumerateInterfaces() != 1 || transport::OpenInterface(0) != 1) {
    error = "the host veth end could not be opened";
    return false;
  }
  transport::setCurrentInterface(0);
  transport::ReceivePath path;
  for (int round = 0; round < kWarmUp + kExchangeRounds; ++round) {
    const auto start = Clock::now();
    thpapi::SendAvRequest(kLocalDeviceMac, kVersionRequest);
    thpapi::ThapiResult result;
    if (!thpapi::WaitConfirmation(path, kVersionRequest, result)) {
      error = "no version confirmation within the wait";
      return false;
    }
    if (round >= kWarmUp) out.us.push_back(elapsedUs(start));
  }
  transport::resetInterfaceTable();
  bench::summarise(out);
  return true;
}

// What two 1 ms sleeps really cost on this machine, for reading the ratio.
bench::Timings measureSleeps() {
  bench::Timings t;
  for (int i = 0; i < 200; ++i) {
    const auto start = Clock::now();
    platform::sleepMs(1);
    platform::sleepMs(1);
    t.us.push_back(elapsedUs(start));
  }
  bench::summarise(t);
  return t;
}

}  // namespace

int main() {
  if (const auto why = e2e::netnsUnavailableReason(); !why.empty()) {
    std::printf("exchange bench skipped: %s\n", why.c_str());
    return 0;
  }
  std::string error;
  bench::Timings floor, transportRounds, exchange, helperRounds, helperExchange;
  // The helper is started by the first enumeration, inside the host namespace.
  transport::HelperBackend helper(QUORREL_CAPTURE_PATH);
  const auto throughHelper = [&](auto measure, e2e::NetnsPair& pair, const std::string& path,
                                 bench::Timings& out, std::string& e) {
    transport::setBackend(&helper);
    const bool fine = measure(pair, path, out, e);
    transport::setBackend(nullptr);
    return fine;
  };
  const bool ok =
      bench::measureRawFloorOnNewPair(kFloorRounds, floor, error) &&
      bench::withScenarioPair(
          kScenario,
          [&](e2e::NetnsPair& pair, const std::string& path, std::string& e) {
            return measureTransportExchanges(pair, path, transportRounds, e) &&
                   measureExchanges(pair, path, exchange, e) &&
                   throughHelper(measureTransportExchanges, pair, path, helperRounds, e) &&
                   throughHelper(measureExchanges, pair, path, helperExchange, e);
          },
          error);
  if (!ok) {
    std::fprintf(stderr, "exchange bench: %s\n", error.c_str());
    return 1;
  }
  const bench::Timings sleeps = measureSleeps();
  const double bound = kFixedSleepUs + floor.median;
  bench::printTimings("raw AF_PACKET round trip on veth (floor)", floor);
  bench::printTimings("version request, bare SendFrame + ReceiveFrame polling", transportRounds);
  bench::printTimings("two 1 ms sleeps as this machine gives them", sleeps);
  bench::printTimings("AV version exchange: build, send, wait, decode", exchange);
  std::printf("bound (2 ms of fixed sleeps + floor): %.1f us\n", bound);
  std::printf("ratio to bound (median): %.3f\n", exchange.median / bound);
  std::printf("ratio to the sleeps this machine gives + floor (median): %.3f\n",
              exchange.median / (sleeps.median + floor.median));
  bench::printTimings("version request, bare, through the capture helper", helperRounds);
  bench::printTimings("AV version exchange through the capture helper", helperExchange);
  const double added = helperExchange.median - exchange.median;
  std::printf(
      "helper's added cost per exchange (median): %.1f us = %.1f floors, %.2f %% of the "
      "direct exchange; bare round trip %.1f us more\n",
      added, added / floor.median, 100.0 * added / exchange.median,
      helperRounds.median - transportRounds.median);
  return 0;
}
