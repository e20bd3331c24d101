// The scan's wait for an AV answer: frames that are not the answer go to the HomePlug 1.0
// bookkeeping or to the tick's handler, so the wait loses nothing the scan is owed.
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
  const auto confirm = static_cast<std::uint16_t>(requestType + 1);
  const int version = thpapi::expectedVersionFor(requestType);
  const auto wanted = [&](const transport::Frame& frame) {
    const bool fromThere = arrival < 0 || frame.arrival == arrival;
    if (frame.etherType() == transport::kEtherTypeHomePlug1 || !fromThere ||
        thpapi::thpapi_DecodeFrame(frame.bytes(), result, version) != 0 ||
        result.mmtype != confirm || (result.dataValid != 1 && result.status != 0) ||
        (from == nullptr ? remoteSearchAwaits(result.source) : result.source != *from))
      return transport::Verdict::Pass;
    thpapi::setAvAnswered(true);
    return transport::Verdict::Accept;
  };
  const auto other = [](const transport::Frame& frame) {
    if (frame.etherType() == transport::kEtherTypeHomePlug1) {
      HandleHp1Frame(frame);
    } else {
      // A remote's answer that the search, still running over the ticks, waits for.
      handleTickFrame(frame);
    }
  };
  return transport::waitFor(receivePath(), transport::Deadline::after(budgetMs), wanted, other);
}

namespace detail {

void passOver(const transport::Frame& frame) {
  if (frame.etherType() == transport::kEtherTypeHomePlug1) HandleHp1Frame(frame);
}

}  // namespace detail

}  // namespace quorrel::scan
