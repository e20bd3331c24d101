// Vendor management basics: version, network information, and key setting.
#include <algorithm>

#include "adapter-sim/core/family.h"
#include "crypto/keys.h"

namespace quorrel::sim {

namespace {

constexpr std::uint16_t kVersionRequest = 0xA000;
constexpr std::uint16_t kNetworkInfoRequest = 0xA038;
constexpr std::uint16_t kSetKeyRequest = 0xA050;

// Version confirmation, offsets from the frame start.
constexpr std::size_t kVersionStatus = 20;
constexpr std::size_t kVersionDeviceId = 21;
constexpr std::size_t kVersionTextLength = 22;
constexpr std::size_t kVersionText = 23;
constexpr std::size_t kVersionTextField = 64;
constexpr std::size_t kVersionFrameLength = 88;

// Network information confirmation, version 0 layout.
constexpr std::size_t kV0NetworkCount = 20;
constexpr std::size_t kV0Record = 21;
constexpr std::size_t kV0StationCount = kV0Record + 17;  // after the 17-byte network part
constexpr std::size_t kV0Stations = kV0StationCount + 1;
constexpr std::size_t kV0StationLength = 15;
constexpr std::size_t kV0StationTxRate = 13;
constexpr std::size_t kV0StationRxRate = 14;
// Version 1 layout: the record starts after the network count at 27.
constexpr std::size_t kV1NetworkCount = 27;
constexpr std::size_t kV1Record = 28;
constexpr std::size_t kV1StationCount = kV1Record + 26;
constexpr std::size_t kV1Stations = kV1Record + 32;
constexpr std::size_t kV1StationLength = 24;
constexpr std::size_t kV1StationTxRate = 16;
constexpr std::size_t kV1StationRxRate = 18;
// Fields of the record and its stations that the host copies but does not read.
constexpr std::size_t kNidLength = 7;
constexpr std::size_t kV0RecordSnid = 7, kV0RecordTei = 8, kV0RecordRole = 9;
constexpr std::size_t kV0RecordCco = 10, kV0RecordCcoTei = 16;
constexpr std::size_t kV1RecordSnid = 8, kV1RecordTei = 9, kV1RecordRole = 14;
constexpr std::size_t kV1RecordCco = 15, kV1RecordCcoTei = 21;
constexpr std::size_t kV0StationTei = 6, kV0StationBridge = 7;
constexpr std::size_t kV1StationTei = 6, kV1StationBridge = 10;
constexpr std::uint8_t kLocalTei = 1;
constexpr std::uint8_t kRoleCoordinator = 2;

// Set-key request and its confirmation.
constexpr std::size_t kSetKeyNetworkKey = 21;
constexpr std::size_t kSetKeySelector = 37;
constexpr std::size_t kSetKeyTarget = 38;
constexpr std::size_t kSetKeyAccessKey = 44;
constexpr std::size_t kSetKeyRequestLength = 60;
constexpr std::uint8_t kSelectorLocal = 0x0F;
constexpr std::uint8_t kSelectorRemote = 0x00;
// A remote needs a moment to rejoin under its new key before it answers.
constexpr std::uint32_t kRemoteJoinUs = 400'000;
constexpr std::size_t kSetKeyStatus = 20;

// HomePlug 1.0 and Turbo adapters do not speak the vendor messages.
Adapter* avAdapterAt(Network& net, const MacAddress& mac) {
  Adapter* a = net.adapterAt(mac);
  return a != nullptr && !isHp1Family(*a) ? a : nullptr;
}

Answer versionAnswer(Network& net, const Adapter& from, const MacAddress& to) {
  const std::uint32_t latency = net.relayedLatencyOf(from);
  auto f = wire::avFrame(to, from.mac, 0, kVersionRequest + 1,
                         kVersionFrameLength - wire::kPayloadOffsetV0);
  writeU8(f, kVersionStatus, net.statusFor(kVersionRequest + 1));
  writeU8(f, kVersionDeviceId, from.chipId);
  const std::size_t n = std::min(from.firmware.size(), kVersionTextField);
  writeU8(f, kVersionTextLength, static_cast<std::uint8_t>(n));
  writeBytes(f, kVersionText,
             ByteSpan(reinterpret_cast<const std::uint8_t*>(from.firmware.data()), n));
  return Answer{std::move(f), latency, wire::kOuiOffsetV0, std::nullopt};
}

void onVersion(Network& net, const wire::Request& r, std::vector<Answer>& out) {
  // A broadcast probe reaches the attached adapter only; stations answer their own address.
  const MacAddress at = r.destination == kBroadcastMac ? kLocalDeviceMac : r.destination;
  if (Adapter* a = avAdapterAt(net, at)) out.push_back(versionAnswer(net, *a, r.source));
}

// The stations of the local adapter's network, in scenario order.
std::vector<const Adapter*> listedStations(Network& net) {
  std::vector<const Adapter*> list;
  for (const auto& s : net.scenario().remotes)
    if (net.inLocalNetwork(s) && !isHp1Family(s)) list.push_back(&s);
  return list;
}

// Where one layout of the network information confirmation puts its fields.
struct InfoLayout {
  std::uint8_t mmv;
  std::size_t networkCount, record, stationCount, stations, stationLength;
  std::size_t recordSnid, recordTei, recordRole, recordCco, recordCcoTei;
  std::size_t stationTei, stationBridge, stationTxRate, stationRxRate;
  bool wideRates;  // 16-bit rates; the version 0 layout has room for 8 bits
};

constexpr InfoLayout kInfoV0{0,
                             kV0NetworkCount,
                             kV0Record,
                             kV0StationCount,
                             kV0Stations,
                             kV0StationLength,
                             kV0RecordSnid,
                             kV0RecordTei,
                             kV0RecordRole,
                             kV0RecordCco,
                             kV0RecordCcoTei,
                             kV0StationTei,
                             kV0StationBridge,
                             kV0StationTxRate,
                             kV0StationRxRate,
                             false};
constexpr InfoLayout kInfoV1{1,
                             kV1NetworkCount,
                             kV1Record,
                             kV1StationCount,
                             kV1Stations,
                             kV1StationLength,
                             kV1RecordSnid,
                             kV1RecordTei,
                             kV1RecordRole,
                             kV1RecordCco,
                             kV1RecordCcoTei,
                             kV1StationTei,
                             kV1StationBridge,
                             kV1StationTxRate,
                             kV1StationRxRate,
                             true};

void writeRate(std::vector<std::uint8_t>& f, std::size_t at, std::uint16_t rate, bool wide) {
  if (wide)
    writeLe16(f, at, rate);
  else
    writeU8(f, at, static_cast<std::uint8_t>(std::min<int>(rate, 0xFF)));
}

// One station of a network information list: its rates as the answering adapter sees them.
struct Listed {
  const Adapter* station;
  std::uint16_t tx;  // from the answering adapter to the station
  std::uint16_t rx;  // back
};

std::vector<std::uint8_t> networkInfo(const InfoLayout& l, const Adapter& self,
                                      const Adapter& local, const std::vector<Listed>& s,
                                      const MacAddress& to) {
  auto f = wire::avFrame(to, self.mac, l.mmv, kNetworkInfoRequest + 1,
                         l.stations + s.size() * l.stationLength - wire::payloadOffset(l.mmv));
  writeU8(f, l.networkCount, 1);
  writeBytes(f, l.record, ByteSpan(self.networkKey).first(kNidLength));
  writeU8(f, l.record + l.recordSnid, self.networkKey[kNidLength] & 0x0F);
  writeU8(f, l.record + l.recordTei, kLocalTei);
  writeU8(f, l.record + l.recordRole, kRoleCoordinator);
  writeMac(f, l.record + l.recordCco, local.mac);
  writeU8(f, l.record + l.recordCcoTei, kLocalTei);
  writeU8(f, l.stationCount, static_cast<std::uint8_t>(s.size()));
  for (std::size_t i = 0; i < s.size(); ++i) {
    const std::size_t at = l.stations + i * l.stationLength;
    writeMac(f, at, s[i].station->mac);
    writeU8(f, at + l.stationTei, static_cast<std::uint8_t>(kLocalTei + 1 + i));
    writeMac(f, at + l.stationBridge, s[i].station->mac);
    writeRate(f, at + l.stationTxRate, s[i].tx, l.wideRates);
    writeRate(f, at + l.stationRxRate, s[i].rx, l.wideRates);
  }
  return f;
}

// The rate from station `from` to station `to`: its own `link`, else the rate back that `to`
// gave with its `link`, else the lower of the two stations' rates to the local adapter.
std::uint16_t stationRate(const Adapter& from, const Adapter& to) {
  for (const LinkRate& l : from.links)
    if (l.peer == to.mac) return l.toPeer;
  for (const LinkRate& l : to.links)
    if (l.peer == from.mac && l.fromPeer) return *l.fromPeer;
  return std::min(from.txRate, to.txRate);
}

// A station's own view: the local adapter (its rates are the station's `rate` seen from the
// other end) and every other listed station. It answers in the layout the request came in.
void stationNetworkInfo(Network& net, const Adapter& self, const wire::Request& r,
                        std::vector<Answer>& out) {
  const Adapter& local = net.scenario().local;
  std::vector<Listed> list{{&local, self.rxRate, self.txRate}};
  for (const Adapter* s : listedStations(net))
    if (s != &self) list.push_back({s, stationRate(self, *s), stationRate(*s, self)});
  const bool v1 = r.mmv == 1;
  auto f = networkInfo(v1 ? kInfoV1 : kInfoV0, self, local, list, r.source);
  out.push_back(
      Answer{std::move(f), net.relayedLatencyOf(self), wire::ouiOffset(v1 ? 1 : 0), std::nullopt});
}

// The local adapter's layout follows its generation, whatever version the request came in.
void onNetworkInfo(Network& net, const wire::Request& r, std::vector<Answer>& out) {
  Adapter* a = avAdapterAt(net, r.destination);
  if (a == nullptr) return;
  if (!net.isLocal(*a)) {
    if (a->answersNetworkInfo) stationNetworkInfo(net, *a, r, out);
    return;
  }
  std::vector<Listed> stations;
  for (const Adapter* s : listedStations(net)) stations.push_back({s, s->txRate, s->rxRate});
  const bool v1 = isSecondGeneration(a->chipId);
  auto f = networkInfo(v1 ? kInfoV1 : kInfoV0, *a, *a, stations, r.source);
  out.push_back(Answer{std::move(f), net.latencyOf(*a), wire::ouiOffset(v1 ? 1 : 0), std::nullopt});
}

Answer setKeyAnswer(const Adapter& from, const MacAddress& to, std::uint8_t status,
                    std::uint32_t latencyUs) {
  auto f = wire::avFrame(to, from.mac, 0, kSetKeyRequest + 1, 1);
  writeU8(f, kSetKeyStatus, status);
  return Answer{std::move(f), latencyUs, wire::kOuiOffsetV0, std::nullopt};
}

// Selector 0x0F: the local adapter takes the key itself. A refused setting keeps the old key.
void setLocalKey(Network& net, Adapter& local, const wire::Request& r, std::vector<Answer>& out) {
  const std::uint8_t status = net.statusFor(kSetKeyRequest + 1);
  if (status == 0)
    std::copy_n(r.frame.begin() + kSetKeyNetworkKey, local.networkKey.size(),
                local.networkKey.begin());
  out.push_back(setKeyAnswer(local, r.source, status, net.latencyOf(local)));
}

// Selector 0: the local adapter passes the key on, sealed with the access key; only a station
// whose device password derives that access key can open it. It joins and answers from its
// own address. A target of broadcast or zero reaches every station that opens it.
void setRemoteKey(Network& net, const wire::Request& r, std::vector<Answer>& out) {
  const MacAddress target = readMac(r.frame, kSetKeyTarget);
  const bool search = target == kBroadcastMac || isZeroMac(target);
  crypto::Key accessKey{};
  std::copy_n(r.frame.begin() + kSetKeyAccessKey, accessKey.size(), accessKey.begin());
  for (auto& station : net.scenario().remotes) {
    if (!station.present || isHp1Family(station)) continue;
    if (!search && station.mac != target) continue;
    if (crypto::deriveDAK(station.devicePassword) != accessKey) continue;
    const std::uint8_t status = net.statusFor(kSetKeyRequest + 1);
    if (status == 0)
      std::copy_n(r.frame.begin() + kSetKeyNetworkKey, station.networkKey.size(),
                  station.networkKey.begin());
    out.push_back(setKeyAnswer(station, r.source, status, kRemoteJoinUs + net.latencyOf(station)));
    if (!search) return;
  }
}

void onSetKey(Network& net, const wire::Request& r, std::vector<Answer>& out) {
  Adapter* a = avAdapterAt(net, r.destination);
  if (a == nullptr || !net.isLocal(*a) || r.mmv != 0 || r.frame.size() < kSetKeyRequestLength)
    return;
  const std::uint8_t selector = readU8(r.frame, kSetKeySelector);
  if (selector == kSelectorLocal) setLocalKey(net, *a, r, out);
  if (selector == kSelectorRemote) setRemoteKey(net, r, out);
}

}  // namespace

void registerFamily_av_basic(HandlerTable& table) {
  table.add(wire::kEtherTypeAv, kVersionRequest, onVersion);
  table.add(wire::kEtherTypeAv, kNetworkInfoRequest, onNetworkInfo);
  table.add(wire::kEtherTypeAv, kSetKeyRequest, onSetKey);
}

}  // namespace quorrel::sim
