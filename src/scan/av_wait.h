// The scan's wait for one HomePlug AV confirmation from one adapter.
#pragma once

#include <cstdint>

#include "platform/bytes.h"
#include "thpapi/thapi_result.h"

namespace quorrel::scan {

inline constexpr std::uint32_t kAnswerWaitMs = 100;

// Polls every interface for up to `budgetMs` until the confirmation of `requestType` arrives
// on interface `arrival` (any when negative) from `from` (any when null). Frames that are not
// it are passed over at once: HomePlug 1.0 ones go to the scan's handler, the rest are
// dropped, so a flood of unrelated frames costs no extra pause. Sets avAnswered on success.
bool awaitAvAnswer(std::uint16_t requestType, const MacAddress* from, int arrival,
                   thpapi::ThapiResult& result, std::uint32_t budgetMs = kAnswerWaitMs);

}  // namespace quorrel::scan
