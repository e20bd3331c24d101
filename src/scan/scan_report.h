// What a step of the scan changed, for whoever shows it. The scan never calls the pages: its
// steps, and the frame handlers inside their waits, add what changed to a report in the order
// it happened, and whoever runs the scan takes the report right after each step or operation
// (StartScan, StopScan, RestartScan, restartScanCycle, LocalSearch, ScanTick) and acts on it
// then, outside any receive.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <variant>
#include <vector>

#include "api/device_table.h"

namespace quorrel::scan {

// The device lists should be redrawn from the device table; `phase` is the scan phase (1 at
// the start of a cycle, 7 at its end, the current one after a rate update).
struct ListsChanged {
  int phase = 0;
  bool operator==(const ListsChanged&) const = default;
};
struct UpgradeButtonChanged {
  bool enable = false;
  bool operator==(const UpgradeButtonChanged&) const = default;
};
// The scan timer started with `periodMs`, or stopped (`running` false, period 0). Whoever runs
// the scan calls ScanTick at that period.
struct TimerChanged {
  bool running = false;
  std::uint32_t periodMs = 0;
  bool operator==(const TimerChanged&) const = default;
};
// A HomePlug 1.0 parameters reply whose bytes repeat, for the parameter log (kind 1: working
// copy, 0: stored).
struct ParametersRepeated {
  int kind = 0;
  std::array<std::uint8_t, api::kLocalParametersSize> bytes{};
  bool operator==(const ParametersRepeated&) const = default;
};
// The ageing step was reached. The step goes on at once to age the remotes and search the
// local devices again, and whoever shows the scan learns of it only afterwards; what the scan
// log and the rate history record of the cycle is the table as it stood before the ageing, so
// it travels with the report. (Splitting the step instead would leave the remotes unaged for
// any caller that ticks without taking reports.)
struct AgeingReached {
  struct Before {
    int interfaceCount = 0;  // the interfaces listed then, 0..kInterfaceCount
    std::uint32_t currentInterface = 0;
    std::array<api::InterfaceDevices, api::kInterfaceCount> devices{};
  };
  std::shared_ptr<const Before> before;  // never null
  bool operator==(const AgeingReached& o) const { return before == o.before; }
};
// The remote entries were cleared before a restarted scan (RestartScan).
struct RemoteListReset {
  bool operator==(const RemoteListReset&) const = default;
};

using ScanChange = std::variant<ListsChanged, UpgradeButtonChanged, TimerChanged,
                                ParametersRepeated, AgeingReached, RemoteListReset>;

struct ScanReport {
  std::vector<ScanChange> changes;  // in the order they happened
  bool empty() const { return changes.empty(); }
};

// What changed since the last call, and an empty report in its place. A report nobody takes
// keeps only its latest kMaxPendingChanges changes, so a tool that runs the scan without
// showing it does not pile them up.
ScanReport takeScanReport();
inline constexpr std::size_t kMaxPendingChanges = 256;

// The scan's parts add what they changed here.
void addScanChange(ScanChange change);

}  // namespace quorrel::scan
