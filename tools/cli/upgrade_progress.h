// Progress of an upgrade on the console: a bar redrawn in place on a terminal, else a plain
// line at every tenth of the way.
#pragma once

#include <cstdint>
#include <cstdio>

namespace quorrel::cli {

class UpgradeProgress {
 public:
  UpgradeProgress(std::FILE* out, bool terminal) : out_(out), terminal_(terminal) {}
  // Shows `done` of `total` requests confirmed when it moved on enough to be worth a line.
  void show(std::uint32_t done, std::uint32_t total);
  // Ends the bar's line.
  void finish();

 private:
  std::FILE* out_;
  bool terminal_;
  std::uint32_t shownDone_ = 0;
  std::uint32_t shownTenth_ = 0;
  bool drawn_ = false;
};

}  // namespace quorrel::cli
