// Unlike the message layer's wait, nothing here pauses after a frame that is not the answer:
// the budget alone bounds the wait, so noise on the wire cannot push a real answer past it.
#include "scan/av_wait.h"

#include <array>

#include "platform/clock.h"
#include "scan/hp1_scan.h"
#include "scan/scan.h"
#include "thpapi/decoder.h"
#include "thpapi/exchange.h"
#include "thpapi/frame_layout.h"

namespace quorrel::scan {

bool awaitAvAnswer(std::uint16_t requestType, const MacAddress* from, int arrival,
                   thpapi::ThapiResult& result, std::uint32_t budgetMs) {
  const std::uint32_t start = platform::tickCount();
  const auto confirm = static_cast<std::uint16_t>(requestType + 1);
  const int version = thpapi::expectedVersionFor(requestType);
  transport::Frame frame;
  for (;;) {
    if (receivePath().next(frame)) {
      const bool fromThere = arrival < 0 || frame.arrival == arrival;
      if (frame.etherType() == transport::kEtherTypeHomePlug1) {
        HandleHp1Frame(frame);
      } else if (fromThere && thpapi::thpapi_DecodeFrame(frame.bytes(), result, version) == 0 &&
                 result.mmtype == confirm && (result.dataValid == 1 || result.status == 0) &&
                 (from == nullptr ? !remoteSearchAwaits(result.source) : result.source == *from)) {
        thpapi::setAvAnswered(true);
        return true;
      } else {
        // A remote's answer that the search, still running over the ticks, waits for.
        handleTickFrame(frame);
      }
    } else {
      platform::sleepMs(1);
    }
    if (platform::tickCount() - start >= budgetMs) return false;
  }
}

namespace detail {

void passOver(const transport::Frame& frame) {
  if (frame.etherType() == transport::kEtherTypeHomePlug1) HandleHp1Frame(frame);
}

}  // namespace detail

}  // namespace quorrel::scan
