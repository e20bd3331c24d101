// The Turbo upgrade where this build has none; a build with the Turbo upgrade links its own.
#include <cstdio>

#include "commands.h"

namespace quorrel::cli {

__attribute__((weak)) int runTurboUpgrade(const std::string&, const std::string&, bool) {
  std::fprintf(stderr, "quorrel-cli: the upgrade of Turbo adapters is not available\n");
  return 2;
}

}  // namespace quorrel::cli
