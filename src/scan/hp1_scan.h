// The HomePlug 1.0 side of the scan: sending its three requests (statistics, local
// parameters, network statistics), fetching the local parameters that a network statistics
// reply asked for, and handling the replies the scan's waits take.
#pragma once

#include <cstddef>
#include <cstdint>

#include "brantleapi/hp1_replies.h"
#include "platform/bytes.h"
#include "transport/interface_table.h"
#include "transport/receive_path.h"

namespace quorrel::scan {

// On the current interface, from its address (nothing when that is unknown).
void sendStatisticsRequest(const MacAddress& destination);
// Only when the local device is present, of a known class, not Turbo, and the address known.
void sendLocalParametersRequest(std::uint8_t selector);
// To broadcast on interface `index` from `source` (nothing when it is zero).
void sendNetworkStatisticsRequest(int index, const MacAddress& source);

// A HomePlug 1.0 frame a wait of the scan took, or one the Turbo poll does not handle
// itself; true when handled.
bool HandleHp1Frame(const transport::Frame& frame);
// The same for a frame already decoded, arrived on interface `arrival`.
bool handleHp1Reply(const brantleapi::Hp1Reply& reply, int arrival);
// Fetches the local parameters of every interface whose network statistics reply asked for
// them since the last call. The scan calls it at its steps, never from inside a wait.
void fetchWantedParameters();

// For `ms`: clear the loopback mark, take one frame from `index`, hand a HomePlug 1.0 one to
// HandleHp1Frame, sleep 1 ms; true as soon as a looped-back frame was seen.
bool waitForLoopback(int index, std::uint32_t ms);

}  // namespace quorrel::scan
