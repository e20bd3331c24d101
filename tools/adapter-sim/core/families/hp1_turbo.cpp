// HomePlug 1.0 and Turbo management entries (ethertype 0x887B): statistics, local parameters,
// network statistics, key setting and the key envelope, the Turbo vendor and private entries.
#include <algorithm>

#include "adapter-sim/core/family.h"
#include "crypto/keys.h"

namespace quorrel::sim {

namespace {

constexpr std::uint8_t kVendor = 0x02;
constexpr std::uint8_t kSetKey = 0x04;
constexpr std::uint8_t kKeyAnswer = 0x06;
constexpr std::uint8_t kStatisticsRequest = 0x07;
constexpr std::uint8_t kStatisticsReply = 0x08;
constexpr std::uint8_t kPrivateRequest = 0x12;
constexpr std::uint8_t kPrivateReply = 0x13;
constexpr std::uint8_t kKeyEnvelope = 0x14;
constexpr std::uint8_t kLocalParameters = 0x19;
constexpr std::uint8_t kNetworkStatistics = 0x1A;
constexpr std::uint8_t kMode = 0x1F;

constexpr std::size_t kCountAt = 14;
constexpr std::size_t kTypeAt = 15;
constexpr std::size_t kLengthAt = 16;
constexpr std::size_t kDataAt = 17;

// Vendor entries: OUI at 17, code at 20 (bit 7 set on replies).
constexpr std::uint8_t kVendorOui[3] = {0x00, 0x04, 0x87};
constexpr std::size_t kVendorCodeAt = 20;
constexpr std::uint8_t kReplyBit = 0x80;
constexpr std::uint8_t kIdentity = 0x10;
constexpr std::uint8_t kStatistics = 0x18;
constexpr std::size_t kIdentityFlagsAt = 21;
constexpr std::size_t kIdentityVersionAt = 23;  // kind, major, minor
constexpr std::size_t kIdentityTextsAt = 26;
constexpr std::uint8_t kIdentityKindNumbered = 2;
constexpr std::size_t kStatisticsEntriesAt = 21;
constexpr std::size_t kStatisticsEntrySize = 14;
constexpr std::size_t kMaxListed = 15;

constexpr std::uint8_t kFirmwareText = 0x20;
constexpr std::uint8_t kNetworkKeyText = 0x21;
constexpr std::size_t kPrivateTextAt = 18;
constexpr std::size_t kPrivateKeyAt = 19;

// Local parameters: request selector at 17; reply selector at 17, 50 bytes from 18.
constexpr std::uint8_t kParametersLength = 0x33;
constexpr std::size_t kParametersAt = 18;
constexpr std::size_t kParametersCount = 50;
constexpr std::uint8_t kSelectorRam = 0x10;
constexpr std::size_t kParamSelectorZeroKey = 6, kParamKeySelector = 14, kParamNetworkKey = 15,
                      kParamModes = 23;

// Network statistics: class at 17 (bit 7 marks the request), stations of 12 bytes from 24.
constexpr std::uint8_t kNetworkStatisticsLength = 0xBB;
constexpr std::uint8_t kRequestMark = 0x80;
constexpr std::size_t kStationsAt = 24;
constexpr std::size_t kStationSize = 12;
constexpr std::uint8_t kClassTurbo = 2;
constexpr std::uint8_t kClassHomePlug1 = 3;

// Set key: selector at 17, key at 18; a mode entry may follow at 26. The envelope carries the
// device key at 19 and a second block at 27 whose key entry has its key at 33.
constexpr std::size_t kSetKeySelectorAt = 17;
constexpr std::size_t kSetKeyKeyAt = 18;
constexpr std::size_t kSecondEntryAt = 26;
constexpr std::size_t kEnvelopeDeviceKeyAt = 19;
constexpr std::size_t kEnvelopeBlockAt = 27;
constexpr std::size_t kEnvelopeKeyAt = 33;
constexpr std::size_t kEnvelopeLength = 41;

Hp1Key keyAt(ByteSpan f, std::size_t at) {
  Hp1Key k{};
  for (std::size_t i = 0; i < k.size(); ++i) k[i] = readU8(f, at + i);
  return k;
}
Hp1Key networkKeyOf(const Adapter& a) {
  Hp1Key k{};
  std::copy_n(a.networkKey.begin(), k.size(), k.begin());
  return k;
}
void setNetworkKey(Adapter& a, const Hp1Key& k) {
  a.networkKey.fill(0);
  std::copy(k.begin(), k.end(), a.networkKey.begin());
}
Hp1Key deviceKeyOf(const Adapter& a) {
  const crypto::Key k = crypto::deriveNEK(a.devicePassword);
  Hp1Key out{};
  std::copy_n(k.begin(), out.size(), out.begin());
  return out;
}

Adapter* hp1Local(Network& net) {
  Adapter& l = net.scenario().local;
  return isHp1Family(l) ? &l : nullptr;
}
Adapter* hp1At(Network& net, const MacAddress& mac) {
  Adapter* a = net.adapterAt(mac);
  return a != nullptr && isHp1Family(*a) ? a : nullptr;
}
// The adapters a request reaches: all of the local network at broadcast, else the addressed.
std::vector<Adapter*> hearers(Network& net, const MacAddress& destination) {
  std::vector<Adapter*> out;
  if (destination != kBroadcastMac) {
    if (Adapter* a = hp1At(net, destination)) out.push_back(a);
    return out;
  }
  if (Adapter* l = hp1Local(net)) out.push_back(l);
  for (auto& r : net.scenario().remotes)
    if (isHp1Family(r) && net.inLocalNetwork(r)) out.push_back(&r);
  return out;
}
std::vector<const Adapter*> listed(Network& net, bool turboOnly) {
  std::vector<const Adapter*> out;
  for (const auto& r : net.scenario().remotes)
    if (isHp1Family(r) && net.inLocalNetwork(r) && out.size() < kMaxListed &&
        (!turboOnly || r.family == AdapterFamily::Turbo))
      out.push_back(&r);
  return out;
}

std::vector<std::uint8_t> entryFrame(const MacAddress& to, const MacAddress& from,
                                     std::uint8_t type, std::uint8_t length, std::size_t size) {
  auto f =
      wire::ethernetFrame(to, from, wire::kEtherTypeHp1, std::max(size, wire::kMinFrameLength));
  writeU8(f, kCountAt, 1);
  writeU8(f, kTypeAt, type);
  writeU8(f, kLengthAt, length);
  return f;
}
void answer(Network& net, const Adapter& from, std::vector<std::uint8_t> f,
            std::vector<Answer>& out) {
  out.push_back(Answer{std::move(f), net.latencyOf(from), std::nullopt, std::nullopt});
}
void keyAnswer(Network& net, const Adapter& from, const MacAddress& host,
               std::vector<Answer>& out) {
  answer(net, from, entryFrame(host, from.mac, kKeyAnswer, 0, 0), out);
}

void onStatistics(Network& net, const wire::Request& r, std::vector<Answer>& out) {
  for (Adapter* a : hearers(net, r.destination))
    answer(net, *a, entryFrame(r.source, a->mac, kStatisticsReply, 0, 0), out);
}

std::array<std::uint8_t, kParametersCount> parametersOf(const Adapter& a) {
  std::array<std::uint8_t, kParametersCount> p{};
  writeMac(p, 0, a.mac);
  writeBytes(p, kParamSelectorZeroKey, a.selectorZeroKey);
  p[kParamKeySelector] = a.keySelector;
  writeBytes(p, kParamNetworkKey, networkKeyOf(a));
  writeBytes(p, kParamModes, a.modeBytes);
  return p;
}

void onLocalParameters(Network& net, const wire::Request& r, std::vector<Answer>& out) {
  Adapter* l = hp1Local(net);
  if (l == nullptr || (r.destination != kBroadcastMac && hp1At(net, r.destination) != l)) return;
  auto f = entryFrame(r.source, l->mac, kLocalParameters, kParametersLength,
                      kParametersAt + kParametersCount);
  writeU8(f, kDataAt, readU8(r.frame, kDataAt) == kSelectorRam ? 2 : 1);
  writeBytes(f, kParametersAt, parametersOf(*l));
  answer(net, *l, std::move(f), out);
}

// The local adapter answers to the request's source, so a request sent from the adapter's own
// address comes back with destination equal to source.
void onNetworkStatistics(Network& net, const wire::Request& r, std::vector<Answer>& out) {
  Adapter* l = hp1Local(net);
  if (l == nullptr || (readU8(r.frame, kDataAt) & kRequestMark) == 0) return;
  auto f = entryFrame(r.source, l->mac, kNetworkStatistics, kNetworkStatisticsLength,
                      kDataAt + kNetworkStatisticsLength);
  writeU8(f, kDataAt, l->family == AdapterFamily::Turbo ? kClassTurbo : kClassHomePlug1);
  const auto stations = listed(net, false);
  for (std::size_t i = 0; i < stations.size(); ++i) {
    writeMac(f, kStationsAt + i * kStationSize, stations[i]->mac);
    writeBe16(f, kStationsAt + i * kStationSize + 6, stations[i]->txRate);
  }
  answer(net, *l, std::move(f), out);
}

void onSetKey(Network& net, const wire::Request& r, std::vector<Answer>& out) {
  Adapter* l = hp1Local(net);
  if (l == nullptr || r.frame.size() < kSecondEntryAt) return;
  const std::uint8_t selector = readU8(r.frame, kSetKeySelectorAt);
  const Hp1Key key = keyAt(r.frame, kSetKeyKeyAt);
  if (readU8(r.frame, kCountAt) >= 2 && readU8(r.frame, kSecondEntryAt) == kMode)
    for (std::size_t i = 0; i < l->modeBytes.size(); ++i)
      l->modeBytes[i] = readU8(r.frame, kSecondEntryAt + 2 + i);
  if (selector == 0) {
    // The key the local adapter uses to reach one remote; no device takes it as its own.
    l->selectorZeroKey = key;
    keyAnswer(net, *l, r.source, out);
    return;
  }
  if (r.destination == kBroadcastMac || hp1At(net, r.destination) == l) {
    setNetworkKey(*l, key);
    l->keySelector = selector;
    keyAnswer(net, *l, r.source, out);
    if (r.destination != kBroadcastMac) return;
    // A station found by its password: the selector 0 key opens it wherever it is.
    for (auto& remote : net.scenario().remotes)
      if (remote.present && isHp1Family(remote) && deviceKeyOf(remote) == l->selectorZeroKey) {
        setNetworkKey(remote, key);
        keyAnswer(net, remote, r.source, out);
      }
    return;
  }
  // Addressed to a remote: it arrives under the selector 0 key, which must be its own.
  for (auto& remote : net.scenario().remotes)
    if (remote.mac == r.destination && remote.present && isHp1Family(remote) &&
        deviceKeyOf(remote) == l->selectorZeroKey) {
      setNetworkKey(remote, key);
      keyAnswer(net, remote, r.source, out);
    }
}

// Every present remote whose device key opens the envelope takes the network key inside.
void onKeyEnvelope(Network& net, const wire::Request& r, std::vector<Answer>& out) {
  if (hp1Local(net) == nullptr || r.frame.size() < kEnvelopeLength ||
      readBe16(r.frame, kEnvelopeBlockAt) != wire::kEtherTypeHp1 ||
      readU8(r.frame, kEnvelopeBlockAt + 3) != kSetKey)
    return;
  const Hp1Key deviceKey = keyAt(r.frame, kEnvelopeDeviceKeyAt);
  const Hp1Key networkKey = keyAt(r.frame, kEnvelopeKeyAt);
  for (auto& remote : net.scenario().remotes)
    if (remote.present && isHp1Family(remote) && deviceKeyOf(remote) == deviceKey) {
      setNetworkKey(remote, networkKey);
      keyAnswer(net, remote, r.source, out);
    }
}

void onMode(Network& net, const wire::Request& r, std::vector<Answer>&) {
  if (Adapter* l = hp1Local(net))
    for (std::size_t i = 0; i < l->modeBytes.size(); ++i)
      l->modeBytes[i] = readU8(r.frame, kDataAt + i);
}

std::vector<std::uint8_t> identityReply(const Adapter& a, bool remote, const MacAddress& host) {
  const std::string& t1 = a.vendorText1;
  const std::string& t2 = a.vendorText2;
  const std::size_t end = kIdentityTextsAt + 2 + t1.size() + t2.size();
  auto f = entryFrame(host, a.mac, kVendor, static_cast<std::uint8_t>(end - kDataAt), end);
  writeBytes(f, kDataAt, kVendorOui);
  writeU8(f, kVendorCodeAt, kIdentity | kReplyBit);
  writeU8(f, kIdentityFlagsAt, remote ? 1 : 0);
  writeU8(f, kIdentityVersionAt, kIdentityKindNumbered);
  writeU8(f, kIdentityVersionAt + 1, a.versionMajor);
  writeU8(f, kIdentityVersionAt + 2, a.versionMinor);
  std::size_t at = kIdentityTextsAt;
  for (const std::string* t : {&t1, &t2}) {
    writeU8(f, at, static_cast<std::uint8_t>(t->size()));
    writeBytes(f, at + 1, ByteSpan(reinterpret_cast<const std::uint8_t*>(t->data()), t->size()));
    at += 1 + t->size();
  }
  return f;
}

std::vector<std::uint8_t> statisticsReply(Network& net, const Adapter& a, const MacAddress& host) {
  const auto stations = listed(net, false);
  const std::size_t end = kStatisticsEntriesAt + stations.size() * kStatisticsEntrySize;
  auto f = entryFrame(host, a.mac, kVendor, static_cast<std::uint8_t>(end - kDataAt), end);
  writeBytes(f, kDataAt, kVendorOui);
  writeU8(f, kVendorCodeAt, kStatistics | kReplyBit);
  for (std::size_t i = 0; i < stations.size(); ++i) {
    writeMac(f, kStatisticsEntriesAt + i * kStatisticsEntrySize, stations[i]->mac);
    writeBe16(f, kStatisticsEntriesAt + i * kStatisticsEntrySize + 6, stations[i]->txRate);
  }
  return f;
}

void onVendor(Network& net, const wire::Request& r, std::vector<Answer>& out) {
  if (r.frame.size() <= kVendorCodeAt ||
      !std::equal(std::begin(kVendorOui), std::end(kVendorOui), r.frame.begin() + kDataAt))
    return;
  const std::uint8_t code = r.frame[kVendorCodeAt];
  for (Adapter* a : hearers(net, r.destination)) {
    if (a->family != AdapterFamily::Turbo) continue;
    if (code == kIdentity)
      answer(net, *a, identityReply(*a, !net.isLocal(*a), r.source), out);
    else if (code == kStatistics && net.isLocal(*a))
      answer(net, *a, statisticsReply(net, *a, r.source), out);
  }
}

void onPrivate(Network& net, const wire::Request& r, std::vector<Answer>& out) {
  Adapter* l = hp1Local(net);
  if (l == nullptr || l->family != AdapterFamily::Turbo || hp1At(net, r.destination) != l) return;
  const std::uint8_t subtype = readU8(r.frame, kDataAt);
  if (subtype == kFirmwareText) {
    const std::string& t = l->firmware;
    auto f = entryFrame(r.source, l->mac, kPrivateReply, static_cast<std::uint8_t>(t.size()),
                        kPrivateTextAt + t.size());
    writeU8(f, kDataAt, kFirmwareText);
    writeBytes(f, kPrivateTextAt,
               ByteSpan(reinterpret_cast<const std::uint8_t*>(t.data()), t.size()));
    answer(net, *l, std::move(f), out);
  } else if (subtype == kNetworkKeyText) {
    auto f = entryFrame(r.source, l->mac, kPrivateReply, 10, kPrivateKeyAt + kHp1KeyLength);
    writeU8(f, kDataAt, kNetworkKeyText);
    writeU8(f, kDataAt + 1, l->keySelector);
    writeBytes(f, kPrivateKeyAt, networkKeyOf(*l));
    answer(net, *l, std::move(f), out);
  }
}

}  // namespace

void registerFamily_hp1_turbo(HandlerTable& table) {
  table.add(wire::kEtherTypeHp1, kStatisticsRequest, onStatistics);
  table.add(wire::kEtherTypeHp1, kLocalParameters, onLocalParameters);
  table.add(wire::kEtherTypeHp1, kNetworkStatistics, onNetworkStatistics);
  table.add(wire::kEtherTypeHp1, kSetKey, onSetKey);
  table.add(wire::kEtherTypeHp1, kKeyEnvelope, onKeyEnvelope);
  table.add(wire::kEtherTypeHp1, kMode, onMode);
  table.add(wire::kEtherTypeHp1, kVendor, onVendor);
  table.add(wire::kEtherTypeHp1, kPrivateRequest, onPrivate);
}

}  // namespace quorrel::sim
