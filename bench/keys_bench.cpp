// Each derivation is 1000 digests; its floor is 1000 bare digests of 32 (SHA-256) or 16 (MD5)
// bytes done the fastest way libcrypto offers, measured in the same run. Prints the ratios.
// The deprecated low-level functions are timed as a floor candidate only: OpenSSL 3.0's
// EVP_DigestInit_ex2 frees and allocates its provider context on every call, which they skip.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/md5.h>
#include <openssl/sha.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>

#include "crypto/keys.h"

namespace {

using namespace quorrel::crypto;
constexpr int kRounds = 1000;

void deriveNmk(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(deriveNMK("MyPrivateNetwork"));
}
void deriveDak(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(deriveDAK("ABCD-EFGH-IJKL-MNOP"));
}
void deriveNek(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(deriveNEK("MyPrivateNetwork"));
}

// Fetched once, one context reused: the provider path without per-call lookups.
template <std::size_t N>
void evpFloor(benchmark::State& state, const char* name) {
  EVP_MD* md = EVP_MD_fetch(nullptr, name, nullptr);
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  unsigned char buf[N] = {1};
  for (auto _ : state) {
    for (int i = 0; i < kRounds; ++i) {
      EVP_DigestInit_ex2(ctx, md, nullptr);
      EVP_DigestUpdate(ctx, buf, N);
      EVP_DigestFinal_ex(ctx, buf, nullptr);
    }
    benchmark::DoNotOptimize(buf);
  }
  EVP_MD_CTX_free(ctx);
  EVP_MD_free(md);
}

void sha256EvpFloor(benchmark::State& state) {
  evpFloor<32>(state, "SHA2-256");
}
void md5EvpFloor(benchmark::State& state) {
  evpFloor<16>(state, "MD5");
}

// The low-level contexts skip the provider dispatch altogether.
void sha256LowLevelFloor(benchmark::State& state) {
  unsigned char buf[32] = {1};
  for (auto _ : state) {
    for (int i = 0; i < kRounds; ++i) {
      SHA256_CTX c;
      SHA256_Init(&c);
      SHA256_Update(&c, buf, sizeof buf);
      SHA256_Final(buf, &c);
    }
    benchmark::DoNotOptimize(buf);
  }
}
void md5LowLevelFloor(benchmark::State& state) {
  unsigned char buf[16] = {1};
  for (auto _ : state) {
    for (int i = 0; i < kRounds; ++i) {
      MD5_CTX c;
      MD5_Init(&c);
      MD5_Update(&c, buf, sizeof buf);
      MD5_Final(buf, &c);
    }
    benchmark::DoNotOptimize(buf);
  }
}

// What a derivation costs when the algorithm is looked up on every digest.
void sha256LookupEachCall(benchmark::State& state) {
  unsigned char buf[32] = {1};
  for (auto _ : state) {
    for (int i = 0; i < kRounds; ++i) EVP_Digest(buf, 32, buf, nullptr, EVP_sha256(), nullptr);
    benchmark::DoNotOptimize(buf);
  }
}

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs)
      if (r.run_type == Run::RT_Iteration) {
        // The least of the repetitions: other load on the machine only ever adds time.
        const std::string name = r.run_name.function_name;
        const double v = r.GetAdjustedCPUTime();
        if (!ns.count(name) || v < ns[name]) ns[name] = v;
      }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> ns;
};

}  // namespace

BENCHMARK(deriveNmk)->Repetitions(3);
BENCHMARK(deriveDak)->Repetitions(3);
BENCHMARK(deriveNek)->Repetitions(3);
BENCHMARK(sha256EvpFloor)->Repetitions(3);
BENCHMARK(sha256LowLevelFloor)->Repetitions(3);
BENCHMARK(md5EvpFloor)->Repetitions(3);
BENCHMARK(md5LowLevelFloor)->Repetitions(3);
BENCHMARK(sha256LookupEachCall)->Repetitions(3);

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  auto& t = reporter.ns;
  auto get = [&](const char* name) { return t.count(name) ? t[name] : 0.0; };
  auto fastest = [](double a, double b) {
    return a > 0 && b > 0 ? std::min(a, b) : std::max(a, b);
  };
  const double shaEvp = get("sha256EvpFloor"), md5Evp = get("md5EvpFloor");
  const double shaFloor = fastest(shaEvp, get("sha256LowLevelFloor"));
  const double md5Floor = fastest(md5Evp, get("md5LowLevelFloor"));
  std::printf("CPU time per call; floor = 1000 bare digests, fastest way measured\n");
  auto ratio = [&](const char* name, double floor, double evp) {
    const double v = get(name);
    if (v > 0 && floor > 0 && evp > 0)
      std::printf("%-10s %7.1f us  floor %7.1f us  ratio %.2f (target 1.60)  vs EVP floor %.2f\n",
                  name, v / 1000.0, floor / 1000.0, v / floor, v / evp);
  };
  ratio("deriveNmk", shaFloor, shaEvp);
  ratio("deriveDak", shaFloor, shaEvp);
  ratio("deriveNek", md5Floor, md5Evp);
  if (get("sha256LookupEachCall") > 0 && shaEvp > 0)
    std::printf("digest looked up on every call: %.2f x the EVP floor\n",
                get("sha256LookupEachCall") / shaEvp);
  benchmark::Shutdown();
  return 0;
}
