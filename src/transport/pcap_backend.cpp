// Capture set up so that a frame is delivered as it arrives and an empty wait ends on time:
// immediate mode (no kernel ring blocks), non-blocking dispatch after a bounded poll().
#include "transport/pcap_backend.h"

#include <poll.h>

#include <cstdio>
#include <set>

#include "platform/state_lock.h"
#include "transport/mac_query.h"
#include "transport/management_filter.h"

namespace quorrel::transport {

namespace {
// The longest Ethernet frame (1514 bytes) and one byte more, so that a longer one still shows as
// too long and is dropped. The kernel's capture ring has one slot of the snapshot's size per
// frame on interfaces with segmentation offload (veth, most network cards): with 65536 bytes
// the default ring held 32 frames, a few milliseconds of a flood of other frames, and an
// answer that arrived while it was full was lost.
constexpr int kSnapshotLength = 1515;

// Said once per interface per process; a rebuild every scan would otherwise repeat it.
void reportPermission(const std::string& name) {
  static std::set<std::string> reported;
  if (!reported.insert(name).second) return;
  std::fprintf(stderr,
               "Cannot open %s: permission denied. Raw capture needs root or the CAP_NET_RAW "
               "capability.\n",
               name.c_str());
}
}  // namespace

std::unique_ptr<PcapChannel> PcapChannel::open(const std::string& name, OpenError& error) {
  error = OpenError::Other;
  char errorText[PCAP_ERRBUF_SIZE] = {};
  pcap_t* handle = pcap_create(name.c_str(), errorText);
  if (handle == nullptr) return nullptr;
  pcap_set_snaplen(handle, kSnapshotLength);
  pcap_set_promisc(handle, 0);
  pcap_set_timeout(handle, kReceiveWaitMs);
  pcap_set_immediate_mode(handle, 1);
  const int activated = pcap_activate(handle);
  if (activated < 0) {
    if (activated == PCAP_ERROR_PERM_DENIED) error = OpenError::PermissionDenied;
    pcap_close(handle);
    return nullptr;
  }
  bpf_program program{static_cast<u_int>(kManagementFrameFilter.size()),
                      const_cast<bpf_insn*>(kManagementFrameFilter.data())};
  if (pcap_setfilter(handle, &program) != 0 || pcap_setnonblock(handle, 1, errorText) != 0 ||
      pcap_get_selectable_fd(handle) < 0) {
    pcap_close(handle);
    return nullptr;
  }
  error = OpenError::None;
  return std::make_unique<PcapChannel>(handle);
}

PcapChannel::PcapChannel(pcap_t* handle) : handle_(handle), fd_(pcap_get_selectable_fd(handle)) {}

PcapChannel::~PcapChannel() {
  pcap_close(handle_);
}

SendStatus PcapChannel::send(ByteSpan frame) {
  return pcap_inject(handle_, frame.data(), frame.size()) < 0 ? SendStatus::Failed
                                                              : SendStatus::Sent;
}

bool PcapChannel::receive(std::vector<std::uint8_t>& out) {
  if (takePending(out)) return true;
  pollfd p{fd_, POLLIN, 0};
  {
    const platform::BlockingSection idle;
    if (poll(&p, 1, kReceiveWaitMs) <= 0) return false;
  }
  return takePending(out);
}

bool PcapChannel::takePending(std::vector<std::uint8_t>& out) {
  auto copy = [](u_char* user, const pcap_pkthdr* h, const u_char* bytes) {
    auto* v = reinterpret_cast<std::vector<std::uint8_t>*>(user);
    v->assign(bytes, bytes + h->caplen);
  };
  return pcap_dispatch(handle_, 1, copy, reinterpret_cast<u_char*>(&out)) > 0;
}

bool PcapBackend::listInterfaces(std::vector<InterfaceInfo>& out) {
  char errorText[PCAP_ERRBUF_SIZE] = {};
  pcap_if_t* devices = nullptr;
  if (pcap_findalldevs(&devices, errorText) != 0) return false;
  for (pcap_if_t* d = devices; d != nullptr; d = d->next) {
    if (d->name == nullptr || (d->flags & PCAP_IF_LOOPBACK) != 0) continue;
    const std::string name = d->name;
    if (!isEthernetInterface(name)) continue;
    out.push_back(InterfaceInfo{name, QueryInterfaceMac(name).value_or(kNoMac)});
  }
  pcap_freealldevs(devices);
  return true;
}

std::unique_ptr<Channel> PcapBackend::open(const InterfaceInfo& iface) {
  OpenError error = OpenError::None;
  auto channel = PcapChannel::open(iface.name, error);
  if (error == OpenError::PermissionDenied) reportPermission(iface.name);
  return channel;
}

}  // namespace quorrel::transport
