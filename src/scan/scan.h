// The network scan: the local search on every interface, then a cycle of phases, one step per
// timer tick, that lists the remote devices of the current interface with their rates and
// drops those that stop answering. The scan owns no timer: its report gives the period, and
// whoever runs it (a toolkit timer, a console loop, a test clock) calls ScanTick and takes the
// report (scan/scan_report.h) after each call.
#pragma once

#include <array>
#include <cstdint>

#include "api/device_table.h"
#include "brantleapi/hp1_bookkeeping.h"
#include "platform/bytes.h"
#include "scan/scan_report.h"
#include "transport/receive_path.h"

namespace quorrel::scan {

inline constexpr std::uint32_t kPhaseCount = 8;  // 0 to 7
inline constexpr std::uint32_t kAgeingPhase = 7;
inline constexpr std::uint32_t kRemoteSearchPhase = 3;
inline constexpr std::size_t kLocalParamsSize = api::kLocalParametersSize;

struct ScanState {
  std::uint32_t autoscanInterval = 30;  // ticks of each waiting phase; sets the period
  bool autoscanOff = false;
  bool userScanPending = false;  // the user asked for a scan: ticks run even with autoscan off
  std::uint32_t scanPhase = 0;
  std::uint32_t scanTick = 0;
  bool timerRunning = false;
  std::uint32_t timerPeriodMs = 0;
  bool localParamsValid = false;
  std::array<std::uint8_t, kLocalParamsSize> localParams{};
  // Set by the network-name setting when it completes; the next local search takes its name.
  bool networkNameSetPending = false;
  // Set by the pages: keep the local network's name although its key is not known.
  bool keepNetworkName = false;
  // The local AV device whose key localAvNetworkKey holds.
  MacAddress avKeyOwner{};
  // Counters for those who run the scan: ticks taken, ticks skipped, cycles completed.
  std::uint32_t ticksRun = 0;
  std::uint32_t ticksSkipped = 0;
  std::uint32_t cyclesCompleted = 0;
  bool tickActive = false;
};

ScanState& scanState();
// Back to the start-up state (tests), the report emptied; the installed services stay.
void resetScan();

// The receive path that every wait of the scan takes frames from, and the operations the
// pages run while the autoscan is suspended; its observer keeps the HomePlug 1.0 bookkeeping.
transport::ReceivePath& receivePath();
brantleapi::Hp1Bookkeeping& hp1Bookkeeping();

// A frame that a poll of the tick took but does not handle itself (the Turbo poll's): a
// HomePlug 1.0 one goes to the HomePlug 1.0 handler, a HomePlug AV one to the remote search.
bool handleTickFrame(const transport::Frame& frame);
// True when the remote search waits for `station`'s version answer: the local search, which
// asks the local device by its general address, must not take that answer for its own.
bool remoteSearchAwaits(const MacAddress& station);

// The longest a tick may hold the user-interface thread, and the part of it the remote search
// may spend waiting for answers (the rest goes to the tick's sends and its poll).
inline constexpr std::uint32_t kTickLimitMs = 10;
inline constexpr std::uint32_t kTickWaitBudgetMs = 6;

// ⌊interval × 10 / 7⌋ ms.
constexpr std::uint32_t timerPeriodFor(std::uint32_t interval) {
  return static_cast<std::uint32_t>(std::uint64_t{interval} * 10 / 7);
}
// One scan cycle: 2 × interval + 4 ticks at the timer period, in ms.
constexpr std::uint32_t cycleMsFor(std::uint32_t interval) {
  return (2 * interval + 4) * timerPeriodFor(interval);
}

// Stops any scan, searches the local devices, and starts the timer when one was found.
// `threshold` 0 counts as 1, above 10 as 10; an interval of 0 counts as 1.
bool StartScan(std::uint32_t interval, int threshold, bool autoscanEnabled);
// Stops the timer and closes all interfaces.
void StopScan();
// The remote entries cleared (reported as RemoteListReset), then StartScan with the default
// drop threshold.
bool RestartScan(std::uint32_t interval, bool autoscanEnabled);
// Back to the start of a cycle with a fresh timer, even without a local device (the pages do
// this when the Main page is entered).
void restartScanCycle();
// true: autoscan runs. Returns the previous state.
bool SuspendAutoscan(bool on);
// The pages' scan request: the next cycle runs even with autoscan off.
void requestUserScan();

bool LocalSearch();
// One step of the cycle. A tick that arrives while one is running is skipped.
void ScanTick();

bool scanTimerRunning();
std::uint32_t scanTimerPeriodMs();

// The default keys of each family.
const api::NetworkKey& defaultAvNetworkKey();
using Hp1Key8 = std::array<std::uint8_t, 8>;
const Hp1Key8& hp1DefaultKeyA();
const Hp1Key8& hp1DefaultKeyB();
const Hp1Key8& hp1DefaultKeyC();
bool isDefaultHp1Key(ByteSpan key);

}  // namespace quorrel::scan
