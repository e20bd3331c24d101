// Sending HomePlug AV requests on the current interface and waiting for their confirmations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/bytes.h"
#include "thpapi/thapi_result.h"
#include "transport/receive_path.h"

namespace quorrel::thpapi {

// Longest that AwaitConfirmation goes on passing over unrelated frames, and the wait of
// WaitConfirmation.
inline constexpr std::uint32_t kAwaitBudgetMs = 100;
inline constexpr std::uint32_t kWaitConfirmationMs = 100;
// The pause after an accepted confirmation, and the one WaitConfirmation takes before it polls.
inline constexpr std::uint32_t kAcceptPauseMs = 1;
inline constexpr std::uint32_t kWaitPollPauseMs = 1;

// The expected message version to decode a confirmation of `requestType` with.
int expectedVersionFor(std::uint16_t requestType);
// True when `result` answers `requestType`: its confirmation (or a commit confirmation) with
// valid data or status 0, or its confirmation that made a transfer piece wait to be resent.
bool isAcceptedConfirmation(std::uint16_t requestType, const ThapiResult& result);

// What a wait does with each decoded confirmation before it judges it; a transfer passes
// advanceTransfer. 0 or -1, as the decoder.
using ConfirmationStep = int (*)(ThapiResult& result);

// Decodes frames from `path` until one is accepted (true, avAnswered set). False as soon as a
// look finds no frame pending, or once 100 ms have gone passing over other frames. A host action
// indication is answered on the interface it came from. `arrival` is set to the interface
// the accepted confirmation came on.
bool AwaitConfirmation(transport::ReceivePath& path, std::uint16_t requestType, ThapiResult& result,
                       int* arrival = nullptr);
// As AwaitConfirmation, but pauses 1 ms first and then waits for up to 100 ms in all.
bool WaitConfirmation(transport::ReceivePath& path, std::uint16_t requestType, ThapiResult& result,
                      int* arrival = nullptr, ConfirmationStep step = nullptr);
// Builds the version (0xA000) or network information (0xA038) request from SourceAddress and
// sends it on the current interface; nothing when the source address is unknown.
void SendAvRequest(const MacAddress& destination, std::uint16_t requestType);

// 4 when network information is exchanged with version-1 headers, else 0.
int avMessageVersion();
void setAvMessageVersion(int version);
// Set when AwaitConfirmation accepts a confirmation.
bool avAnswered();
void setAvAnswered(bool answered);
// 1 when the last network information request went out with version 0, 4 with version 1.
int networkInfoFormat();
// Back to the start values (tests).
void resetExchangeState();

// The developer trace written when a request cannot be built or no transfer frame waits.
inline constexpr std::string_view kBuildFailedTrace = "something wrong in THAPI_GETVERSION \n";
// Writes a developer trace line to standard error.
void debugTrace(std::string_view line);

}  // namespace quorrel::thpapi
