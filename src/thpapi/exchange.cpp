// Every wait here ends by a deadline on the tick count: a stream of unrelated frames delays
// an answer but cannot hold the caller.
#include "thpapi/exchange.h"

#include <array>
#include <cstdio>

#include "platform/clock.h"
#include "thpapi/decoder.h"
#include "thpapi/frame_intake.h"
#include "thpapi/frame_layout.h"
#include "thpapi/module_transfer.h"
#include "thpapi/request_builders.h"
#include "transport/interface_table.h"

namespace quorrel::thpapi {

namespace {

int messageVersion = 0;
bool answered = false;
int lastInterface = -1;
int infoFormat = 0;
TraceSink traceSink = nullptr;

bool isManagementFrame(ByteSpan frame) {
  const std::uint16_t etherType = readBe16(frame, kEtherTypeAt);
  return frame.size() >= kEthernetHeaderLength &&
         (etherType == kEtherTypeAv || etherType == kEtherTypeHp1);
}

std::uint32_t elapsedSince(std::uint32_t start) {
  return platform::tickCount() - start;
}

// A host action indication is answered at once, on the interface it came from, so the
// transfer's own waiting request stays as it was.
void answerHostAction() {
  std::array<std::uint8_t, kMinRequestLength> frame{};
  const std::size_t length = thpapi_TakeHostActionResponse(frame);
  if (length != 0 && lastInterface >= 0)
    transport::SendFrame(lastInterface, ByteSpan(frame).first(length));
}

bool awaitWithin(std::uint16_t requestType, ThapiResult& result, std::uint32_t start,
                 std::uint32_t budgetMs) {
  std::array<std::uint8_t, kRequestBufferSize> frame;
  const int version = expectedVersionFor(requestType);
  for (;;) {
    std::size_t length = 0;
    if (PollManagementFrame(frame, length) == 0) return false;
    thpapi_DecodeFrame(ByteSpan(frame).first(length), result, version);
    if (result.mmtype == kHostActionIndication) answerHostAction();
    if (isAcceptedConfirmation(requestType, result)) {
      platform::sleepMs(kAcceptPauseMs);
      answered = true;
      return true;
    }
    platform::sleepMs(kSkipPauseMs);
    if (elapsedSince(start) >= budgetMs) return false;
  }
}

}  // namespace

int PollManagementFrame(MutableByteSpan buffer, std::size_t& length) {
  const int count = transport::interfaceTable().interfaceCount;
  for (int i = 0; i < count; ++i) {
    for (int take = 0; take < kPollTakesPerInterface; ++take) {
      const transport::ReceivedFrame* f = takeInterfaceFrame(i);
      if (f == nullptr) break;
      const ByteSpan bytes = f->data != nullptr ? f->bytes() : ByteSpan{};
      // A frame that does not fit is dropped rather than copied past the caller's buffer.
      if (!isManagementFrame(bytes) || bytes.size() > buffer.size()) continue;
      std::copy(bytes.begin(), bytes.end(), buffer.begin());
      length = bytes.size();
      lastInterface = i;
      return 1;
    }
  }
  return 0;
}

int expectedVersionFor(std::uint16_t requestType) {
  return requestType == kNetworkInfoRequest && messageVersion == kMessageVersionV1
             ? kMessageVersionV1
             : 0;
}

bool isAcceptedConfirmation(std::uint16_t requestType, const ThapiResult& result) {
  const std::uint16_t confirm = static_cast<std::uint16_t>(requestType + 1);
  const bool answers = result.mmtype == confirm || result.mmtype == kCommitModulesConfirm;
  if (answers && (result.dataValid == 1 || result.status == 0)) return true;
  // A damaged or refused piece with retries left: the caller must send the resend.
  return result.mmtype == confirm && result.phase == kPhaseContinues &&
         thpapi_TransferFrameWaiting();
}

bool AwaitConfirmation(std::uint16_t requestType, ThapiResult& result) {
  return awaitWithin(requestType, result, platform::tickCount(), kAwaitBudgetMs);
}

bool WaitConfirmation(std::uint16_t requestType, ThapiResult& result) {
  const std::uint32_t start = platform::tickCount();
  for (;;) {
    platform::sleepMs(kWaitPollPauseMs);
    if (awaitWithin(requestType, result, start, kWaitConfirmationMs)) return true;
    if (elapsedSince(start) >= kWaitConfirmationMs) return false;
  }
}

void SendAvRequest(const MacAddress& destination, std::uint16_t requestType) {
  const MacAddress source = transport::SourceAddress();
  if (isZeroMac(source)) return;
  std::array<std::uint8_t, kRequestBufferSize> frame;
  std::size_t length = 0;
  if (requestType == kVersionRequest) {
    length = thpapi_EncodeVersionRequest(source, destination, frame);
  } else if (requestType == kNetworkInfoRequest) {
    const bool v1 = messageVersion == kMessageVersionV1;
    length =
        thpapi_EncodeNetworkInfoRequest(source, destination, frame, v1 ? kMessageVersionV1 : 0);
    if (length != 0) infoFormat = v1 ? 4 : 1;
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
  return messageVersion;
}
void setAvMessageVersion(int version) {
  messageVersion = version;
}
bool avAnswered() {
  return answered;
}
void setAvAnswered(bool a) {
  answered = a;
}
int lastFrameInterface() {
  return lastInterface;
}
int networkInfoFormat() {
  return infoFormat;
}

void ResetExchangeState() {
  messageVersion = 0;
  answered = false;
  lastInterface = -1;
  infoFormat = 0;
}

void debugTrace(std::string_view line) {
  if (traceSink != nullptr) {
    traceSink(line);
    return;
  }
  std::fwrite(line.data(), 1, line.size(), stderr);
}

void setTraceSink(TraceSink sink) {
  traceSink = sink;
}

}  // namespace quorrel::thpapi
