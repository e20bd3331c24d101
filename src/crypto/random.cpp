// RAND_bytes draws from a generator that the kernel's getrandom seeds and reseeds.
#include "crypto/random.h"

#include <openssl/rand.h>

#include <climits>
#include <utility>

namespace quorrel::crypto {

namespace {

bool systemRandom(MutableByteSpan out) {
  while (!out.empty()) {
    const std::size_t n = out.size() < INT_MAX ? out.size() : INT_MAX;
    if (RAND_bytes(out.data(), static_cast<int>(n)) != 1) return false;
    out = out.subspan(n);
  }
  return true;
}

RandomSource& installed() {
  static RandomSource source;
  return source;
}

}  // namespace

bool fillRandom(MutableByteSpan out) {
  const RandomSource& source = installed();
  return source ? source(out) : systemRandom(out);
}

void setRandomSource(RandomSource source) {
  installed() = std::move(source);
}

}  // namespace quorrel::crypto
