// Our own frames come back through the capture; they never name the local device.
#include "brantleapi/hp1_bookkeeping.h"

#include "api/device_table.h"
#include "brantleapi/hp1_requests.h"

namespace quorrel::brantleapi {

namespace {

MacAddress interfaceMac(int index) {
  return transport::interfaceTable().entries[static_cast<std::size_t>(index)].macAddress;
}

}  // namespace

void Hp1Bookkeeping::observe(const transport::Frame& frame) {
  if (const auto& reply = decoded(frame)) take(*reply, frame.arrival);
}

const std::optional<Hp1Reply>& Hp1Bookkeeping::decoded(const transport::Frame& frame) {
  if (frame.serial == 0 || frame.serial != lastSerial_) {
    last_ = decodeHp1Reply(frame.bytes());
    lastSerial_ = frame.serial;
  }
  return last_;
}

void Hp1Bookkeeping::take(const Hp1Reply& reply, int index) {
  if (index < 0 || index >= transport::kMaxInterfaces) return;
  api::InterfaceState& st = api::interfaceState(index);
  if (reply.loopback) loopbackSeen_ = true;
  const MacAddress& source = reply.source;
  const bool plausible = !isZeroMac(source) && !isGroupMac(source) && source != interfaceMac(index);
  if ((reply.loopback || reply.namesLocalDevice) && plausible) {
    st.localMac = source;
    st.localPresent = true;
    if (reply.localClass) {
      st.localClass = static_cast<api::DeviceClass>(*reply.localClass);
      if (*reply.localClass >= 1 && *reply.localClass <= 3)
        fetchWanted_[static_cast<std::size_t>(index)] = true;
      else
        st.localPresent = false;
    }
  }
  if (reply.localParameters && reply.localParameters->selector == kLocalParametersStored) {
    st.localAnswered = true;
    st.localParameters = reply.localParameters->parameters;
  }
}
bool Hp1Bookkeeping::takeFetchWanted(int index) {
  if (index < 0 || index >= transport::kMaxInterfaces) return false;
  const bool wanted = fetchWanted_[static_cast<std::size_t>(index)];
  fetchWanted_[static_cast<std::size_t>(index)] = false;
  return wanted;
}

}  // namespace quorrel::brantleapi
