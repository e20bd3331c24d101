// Unlike the message layer's wait, nothing here pauses after a frame that is not the answer:
// the budget alone bounds the wait, so noise on the wire cannot push a real answer past it.
#include "scan/av_wait.h"

#include <array>

#include "platform/clock.h"
#include "scan/hp1_intake.h"
#include "thpapi/decoder.h"
#include "thpapi/exchange.h"
#include "thpapi/frame_layout.h"

namespace quorrel::scan {

bool awaitAvAnswer(std::uint16_t requestType, const MacAddress* from, int arrival,
                   thpapi::ThapiResult& result, std::uint32_t budgetMs) {
  const std::uint32_t start = platform::tickCount();
  const auto confirm = static_cast<std::uint16_t>(requestType + 1);
  const int version = thpapi::expectedVersionFor(requestType);
  std::array<std::uint8_t, thpapi::kRequestBufferSize> frame{};
  for (;;) {
    std::size_t length = 0;
    if (thpapi::PollManagementFrame(frame, length) == 1) {
      const ByteSpan bytes = ByteSpan(frame).first(length);
      const std::uint16_t type = readBe16(bytes, thpapi::kEtherTypeAt);
      const bool fromThere = arrival < 0 || thpapi::lastFrameInterface() == arrival;
      if (type == thpapi::kEtherTypeHp1) {
        HandleHp1Frame(bytes);
      } else if (fromThere && thpapi::thpapi_DecodeFrame(bytes, result, version) == 0 &&
                 result.mmtype == confirm && (result.dataValid == 1 || result.status == 0) &&
                 (from == nullptr || result.source == *from)) {
        thpapi::setAvAnswered(true);
        return true;
      }
    } else {
      platform::sleepMs(1);
    }
    if (platform::tickCount() - start >= budgetMs) return false;
  }
}

namespace detail {

bool pollVersionAnswer(int arrival, thpapi::ThapiResult& result, bool& gotFrame) {
  std::array<std::uint8_t, thpapi::kRequestBufferSize> frame{};
  std::size_t length = 0;
  gotFrame = thpapi::PollManagementFrame(frame, length) == 1;
  if (!gotFrame) return false;
  const ByteSpan bytes = ByteSpan(frame).first(length);
  if (readBe16(bytes, thpapi::kEtherTypeAt) == thpapi::kEtherTypeHp1) {
    HandleHp1Frame(bytes);
    return false;
  }
  if (thpapi::lastFrameInterface() != arrival) return false;
  if (thpapi::thpapi_DecodeFrame(bytes, result, 0) != 0) return false;
  if (result.mmtype != thpapi::kVersionConfirm || result.dataValid != 1) return false;
  thpapi::setAvAnswered(true);
  return true;
}

}  // namespace detail

}  // namespace quorrel::scan
