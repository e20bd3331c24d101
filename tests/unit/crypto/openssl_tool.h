// Runs openssl_chain.sh (the openssl command-line tool) so digests are checked against a
// computation that shares no code with the library.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace quorrel::crypto::testing {

inline std::string hexOf(const std::uint8_t* data, std::size_t n) {
  std::string s(2 * n + 1, '\0');
  for (std::size_t i = 0; i < n; ++i) std::snprintf(&s[2 * i], 3, "%02x", data[i]);
  s.pop_back();
  return s;
}

template <typename Bytes>
std::string hexOf(const Bytes& b) {
  return hexOf(b.data(), b.size());
}

inline bool opensslToolPresent() {
  return std::system("openssl version >/dev/null 2>&1") == 0;
}

// The chain's last digest in hex, or nothing if the tool could not be run.
inline std::optional<std::string> opensslChain(const char* alg, int rounds,
                                               const std::vector<std::uint8_t>& input) {
  const std::string path = "/tmp/quorrel_chain_" + std::to_string(getpid()) + ".bin";
  {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(input.data()), std::streamsize(input.size()));
  }
  const std::string cmd = std::string("sh '") + QUORREL_OPENSSL_CHAIN + "' " + alg + " " +
                          std::to_string(rounds) + " '" + path + "'";
  std::string hex;
  if (FILE* p = popen(cmd.c_str(), "r")) {
    char buf[128];
    while (std::fgets(buf, sizeof buf, p) != nullptr) hex += buf;
    if (pclose(p) != 0) hex.clear();
  }
  std::remove(path.c_str());
  if (hex.empty()) return std::nullopt;
  return hex;
}

}  // namespace quorrel::crypto::testing
