// Sending the scan's HomePlug 1.0 requests and acting on their replies.
#include "scan/hp1_scan.h"

#include <algorithm>
#include <limits>
#include <vector>

#include "api/device_table.h"
#include "api/rate_stats.h"
#include "brantleapi/hp1_bookkeeping.h"
#include "brantleapi/hp1_frame.h"
#include "brantleapi/hp1_replies.h"
#include "brantleapi/hp1_requests.h"
#include "brantleapi/turbo_state.h"
#include "platform/clock.h"
#include "platform/notice.h"
#include "scan/scan.h"
#include "scan/scan_report.h"
#include "thpapi/exchange.h"

namespace quorrel::scan {

namespace {

using namespace brantleapi;

constexpr int kFetchAttempts = 3;
constexpr std::uint32_t kFetchWaitMs = 50;
constexpr std::uint32_t kFetchWaitStepMs = 4;

MacAddress interfaceMac(int index) {
  if (index < 0 || index >= transport::kMaxInterfaces) return {};
  return transport::interfaceTable().entries[static_cast<std::size_t>(index)].macAddress;
}

// One wait of the probe or the fetch: answered when a frame loops back, or (for the fetch) a
// parameters reply comes.
bool waitOn(int index, std::uint32_t ms, bool parametersAnswer) {
  brantleapi::Hp1Bookkeeping& books = hp1Bookkeeping();
  books.clearLoopback();
  const auto wanted = [&](const transport::Frame& frame) {
    if (books.loopbackSeen()) return transport::Verdict::Accept;
    // The fetch runs between the scan's waits: what it takes would otherwise be lost.
    const auto reply = parametersAnswer ? books.decoded(frame) : std::nullopt;
    if (reply) handleHp1Reply(*reply, frame.arrival);
    if (reply && reply->localParameters) return transport::Verdict::Accept;
    books.clearLoopback();
    return transport::Verdict::Pass;
  };
  return transport::waitFor(receivePath(), transport::Deadline::after(ms), wanted,
                            transport::PassOver{}, index);
}

void fetchLocalParameters(int index) {
  const MacAddress source = interfaceMac(index);
  if (isZeroMac(source)) return;
  api::InterfaceState& st = api::interfaceState(index);
  st.probeAttempts = 0;
  brantleapi::Hp1FrameBuffer buffer{};
  for (int a = 0; a < kFetchAttempts; ++a) {
    const std::size_t n = brantleapi::buildLocalParametersRequest(buffer, kBroadcastMac, source,
                                                                  kLocalParametersSelectorStored);
    transport::SendFrame(index, ByteSpan(buffer).first(n));
    if (waitOn(index, static_cast<std::uint32_t>(a) * kFetchWaitStepMs + kFetchWaitMs, true)) break;
  }
  // Fetch rounds count like probe rounds; the counter only saturates.
  if (st.probeAttempts < std::numeric_limits<std::uint8_t>::max()) ++st.probeAttempts;
}

}  // namespace

void sendStatisticsRequest(const MacAddress& destination) {
  const MacAddress source = transport::SourceAddress();
  if (isZeroMac(source)) return;
  brantleapi::Hp1FrameBuffer buffer{};
  const std::size_t n = brantleapi::buildStatisticsRequest(buffer, destination, source);
  transport::SendFrame(static_cast<int>(transport::currentInterface()), ByteSpan(buffer).first(n));
}

void sendLocalParametersRequest(std::uint8_t selector) {
  const api::InterfaceState& st = api::currentState();
  const MacAddress source = transport::SourceAddress();
  if (api::deviceTable().turboLocal || !st.localPresent ||
      st.localClass == api::DeviceClass::Unknown || isZeroMac(source))
    return;
  brantleapi::Hp1FrameBuffer buffer{};
  const std::size_t n =
      brantleapi::buildLocalParametersRequest(buffer, kBroadcastMac, source, selector);
  transport::SendFrame(static_cast<int>(transport::currentInterface()), ByteSpan(buffer).first(n));
}

void sendNetworkStatisticsRequest(int index, const MacAddress& source) {
  if (isZeroMac(source)) return;
  brantleapi::Hp1FrameBuffer buffer{};
  const std::size_t n = brantleapi::buildNetworkStatisticsRequest(buffer, kBroadcastMac, source);
  transport::SendFrame(index, ByteSpan(buffer).first(n));
}

void fetchWantedParameters() {
  const int count = transport::interfaceTable().interfaceCount;
  for (int i = 0; i < count; ++i)
    if (hp1Bookkeeping().takeFetchWanted(i)) fetchLocalParameters(i);
}

bool waitForLoopback(int index, std::uint32_t ms) {
  return waitOn(index, ms, false);
}

bool HandleHp1Frame(const transport::Frame& frame) {
  // A copy: what the handler calls may take further frames.
  const auto reply = hp1Bookkeeping().decoded(frame);
  return reply && handleHp1Reply(*reply, frame.arrival);
}

bool handleHp1Reply(const Hp1Reply& reply, int arrival) {
  // Answers from the wiring of another interface say nothing about the current one.
  if (arrival != static_cast<int>(transport::currentInterface())) return false;
  switch (reply.type) {
    case kEntrySetKeyAnswer:
      return true;
    case kEntryStatisticsReply:
      if (reply.source != transport::SourceAddress()) api::UpsertRemote(reply.source);
      return true;
    case kEntryLocalParameters: {
      if (!reply.localParameters) return false;
      const LocalParameters& data = reply.localParameters->parameters;
      const std::uint8_t selector = reply.localParameters->selector;
      if (std::equal(data.begin(), data.begin() + 6, data.begin() + 1)) {
        ParametersRepeated repeated{selector == kLocalParametersRam ? 1 : 0, {}};
        std::copy(data.begin(), data.end(), repeated.bytes.begin());
        addScanChange(repeated);
        return true;
      }
      const bool answered = api::currentState().localAnswered;
      if ((answered && selector == kLocalParametersStored) ||
          (!answered && selector == kLocalParametersRam)) {
        scanState().localParamsValid = true;
        std::copy(data.begin(), data.end(), scanState().localParams.begin());
      }
      return true;
    }
    case kEntryNetworkStatistics: {
      if (!reply.namesLocalDevice) return false;
      const MacAddress local = api::currentState().localMac;
      if (!isZeroMac(local) && reply.source != local) return false;
      // The decoder reads at most 15 stations and only those whole within the frame; the
      // update gives the interface a raw rate of 0 when no leading remote has a rate, and holds
      // the raw value to its 16 bits.
      if (reply.networkStatistics) applyHp1NetworkStatistics(*reply.networkStatistics);
      addScanChange(ListsChanged{static_cast<int>(scanState().scanPhase)});
      return true;
    }
    default:
      return false;
  }
}

}  // namespace quorrel::scan
