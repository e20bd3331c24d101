// The firmware upgrade of the local HomePlug AV adapter: both files checked and made the
// adapter's own, then every piece sent and confirmed in turn, ending with the commit (or start)
// request. Runs on any thread; it shows nothing itself, so that the caller reports the result
// from its user-interface thread (reportUpgradeResult).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "transport/receive_path.h"
#include "upgrade/upgrade_files.h"

namespace quorrel::upgrade {

inline constexpr char kSetupAbortedText[] = "Upgrade failed. Operation aborted";
inline constexpr char kLoopAbortedText[] = "Upgrade failed. Operation aborted.";
inline constexpr char kUncommittedText[] =
    "The adapter was not changed: the parts sent were not committed, and it goes on with its "
    "old firmware and settings.";
inline constexpr char kMayBeCommittingText[] =
    "The adapter may still be writing its new firmware.\nKeep it powered: wait at least one "
    "minute before you unplug it or use it again.";

// How long the adapter may take to confirm a piece (it writes each to flash), and the commit
// or start request (it writes the whole flash, then restarts).
inline constexpr std::uint32_t kPieceWaitMs = 1000;
inline constexpr std::uint32_t kClosingWaitMs = 30000;

// What became of the adapter.
enum class AdapterState {
  Untouched,        // nothing was sent
  Uncommitted,      // pieces were sent, no commit or start was taken: the old firmware runs
  MayBeCommitting,  // the commit or start request went out and was not confirmed
  Upgraded,         // the adapter confirmed the last request and restarts
};

struct UpgradeResult {
  bool success = false;
  bool cancelled = false;
  AdapterState adapter = AdapterState::Untouched;
  std::string message;  // for the "Error" box; empty when there is none
};

// Shared between the thread that runs the upgrade and the one that shows it.
class UpgradeControl {
 public:
  // Asks the frame loop to stop: it sends no further frame once it has seen this.
  void requestStop() { stop_.store(true); }
  bool stopRequested() const { return stop_.load(); }
  // The stop request as a wait's cancel flag.
  const std::atomic<bool>* stopFlag() const { return &stop_; }
  // Requests confirmed so far, of all the transfer's requests (pieces and the last request).
  std::uint32_t confirmed() const { return confirmed_.load(); }
  std::uint32_t total() const { return total_.load(); }

  void setTotal(std::uint32_t total) { total_.store(total); }
  void setConfirmed(std::uint32_t n) { confirmed_.store(n); }

 private:
  std::atomic<bool> stop_{false};
  std::atomic<std::uint32_t> confirmed_{0};
  std::atomic<std::uint32_t> total_{0};
};

// Upgrades the current interface's local adapter (api::LocalDeviceAddress) from the current
// interface's address with `files`, in the write mode its chip model and commitAfterWrite
// select. `control` may be null.
UpgradeResult upgradeLocalAvDevice(transport::ReceivePath& path, const UpgradeFiles& files,
                                   UpgradeControl* control = nullptr);

// Tells the user: the failure's message (caption "Error"), then what became of the adapter when
// pieces were sent. Nothing for a success: the caller says so once the adapter has restarted.
void reportUpgradeResult(const UpgradeResult& result);

}  // namespace quorrel::upgrade
