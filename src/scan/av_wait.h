// The scan's wait for one HomePlug AV confirmation from one adapter.
#pragma once

#include <cstdint>

#include "platform/bytes.h"
#include "thpapi/thapi_result.h"
#include "transport/receive_path.h"

namespace quorrel::scan {

inline constexpr std::uint32_t kAnswerWaitMs = 100;

// Polls every interface for up to `budgetMs` until the confirmation of `requestType` arrives
// on interface `arrival` (any when negative) from `from` (any but a station the remote search
// waits for, when null). Frames that are not it are passed over at once: HomePlug 1.0 ones go
// to the scan's handler, HomePlug AV ones to the remote search, so a flood of unrelated frames
// costs no extra pause and no answer the search waits for is lost. Sets avAnswered on success.
bool awaitAvAnswer(std::uint16_t requestType, const MacAddress* from, int arrival,
                   thpapi::ThapiResult& result, std::uint32_t budgetMs = kAnswerWaitMs);

namespace detail {
// The frames the AV waits pass over: HomePlug 1.0 ones go to the scan's handler.
void passOver(const transport::Frame& frame);
}  // namespace detail

}  // namespace quorrel::scan
