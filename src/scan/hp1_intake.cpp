// The HomePlug 1.0 bookkeeping of the scan. Every frame is copied out of the transport's one
// received-frame slot before anything can receive again, and the local-parameter fetch that a
// network statistics reply starts takes its frames straight from the transport, keeping them
// for the callers, so the intake never runs inside itself and no frame is lost to it.
#include "scan/hp1_intake.h"

#include <algorithm>
#include <deque>
#include <limits>
#include <vector>

#include "api/device_table.h"
#include "api/rate_stats.h"
#include "brantleapi/hp1_frame.h"
#include "brantleapi/hp1_replies.h"
#include "brantleapi/hp1_requests.h"
#include "brantleapi/turbo_state.h"
#include "platform/clock.h"
#include "platform/notice.h"
#include "scan/scan.h"
#include "scan/scan_services.h"
#include "thpapi/exchange.h"

namespace quorrel::scan {

namespace {

using namespace hp1;

// More frames than a fetch can take in its 162 ms even under noise; the oldest go first.
constexpr std::size_t kBacklogLimit = 512;
constexpr int kFetchAttempts = 3;
constexpr std::uint32_t kFetchWaitMs = 50;
constexpr std::uint32_t kFetchWaitStepMs = 4;

struct Intake {
  std::array<std::deque<std::vector<std::uint8_t>>, transport::kMaxInterfaces> backlog;
  std::array<bool, transport::kMaxInterfaces> fetchWanted{};
  std::vector<std::uint8_t> slot;
  transport::ReceivedFrame frame;
  bool active = false;
};
Intake intake;

bool isHp1(ByteSpan f) {
  return f.size() >= kEntryTypeAt + 1 && readBe16(f, transport::kEtherTypeOffset) == kEtherType;
}

MacAddress interfaceMac(int index) {
  if (index < 0 || index >= transport::kMaxInterfaces) return {};
  return transport::interfaceTable().entries[static_cast<std::size_t>(index)].macAddress;
}

bool takeRaw(int index, std::vector<std::uint8_t>& out) {
  const transport::ReceivedFrame* f = transport::ReceiveFrame(index);
  if (f == nullptr || f->data == nullptr) return false;
  out.assign(f->data, f->data + f->length);
  return true;
}

bool isParametersReply(ByteSpan f) {
  return isHp1(f) && f.size() >= kParamsReplyMin && f[kEntryTypeAt] == kLocalParameters &&
         f[kEntryLengthAt] == kParamsReplyLength;
}

// Steps that every HomePlug 1.0 frame goes through on the interface it came from.
void bookkeep(int index, ByteSpan f) {
  if (!isHp1(f)) return;
  api::InterfaceState& st = api::interfaceState(index);
  const bool loop = isLoopbackFrame(f);
  if (loop) scanState().loopbackSeen = true;
  const std::uint8_t type = f[kEntryTypeAt];
  const bool statisticsReply = (type == kNetworkStatistics || type == kNetworkStatisticsAlt) &&
                               f.size() > kNetStatsClassAt &&
                               (f[kNetStatsClassAt] & kRequestMark) == 0;
  const MacAddress source = readMac(f, 6);
  // Our own frames come back through the capture; they are not the local device.
  const bool plausible = !isZeroMac(source) && !isGroupMac(source) && source != interfaceMac(index);
  if ((loop || statisticsReply) && plausible) {
    st.localMac = source;
    st.localPresent = true;
    if (type == kNetworkStatistics && statisticsReply) {
      const auto cls = static_cast<std::uint8_t>(f[kNetStatsClassAt] & ~kRequestMark);
      st.localClass = static_cast<api::DeviceClass>(cls);
      if (cls >= 1 && cls <= 3)
        intake.fetchWanted[static_cast<std::size_t>(index)] = true;
      else
        st.localPresent = false;
    }
  }
  if (isParametersReply(f) && f[kParamsSelectorAt] == kParamsReplyStored) {
    st.localAnswered = true;
    std::copy_n(f.begin() + kParamsDataAt, st.localParameters.size(), st.localParameters.begin());
  }
}

void keep(int index, std::vector<std::uint8_t> frame) {
  auto& queue = intake.backlog[static_cast<std::size_t>(index)];
  if (queue.size() >= kBacklogLimit) queue.pop_front();
  queue.push_back(std::move(frame));
}

// One fetch attempt's wait: frames go through the bookkeeping and are kept for the callers.
// Answered when a frame loops back or the parameters reply comes.
bool waitInsideFetch(int index, std::uint32_t ms) {
  const std::uint32_t start = platform::tickCount();
  std::vector<std::uint8_t> f;
  while (platform::tickCount() - start < ms) {
    scanState().loopbackSeen = false;
    if (takeRaw(index, f)) {
      bookkeep(index, f);
      const bool answered = scanState().loopbackSeen || isParametersReply(f);
      keep(index, std::move(f));
      if (answered) return true;
    }
    platform::sleepMs(1);
  }
  return false;
}

void fetchLocalParameters(int index) {
  intake.fetchWanted[static_cast<std::size_t>(index)] = false;
  const MacAddress source = interfaceMac(index);
  if (isZeroMac(source)) return;
  api::InterfaceState& st = api::interfaceState(index);
  st.probeAttempts = 0;
  brantleapi::Hp1FrameBuffer buffer{};
  for (int a = 0; a < kFetchAttempts; ++a) {
    const std::size_t n =
        brantleapi::buildLocalParametersRequest(buffer, kBroadcastMac, source, kSelectorStored);
    transport::SendFrame(index, ByteSpan(buffer).first(n));
    if (waitInsideFetch(index, static_cast<std::uint32_t>(a) * kFetchWaitStepMs + kFetchWaitMs))
      break;
  }
  // Fetch rounds count like probe rounds; the counter only saturates.
  if (st.probeAttempts < std::numeric_limits<std::uint8_t>::max()) ++st.probeAttempts;
}

const transport::ReceivedFrame* deliver(std::vector<std::uint8_t> bytes) {
  intake.slot = std::move(bytes);
  intake.frame.data = intake.slot.data();
  intake.frame.length = static_cast<std::uint32_t>(intake.slot.size());
  return &intake.frame;
}

bool fromCurrentInterface() {
  const int arrival = thpapi::lastFrameInterface();
  return arrival < 0 || arrival == static_cast<int>(transport::currentInterface());
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

bool isLoopbackFrame(ByteSpan f) {
  if (!isHp1(f)) return false;
  const MacAddress destination = readMac(f, 0);
  return destination == readMac(f, 6) && destination != kBroadcastMac;
}

const transport::ReceivedFrame* ReadInterfaceFrame(int index) {
  if (index < 0 || index >= transport::kMaxInterfaces) return nullptr;
  try {
    auto& queue = intake.backlog[static_cast<std::size_t>(index)];
    if (!queue.empty()) {
      std::vector<std::uint8_t> kept = std::move(queue.front());
      queue.pop_front();
      return deliver(std::move(kept));
    }
    std::vector<std::uint8_t> bytes;
    if (!takeRaw(index, bytes)) return nullptr;
    bookkeep(index, bytes);
    if (intake.fetchWanted[static_cast<std::size_t>(index)] && !intake.active) {
      intake.active = true;
      fetchLocalParameters(index);
      intake.active = false;
    }
    return deliver(std::move(bytes));
  } catch (...) {
    intake.active = false;
    platform::showNotice("Error occured while reading the frame. Please try after sometime.",
                         "Reading Error");
    return nullptr;
  }
}

bool waitForLoopback(int index, std::uint32_t ms) {
  const std::uint32_t start = platform::tickCount();
  while (platform::tickCount() - start < ms) {
    scanState().loopbackSeen = false;
    ReadInterfaceFrame(index);
    if (scanState().loopbackSeen) return true;
    platform::sleepMs(1);
  }
  return false;
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

bool HandleHp1Frame(ByteSpan f) {
  if (!isHp1(f)) return false;
  // Answers from the wiring of another interface say nothing about the current one.
  if (!fromCurrentInterface()) return false;
  const MacAddress source = readMac(f, 6);
  switch (f[kEntryTypeAt]) {
    case kKeyAnswer:
      return true;
    case kStatisticsReply:
      if (source != transport::SourceAddress()) api::UpsertRemote(source);
      return true;
    case kLocalParameters: {
      if (!isParametersReply(f)) return false;
      const ByteSpan data = f.subspan(kParamsDataAt, kLocalParamsSize);
      const std::uint8_t selector = f[kParamsSelectorAt];
      if (std::equal(data.begin(), data.begin() + 6, data.begin() + 1)) {
        scanListener().logParameters(selector == kParamsReplyWorking ? 1 : 0, data);
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
      scanListener().RefreshDeviceLists(static_cast<int>(scanState().scanPhase));
      return true;
    }
    default:
      return false;
  }
}

std::size_t intakeBacklog(int index) {
  if (index < 0 || index >= transport::kMaxInterfaces) return 0;
  return intake.backlog[static_cast<std::size_t>(index)].size();
}

void ResetIntake() {
  for (auto& q : intake.backlog) q.clear();
  intake.fetchWanted = {};
  intake.slot.clear();
  intake.frame = {};
  intake.active = false;
}

}  // namespace quorrel::scan
