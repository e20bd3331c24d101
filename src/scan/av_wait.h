// The scan's wait for one HomePlug AV confirmation from one adapter.
#pragma once

#include <cstdint>

#include "platform/bytes.h"
#include "thpapi/thapi_result.h"
#include "transport/receive_path.h"

namespace quorrel::scan {

inline constexpr std::uint32_t kAnswerWaitMs = 100;
// What each station asked at once adds to the wait for all their answers.
inline constexpr std::uint32_t kAnswerWaitPerStationMs = 5;

// Polls every interface for up to `budgetMs` until the confirmation of `requestType` arrives
// on interface `arrival` (any when negative) from `from` (any when null). Frames that are not
// it are passed over at once: HomePlug 1.0 ones go to the scan's handler, the rest are
// dropped, so a flood of unrelated frames costs no extra pause. Sets avAnswered on success.
bool awaitAvAnswer(std::uint16_t requestType, const MacAddress* from, int arrival,
                   thpapi::ThapiResult& result, std::uint32_t budgetMs = kAnswerWaitMs);

// Takes version confirmations arriving on interface `arrival` for up to `budgetMs` and hands
// each to `take`, which returns true when no more are wanted. Other frames as above.
template <typename Take>
void awaitVersionAnswers(int arrival, std::uint32_t budgetMs, Take take);

namespace detail {
// One polled frame: HomePlug 1.0 frames go to the scan's handler; true with `result` decoded
// when it is a version confirmation with data from interface `arrival`.
bool pollVersionAnswer(int arrival, thpapi::ThapiResult& result, bool& gotFrame);
// The frames the AV waits pass over: HomePlug 1.0 ones go to the scan's handler.
void passOver(const transport::Frame& frame);
}  // namespace detail

}  // namespace quorrel::scan

#include "platform/clock.h"

namespace quorrel::scan {

template <typename Take>
void awaitVersionAnswers(int arrival, std::uint32_t budgetMs, Take take) {
  const std::uint32_t start = platform::tickCount();
  thpapi::ThapiResult result;
  for (;;) {
    bool gotFrame = false;
    if (detail::pollVersionAnswer(arrival, result, gotFrame) && take(result)) return;
    if (!gotFrame) platform::sleepMs(1);
    if (platform::tickCount() - start >= budgetMs) return;
  }
}

}  // namespace quorrel::scan
