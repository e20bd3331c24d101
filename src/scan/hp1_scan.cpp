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

using namespace hp1;

constexpr int kFetchAttempts = 3;
constexpr std::uint32_t kFetchWaitMs = 50;
constexpr std::uint32_t kFetchWaitStepMs = 4;

bool isHp1(ByteSpan f) {
  return f.size() >= kEntryTypeAt + 1 && readBe16(f, transport::kEtherTypeOffset) == kEtherType;
}

MacAddress interfaceMac(int index) {
  if (index < 0 || index >= transport::kMaxInterfaces) return {};
  return transport::interfaceTable().entries[static_cast<std::size_t>(index)].macAddress;
}

// One wait of the probe or the fetch: answered when a frame loops back, or (for the fetch) a
// parameters reply comes.
bool waitOn(int index, std::uint32_t ms, bool parametersAnswer) {
  brantleapi::Hp1Bookkeeping& books = hp1Bookkeeping();
  const std::uint32_t start = platform::tickCount();
  transport::Frame frame;
  while (platform::tickCount() - start < ms) {
    books.clearLoopback();
    if (receivePath().nextFrom(index, frame)) {
      if (books.loopbackSeen()) return true;
      // The fetch runs between the scan's waits: what it takes would otherwise be lost.
      if (parametersAnswer && frame.etherType() == kEtherType) HandleHp1Frame(frame);
      if (parametersAnswer && brantleapi::isParametersReply(frame.bytes())) return true;
    }
    platform::sleepMs(1);
  }
  return false;
}

void fetchLocalParameters(int index) {
  const MacAddress source = interfaceMac(index);
  if (isZeroMac(source)) return;
  api::InterfaceState& st = api::interfaceState(index);
  st.probeAttempts = 0;
  brantleapi::Hp1FrameBuffer buffer{};
  for (int a = 0; a < kFetchAttempts; ++a) {
    const std::size_t n =
        brantleapi::buildLocalParametersRequest(buffer, kBroadcastMac, source, kSelectorStored);
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

void FetchWantedParameters() {
  const int count = transport::interfaceTable().interfaceCount;
  for (int i = 0; i < count; ++i)
    if (hp1Bookkeeping().takeFetchWanted(i)) fetchLocalParameters(i);
}

bool waitForLoopback(int index, std::uint32_t ms) {
  return waitOn(index, ms, false);
}

void UpdateHp1Rates(ByteSpan f) {
  // The decoder reads at most 15 stations and only those whole within the frame; the update
  // gives the interface a raw rate of 0 when no leading remote has a rate, and holds the raw
  // value to its 16 bits.
  const auto view = brantleapi::parseHp1Frame(f);
  if (!view) return;
  if (const auto statistics = brantleapi::decodeNetworkStatistics(*view))
    brantleapi::applyHp1NetworkStatistics(*statistics);
}

bool HandleHp1Frame(const transport::Frame& frame) {
  const ByteSpan f = frame.bytes();
  if (!isHp1(f)) return false;
  // Answers from the wiring of another interface say nothing about the current one.
  if (frame.arrival != static_cast<int>(transport::currentInterface())) return false;
  const MacAddress source = readMac(f, 6);
  switch (f[kEntryTypeAt]) {
    case kKeyAnswer:
      return true;
    case kStatisticsReply:
      if (source != transport::SourceAddress()) api::UpsertRemote(source);
      return true;
    case kLocalParameters: {
      if (!brantleapi::isParametersReply(f)) return false;
      const ByteSpan data = f.subspan(kParamsDataAt, kLocalParamsSize);
      const std::uint8_t selector = f[kParamsSelectorAt];
      if (std::equal(data.begin(), data.begin() + 6, data.begin() + 1)) {
        ParametersRepeated repeated{selector == kParamsReplyWorking ? 1 : 0, {}};
        std::copy(data.begin(), data.end(), repeated.bytes.begin());
        addScanChange(repeated);
        return true;
      }
      const bool answered = api::currentState().localAnswered;
      if ((answered && selector == kParamsReplyStored) ||
          (!answered && selector == kParamsReplyWorking)) {
        scanState().localParamsValid = true;
        std::copy(data.begin(), data.end(), scanState().localParams.begin());
      }
      return true;
    }
    case kNetworkStatistics: {
      if (f.size() <= kNetStatsClassAt || f[kNetStatsClassAt] == kRequestMark) return false;
      const MacAddress local = api::currentState().localMac;
      if (!isZeroMac(local) && source != local) return false;
      UpdateHp1Rates(f);
      addScanChange(ListsChanged{static_cast<int>(scanState().scanPhase)});
      return true;
    }
    default:
      return false;
  }
}

}  // namespace quorrel::scan
