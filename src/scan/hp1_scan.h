// The HomePlug 1.0 side of the scan: sending its three requests (statistics, local
// parameters, network statistics), fetching the local parameters that a network statistics
// reply asked for, and handling the replies the scan's waits take.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/bytes.h"
#include "transport/interface_table.h"
#include "transport/receive_path.h"

namespace quorrel::scan {

namespace hp1 {
inline constexpr std::uint16_t kEtherType = 0x887B;
// After the 14-byte Ethernet header: entry count, entry type, entry length, data.
inline constexpr std::size_t kEntryCountAt = 14;
inline constexpr std::size_t kEntryTypeAt = 15;
inline constexpr std::size_t kEntryLengthAt = 16;
inline constexpr std::size_t kEntryDataAt = 17;

inline constexpr std::uint8_t kKeyAnswer = 0x06;
inline constexpr std::uint8_t kStatisticsRequest = 0x07;
inline constexpr std::uint8_t kStatisticsReply = 0x08;
inline constexpr std::uint8_t kLocalParameters = 0x19;
inline constexpr std::uint8_t kNetworkStatistics = 0x1A;
inline constexpr std::uint8_t kNetworkStatisticsAlt = 0x1E;

// Local parameters: the request's length byte and selectors; the reply's length byte,
// selector (1 stored, 2 working copy) and its 50 bytes, which end at byte 68.
inline constexpr std::uint8_t kParamsRequestLength = 0x0F;
inline constexpr std::uint8_t kSelectorStored = 0x00;
inline constexpr std::uint8_t kSelectorWorking = 0x10;
inline constexpr std::uint8_t kParamsReplyLength = 0x33;
inline constexpr std::size_t kParamsSelectorAt = 17;
inline constexpr std::size_t kParamsDataAt = 18;
inline constexpr std::size_t kParamsReplyMin = kParamsDataAt + 50;
inline constexpr std::uint8_t kParamsReplyStored = 1;
inline constexpr std::uint8_t kParamsReplyWorking = 2;
// Within the 50 bytes: the current key selector, then the network key.
inline constexpr std::size_t kParamKeySelector = 14;

// Network statistics: the request announces a full list (length 0xBB) and marks byte 17;
// the reply carries the local class there, the two counts, then 12-byte stations.
inline constexpr std::uint8_t kNetStatsRequestLength = 0xBB;
inline constexpr std::uint8_t kRequestMark = 0x80;
inline constexpr std::size_t kNetStatsClassAt = 17;
inline constexpr std::size_t kNetStatsFailsAt = 20;
inline constexpr std::size_t kNetStatsDropsAt = 22;
inline constexpr std::size_t kNetStatsFirstStation = 24;
inline constexpr std::size_t kStationSize = 12;
inline constexpr std::size_t kStationRateAt = 6;
inline constexpr std::size_t kStationCount1At = 8;
inline constexpr std::size_t kStationCount2At = 10;
inline constexpr std::size_t kMaxStations = 15;

}  // namespace hp1

// On the current interface, from its address (nothing when that is unknown).
void sendStatisticsRequest(const MacAddress& destination);
// Only when the local device is present, of a known class, not Turbo, and the address known.
void sendLocalParametersRequest(std::uint8_t selector);
// To broadcast on interface `index` from `source` (nothing when it is zero).
void sendNetworkStatisticsRequest(int index, const MacAddress& source);

// A HomePlug 1.0 frame a wait of the scan took, or one the Turbo poll does not handle
// itself; true when handled.
bool HandleHp1Frame(const transport::Frame& frame);
// Fetches the local parameters of every interface whose network statistics reply asked for
// them since the last call. The scan calls it at its steps, never from inside a wait.
void FetchWantedParameters();
// The HomePlug 1.0 rate update from a network statistics reply.
void UpdateHp1Rates(ByteSpan reply);

// For `ms`: clear the loopback mark, take one frame from `index`, hand a HomePlug 1.0 one to
// HandleHp1Frame, sleep 1 ms; true as soon as a looped-back frame was seen.
bool waitForLoopback(int index, std::uint32_t ms);

}  // namespace quorrel::scan
