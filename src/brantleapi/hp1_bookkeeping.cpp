// Our own frames come back through the capture; they never name the local device.
#include "brantleapi/hp1_bookkeeping.h"

#include <algorithm>

#include "api/device_table.h"
#include "brantleapi/hp1_frame.h"
#include "brantleapi/hp1_replies.h"
#include "brantleapi/hp1_requests.h"

namespace quorrel::brantleapi {

namespace {

// The second network statistics type some adapters answer with; it names the local device
// but carries no class.
constexpr std::uint8_t kEntryNetworkStatisticsAlt = 0x1E;
constexpr std::size_t kParametersReplyMin = kLocalParametersDataOffset + kLocalParametersCount;

bool isHp1(ByteSpan f) {
  return f.size() > kHp1EntryTypeOffset && readBe16(f, kHp1BlockOffset) == kHp1EtherType;
}

MacAddress interfaceMac(int index) {
  if (index < 0 || index >= transport::kMaxInterfaces) return {};
  return transport::interfaceTable().entries[static_cast<std::size_t>(index)].macAddress;
}

}  // namespace

bool isLoopbackFrame(ByteSpan f) {
  if (!isHp1(f)) return false;
  const MacAddress destination = readMac(f, kHp1DestinationOffset);
  return destination == readMac(f, kHp1SourceOffset) && destination != kBroadcastMac;
}

bool isParametersReply(ByteSpan f) {
  return isHp1(f) && f.size() >= kParametersReplyMin &&
         f[kHp1EntryTypeOffset] == kEntryLocalParameters &&
         f[kHp1EntryTypeOffset + 1] == kLocalParametersReplyLength;
}

void Hp1Bookkeeping::observe(const transport::Frame& frame) {
  const ByteSpan f = frame.bytes();
  const int index = frame.arrival;
  if (!isHp1(f) || index < 0 || index >= transport::kMaxInterfaces) return;
  api::InterfaceState& st = api::interfaceState(index);
  const bool loop = isLoopbackFrame(f);
  if (loop) loopbackSeen_ = true;
  const std::uint8_t type = f[kHp1EntryTypeOffset];
  const bool statisticsReply =
      (type == kEntryNetworkStatistics || type == kEntryNetworkStatisticsAlt) &&
      f.size() > kNetworkStatisticsClassOffset &&
      (f[kNetworkStatisticsClassOffset] & kNetworkStatisticsRequestMark) == 0;
  const MacAddress source = readMac(f, kHp1SourceOffset);
  const bool plausible = !isZeroMac(source) && !isGroupMac(source) && source != interfaceMac(index);
  if ((loop || statisticsReply) && plausible) {
    st.localMac = source;
    st.localPresent = true;
    if (type == kEntryNetworkStatistics && statisticsReply) {
      const auto cls = static_cast<std::uint8_t>(f[kNetworkStatisticsClassOffset] &
                                                 ~kNetworkStatisticsRequestMark);
      st.localClass = static_cast<api::DeviceClass>(cls);
      if (cls >= 1 && cls <= 3)
        fetchWanted_[static_cast<std::size_t>(index)] = true;
      else
        st.localPresent = false;
    }
  }
  if (isParametersReply(f) && f[kLocalParametersSelectorOffset] == kLocalParametersStored) {
    st.localAnswered = true;
    std::copy_n(f.begin() + kLocalParametersDataOffset, st.localParameters.size(),
                st.localParameters.begin());
  }
}

bool Hp1Bookkeeping::takeFetchWanted(int index) {
  if (index < 0 || index >= transport::kMaxInterfaces) return false;
  const bool wanted = fetchWanted_[static_cast<std::size_t>(index)];
  fetchWanted_[static_cast<std::size_t>(index)] = false;
  return wanted;
}

}  // namespace quorrel::brantleapi
