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
  const auto replies = [&](const transport::Frame& frame) {
    if (frame.arrival != current) return transport::Verdict::Pass;
    const auto view = parseHp1Reply(frame.bytes());
    const auto r = view ? decodeLoaderReply(*view, host) : std::nullopt;
    if (!r || !answers(code, r->code)) return transport::Verdict::Pass;
    reply = r;
    return transport::Verdict::Accept;
  };
  if (!transport::waitFor(path, {start, deadline}, replies)) return false;
  // The loader takes its settle time after the reply before it hears the next request.
  while (platform::tickCount() - start < minimum) platform::sleepMs(1);
  if (checksum != nullptr && reply->checksum) *checksum = *reply->checksum;
  return reply->status == 0;
}

}  // namespace quorrel::brantleapi
