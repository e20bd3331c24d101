// What a scan cycle gives the history: each listed remote's current rate as the interface's
// local device sees it.
#pragma once

#include <vector>

#include "api/device_table.h"
#include "history/rate_history.h"

namespace quorrel::history {

// The interface's listed remotes with a known rate (viewer: its local device). Nothing when
// the interface has no local device.
std::vector<Reading> listedRates(const api::InterfaceDevices& devices);

}  // namespace quorrel::history
