#include "upgrade_progress.h"

#include <string>

namespace quorrel::cli {

namespace {
constexpr std::uint32_t kBarWidth = 40;
}

void UpgradeProgress::show(std::uint32_t done, std::uint32_t total) {
  if (total == 0 || (drawn_ && done == shownDone_)) return;
  if (terminal_) {
    const std::uint32_t filled =
        static_cast<std::uint32_t>(std::uint64_t{done} * kBarWidth / total);
    const std::string bar = std::string(filled, '#') + std::string(kBarWidth - filled, '.');
    std::fprintf(out_, "\r[%s] %u of %u pieces sent", bar.c_str(), done, total);
    std::fflush(out_);
  } else {
    const std::uint32_t tenth = static_cast<std::uint32_t>(std::uint64_t{done} * 10 / total);
    if (drawn_ && tenth == shownTenth_ && done != total) return;
    shownTenth_ = tenth;
    std::fprintf(out_, "%u of %u pieces sent\n", done, total);
  }
  shownDone_ = done;
  drawn_ = true;
}

void UpgradeProgress::finish() {
  if (terminal_ && drawn_) std::fputc('\n', out_);
  drawn_ = false;
}

}  // namespace quorrel::cli
