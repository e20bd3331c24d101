// The loader's replies and module checksums.
#include "brantleapi/hp1_loader.h"

#include <optional>

#include "brantleapi/hp1_frame.h"
#include "brantleapi/hp1_replies.h"
#include "brantleapi/hp1_requests.h"
#include "platform/clock.h"
#include "transport/interface_table.h"

namespace quorrel::brantleapi {

namespace {

bool answers(std::uint8_t sent, std::uint8_t replied) {
  if (sent == kLoaderChecksum)
    return replied == kLoaderChecksum || replied == kLoaderChecksumReport;
  return sent == replied;
}

}  // namespace

std::uint32_t loaderChecksum(ByteSpan module) {
  std::uint32_t x = 0;
  for (std::size_t at = 0; at < module.size(); at += 4) x ^= readLe32(module, at);
  return ~x;
}

bool awaitLoaderReply(transport::ReceivePath& path, std::uint8_t code, std::uint32_t waitMs,
                      std::uint32_t* checksum) {
  const MacAddress host = transport::SourceAddress();
  if (isZeroMac(host)) return false;
  const int current = static_cast<int>(transport::currentInterface());
  const std::uint32_t minimum = waitMs + kLoaderSettleMs;
  const std::uint32_t deadline = minimum + kLoaderLateReplyMs;
  const std::uint32_t start = platform::tickCount();
  std::optional<LoaderReply> reply;
  transport::Frame frame;
  for (;;) {
    const std::uint32_t elapsed = platform::tickCount() - start;
    if (reply && elapsed >= minimum) break;
    if (!reply && elapsed >= deadline) return false;
    if (reply || !path.next(frame)) {
      platform::sleepMs(1);
      continue;
    }
    if (frame.arrival != current) continue;
    const auto view = parseHp1Reply(frame.bytes());
    if (!view) continue;
    const auto r = decodeLoaderReply(*view, host);
    if (r && answers(code, r->code)) reply = r;
  }
  if (checksum != nullptr && reply->checksum) *checksum = *reply->checksum;
  return reply->status == 0;
}

}  // namespace quorrel::brantleapi
