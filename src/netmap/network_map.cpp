// One pass over the listed adapters, a few requests out at a time. Each answer is matched to
// the adapter that was asked and the interface it was asked on, so a stray confirmation (an
// adapter nobody asked, another interface's network) cannot draw a link that is not there.
#include "netmap/network_map.h"

#include <algorithm>
#include <map>

#include "api/device_table.h"
#include "api/rate_stats.h"
#include "platform/clock.h"
#include "thpapi/decoder.h"
#include "thpapi/exchange.h"
#include "thpapi/frame_layout.h"
#include "transport/interface_table.h"

namespace quorrel::netmap {

namespace {

// The rate `from` reported for each station it listed, in Mbps.
using Reported = std::map<MacAddress, double>;

struct Target {
  std::size_t node = 0;
  std::uint32_t askedAt = 0;
  int asks = 0;
};

class Gathering {
 public:
  Gathering(transport::ReceivePath& path, NetworkMap& map) : path_(path), map_(map) {
    here_ = map.interfaceIndex;
    reported_.resize(map.nodes.size());
    for (std::size_t i = 0; i < map.nodes.size(); ++i) waiting_.push_back({i, 0, 0});
  }

  void run() {
    const std::uint32_t start = platform::tickCount();
    const std::uint32_t bound = gatherBoundMs(map_.nodes.size() - 1);
    while (!waiting_.empty() || !asked_.empty()) {
      ask();
      const bool got = take();
      const std::uint32_t now = platform::tickCount();
      expire(now);
      if (now - start >= bound) break;
      if (!got) platform::sleepMs(1);
    }
    link();
  }

 private:
  void ask() {
    while (asked_.size() < kMapRequestWindow && !waiting_.empty()) {
      Target t = waiting_.front();
      waiting_.erase(waiting_.begin());
      t.askedAt = platform::tickCount();
      ++t.asks;
      thpapi::SendAvRequest(map_.nodes[t.node].mac, thpapi::kNetworkInfoRequest);
      asked_.push_back(t);
    }
  }

  // A silent adapter is asked once more at the end of the queue, then given up.
  void expire(std::uint32_t now) {
    std::erase_if(asked_, [&](const Target& t) {
      if (now - t.askedAt < kMapAnswerMs) return false;
      if (t.asks < kMapAsks) waiting_.push_back(t);
      return true;
    });
  }

  // The node an answer from `source` belongs to: asked at least once and not answered yet.
  std::optional<std::size_t> askedNode(const MacAddress& source) const {
    for (std::size_t i = 0; i < map_.nodes.size(); ++i) {
      const MapNode& n = map_.nodes[i];
      if (n.mac != source || n.answered) continue;
      const auto isIt = [i](const Target& t) { return t.node == i && t.asks > 0; };
      if (std::any_of(asked_.begin(), asked_.end(), isIt) ||
          std::any_of(waiting_.begin(), waiting_.end(), isIt))
        return i;
    }
    return std::nullopt;
  }

  bool take() {
    transport::Frame frame;
    if (!path_.poll(transport::kAnyInterface, frame)) return false;
    if (frame.arrival != here_ || frame.etherType() != transport::kEtherTypeHomePlugAv) return true;
    thpapi::ThapiResult r;
    if (thpapi::thpapi_DecodeFrame(frame.bytes(), r,
                                   thpapi::expectedVersionFor(thpapi::kNetworkInfoRequest)) != 0 ||
        r.mmtype != thpapi::kNetworkInfoConfirm || r.dataValid != 1)
      return true;
    const auto node = askedNode(r.source);
    if (!node) return true;
    map_.nodes[*node].answered = true;
    for (const thpapi::StationEntry& e : r.stations) {
      if (e.mac == r.source || isZeroMac(e.mac) || isGroupMac(e.mac)) continue;
      reported_[*node][e.mac] = api::rateToMbps(e.rate, api::RateMode::HomePlugAv);
    }
    std::erase_if(asked_, [&](const Target& t) { return t.node == *node; });
    std::erase_if(waiting_, [&](const Target& t) { return t.node == *node; });
    return true;
  }

  // A link joins two adapters that both answered and at least one of which listed the other.
  void link() {
    const auto rate = [&](std::size_t from, std::size_t to) -> std::optional<double> {
      const auto it = reported_[from].find(map_.nodes[to].mac);
      if (it == reported_[from].end()) return std::nullopt;
      return it->second;
    };
    for (std::size_t a = 0; a < map_.nodes.size(); ++a)
      for (std::size_t b = a + 1; b < map_.nodes.size(); ++b) {
        if (!map_.nodes[a].answered || !map_.nodes[b].answered) continue;
        MapLink l{a, b, rate(a, b), rate(b, a)};
        if (l.aToB || l.bToA) map_.links.push_back(l);
      }
  }

  transport::ReceivePath& path_;
  NetworkMap& map_;
  int here_ = -1;
  std::vector<Reported> reported_;
  std::vector<Target> waiting_;  // not asked yet, or asked again after a silence
  std::vector<Target> asked_;    // waiting for an answer
};

}  // namespace

std::uint32_t gatherBoundMs(std::size_t stations) {
  // Every adapter fills a slot of the window for at most two waits; a millisecond of slack per
  // round for the poll that notices the time is up.
  const std::size_t slots = (stations + 1) * static_cast<std::size_t>(kMapAsks);
  const std::size_t rounds = (slots + kMapRequestWindow - 1) / kMapRequestWindow;
  return static_cast<std::uint32_t>(rounds * (kMapAnswerMs + 2));
}

MapResult gatherNetworkMap(transport::ReceivePath& path) {
  MapResult result;
  const api::InterfaceDevices& devices = api::currentDevices();
  const MacAddress local = api::LocalDeviceAddress();
  if (!devices.localPresent || isZeroMac(local)) return result;
  if (!api::deviceTable().avLocal) {
    result.outcome = MapOutcome::NotAvNetwork;
    return result;
  }
  NetworkMap& map = result.map;
  map.interfaceIndex = static_cast<int>(transport::currentInterface());
  map.nodes.push_back({local, true, false});
  for (const api::RemoteDevice& r : devices.remotes)
    if (r.inUse && !isZeroMac(r.mac) && r.mac != local) map.nodes.push_back({r.mac, false, false});
  Gathering(path, map).run();
  result.outcome = MapOutcome::Gathered;
  return result;
}

}  // namespace quorrel::netmap
