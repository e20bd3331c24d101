// Sending HomePlug AV requests on the current interface and waiting for their confirmations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/bytes.h"
#include "thpapi/thapi_result.h"

namespace quorrel::thpapi {

// Longest that AwaitConfirmation goes on skipping unrelated frames, and the wait of
// WaitConfirmation; the pause after each skipped frame.
inline constexpr std::uint32_t kAwaitBudgetMs = 100;
inline constexpr std::uint32_t kWaitConfirmationMs = 100;
inline constexpr std::uint32_t kSkipPauseMs = 20;
// The pause after an accepted confirmation, and the one WaitConfirmation takes before it polls.
inline constexpr std::uint32_t kAcceptPauseMs = 1;
inline constexpr std::uint32_t kWaitPollPauseMs = 1;
// Frames taken from one interface in one poll before it moves on, skipping frames that do
// not fit the caller's buffer or are not management frames.
inline constexpr int kPollTakesPerInterface = 8;

// Takes the first management frame (0x887B or 0x88E1) that fits `buffer` from the interfaces
// in index order, copies it out and sets lastFrameInterface. 1 with `length` set, else 0.
int PollManagementFrame(MutableByteSpan buffer, std::size_t& length);

// The expected message version to decode a confirmation of `requestType` with.
int expectedVersionFor(std::uint16_t requestType);
// True when `result` answers `requestType`: its confirmation (or a commit confirmation) with
// valid data or status 0, or its confirmation that made a transfer piece wait to be resent.
bool isAcceptedConfirmation(std::uint16_t requestType, const ThapiResult& result);

// Decodes polled frames until one is accepted (true, avAnswered set). False as soon as a
// poll finds no frame, or once 100 ms have gone skipping other frames.
bool AwaitConfirmation(std::uint16_t requestType, ThapiResult& result);
// As AwaitConfirmation, but keeps polling for up to 100 ms in all.
bool WaitConfirmation(std::uint16_t requestType, ThapiResult& result);
// Builds the version (0xA000) or network information (0xA038) request from SourceAddress and
// sends it on the current interface; nothing when the source address is unknown.
void SendAvRequest(const MacAddress& destination, std::uint16_t requestType);

// 4 when network information is exchanged with version-1 headers, else 0.
int avMessageVersion();
void setAvMessageVersion(int version);
// Set when AwaitConfirmation accepts a confirmation.
bool avAnswered();
void setAvAnswered(bool answered);
// Interface index of the last frame PollManagementFrame gave; -1 before the first.
int lastFrameInterface();
// 1 when the last network information request went out with version 0, 4 with version 1.
int networkInfoFormat();
// Back to the start values (tests).
void ResetExchangeState();

// The developer trace written when a request cannot be built or no transfer frame waits.
inline constexpr std::string_view kBuildFailedTrace = "something wrong in THAPI_GETVERSION \n";
// Writes a developer trace line (standard error unless a sink is installed).
void debugTrace(std::string_view line);
using TraceSink = void (*)(std::string_view line);
// Installs where traces go; nullptr restores standard error.
void setTraceSink(TraceSink sink);

}  // namespace quorrel::thpapi
