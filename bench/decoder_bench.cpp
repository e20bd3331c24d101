// Decoder throughput in frames per second on a version and a network information
// confirmation, each beside a floor measured in the same run: a plain copy of the same frame
// into a result-sized record.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "support/av_frames.h"
#include "thpapi/decoder.h"

namespace {

using namespace quorrel;
using namespace quorrel::testing;

Bytes networkInfoFrame() {
  Bytes f = avFrame(0xA039, 39 + 15 * 60);
  f[20] = 1;
  f[38] = 60;
  for (std::size_t i = 0; i < 60; ++i) {
    putMac(f, 39 + 15 * i, MacAddress{0x00, 0xB0, 0x52, 0, 1, std::uint8_t(i)});
    f[39 + 15 * i + 13] = std::uint8_t(80 + i);
  }
  return f;
}

const Bytes& frameFor(int which) {
  static const Bytes version = versionConfirm(5, "LQ-B200 bench firmware 3.1.4");
  static const Bytes network = networkInfoFrame();
  return which == 0 ? version : network;
}

void decode(benchmark::State& state) {
  const Bytes& f = frameFor(static_cast<int>(state.range(0)));
  thpapi::ThapiResult result;
  for (auto _ : state) {
    benchmark::DoNotOptimize(thpapi::thpapi_DecodeFrame(f, result, 0));
    benchmark::ClobberMemory();
  }
  state.counters["frames/s"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

void copyFloor(benchmark::State& state) {
  const Bytes& f = frameFor(static_cast<int>(state.range(0)));
  thpapi::ThapiResult result;
  for (auto _ : state) {
    std::memcpy(result.data.data(), f.data(), f.size());
    benchmark::DoNotOptimize(result.data.data());
    benchmark::ClobberMemory();
  }
  state.counters["frames/s"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
}

BENCHMARK(decode)->Arg(0)->Arg(1);
BENCHMARK(copyFloor)->Arg(0)->Arg(1);

// Keeps each run's rate so the ratios can be printed after the table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const auto it = run.counters.find("frames/s");
      if (it != run.counters.end()) rates[run.benchmark_name()] = it->second.value;
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> rates;
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  const char* names[] = {"version confirmation", "network information confirmation"};
  for (int i = 0; i < 2; ++i) {
    const double decoded = reporter.rates["decode/" + std::to_string(i)];
    const double floor = reporter.rates["copyFloor/" + std::to_string(i)];
    if (decoded > 0 && floor > 0)
      std::printf("%s: %.0f frames/s decoded, floor %.0f copies/s, decoder at %.3f of floor\n",
                  names[i], decoded, floor, decoded / floor);
  }
  benchmark::Shutdown();
  return 0;
}
