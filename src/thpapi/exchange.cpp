// Every wait here ends by a deadline on the tick count: a stream of unrelated frames delays
// an answer but cannot hold the caller.
#include "thpapi/exchange.h"

#include <array>
#include <cstdio>

#include "platform/clock.h"
#include "thpapi/decoder.h"
#include "thpapi/frame_layout.h"
#include "thpapi/module_transfer.h"
#include "thpapi/request_builders.h"
#include "transport/interface_table.h"

namespace quorrel::thpapi {

namespace {

// What the exchanges remember between calls.
struct ExchangeState {
  int messageVersion = 0;
  bool answered = false;
  int infoFormat = 0;
};
ExchangeState exchange;

// A host action indication is answered at once, on the interface it came from, so the
// transfer's own waiting request stays as it was.
void answerHostAction(const ThapiResult& indication, int arrival) {
  makeHostActionResponse(indication);
  std::array<std::uint8_t, kMinRequestLength> frame{};
  const std::size_t length = takeHostActionResponse(frame);
  if (length != 0) transport::SendFrame(arrival, ByteSpan(frame).first(length));
}

struct Wait {
  transport::ReceivePath& path;
  std::uint16_t requestType;
  ThapiResult& result;
  int* arrival;
  ConfirmationStep step;
};

// Unrelated frames are passed over at once: a pause after each would let a steady stream of
// them push the answer past the deadline.
bool awaitWithin(const Wait& w, const transport::Deadline& deadline) {
  const int version = expectedVersionFor(w.requestType);
  return transport::waitFor(w.path, deadline, [&](const transport::Frame& frame) {
    const int decoded = thpapi_DecodeFrame(frame.bytes(), w.result, version);
    if (w.result.mmtype == kHostActionIndication) answerHostAction(w.result, frame.arrival);
    if (decoded == 0 && w.step != nullptr) w.step(w.result);
    if (!isAcceptedConfirmation(w.requestType, w.result)) return transport::Verdict::Pass;
    platform::sleepMs(kAcceptPauseMs);
    exchange.answered = true;
    if (w.arrival != nullptr) *w.arrival = frame.arrival;
    return transport::Verdict::Accept;
  });
}

}  // namespace

int expectedVersionFor(std::uint16_t requestType) {
  return requestType == kNetworkInfoRequest && exchange.messageVersion == kMessageVersionV1
             ? kMessageVersionV1
             : 0;
}

bool isAcceptedConfirmation(std::uint16_t requestType, const ThapiResult& result) {
  const std::uint16_t confirm = static_cast<std::uint16_t>(requestType + 1);
  const bool answers = result.mmtype == confirm || result.mmtype == kCommitModulesConfirm;
  if (answers && (result.dataValid == 1 || result.status == 0)) return true;
  // A damaged or refused piece with retries left: the caller must send the resend.
  return result.mmtype == confirm && result.phase == kPhaseContinues && transferFrameWaiting();
}

bool AwaitConfirmation(transport::ReceivePath& path, std::uint16_t requestType, ThapiResult& result,
                       int* arrival) {
  return awaitWithin({path, requestType, result, arrival, nullptr},
                     {platform::tickCount(), kAwaitBudgetMs, true});
}

bool WaitConfirmation(transport::ReceivePath& path, std::uint16_t requestType, ThapiResult& result,
                      int* arrival, ConfirmationStep step) {
  const transport::Deadline deadline = transport::Deadline::after(kWaitConfirmationMs);
  platform::sleepMs(kWaitPollPauseMs);
  return awaitWithin({path, requestType, result, arrival, step}, deadline);
}

void SendAvRequest(const MacAddress& destination, std::uint16_t requestType) {
  const MacAddress source = transport::SourceAddress();
  if (isZeroMac(source)) return;
  std::array<std::uint8_t, kRequestBufferSize> frame;
  std::size_t length = 0;
  if (requestType == kVersionRequest) {
    length = thpapi_EncodeVersionRequest(source, destination, frame);
  } else if (requestType == kNetworkInfoRequest) {
    const bool v1 = exchange.messageVersion == kMessageVersionV1;
    length =
        thpapi_EncodeNetworkInfoRequest(source, destination, frame, v1 ? kMessageVersionV1 : 0);
    if (length != 0) exchange.infoFormat = v1 ? 4 : 1;
  } else {
    if (requestType != kSetKeyRequest) debugTrace(kBuildFailedTrace);
    return;
  }
  if (length == 0) {
    debugTrace(kBuildFailedTrace);
    return;
  }
  transport::SendFrame(static_cast<int>(transport::currentInterface()),
                       ByteSpan(frame).first(length));
}

int avMessageVersion() {
  return exchange.messageVersion;
}
void setAvMessageVersion(int version) {
  exchange.messageVersion = version;
}
bool avAnswered() {
  return exchange.answered;
}
void setAvAnswered(bool a) {
  exchange.answered = a;
}
int networkInfoFormat() {
  return exchange.infoFormat;
}

void resetExchangeState() {
  exchange = ExchangeState{};
}

void debugTrace(std::string_view line) {
  std::fwrite(line.data(), 1, line.size(), stderr);
}

}  // namespace quorrel::thpapi
