// Every remote adapter ever listed: its name, password, network and when it was last seen.
#include "persistence/known_devices.h"

#include <algorithm>
#include <ctime>

namespace quorrel::persistence {

namespace {
KnownDeviceTable table;

int inUse() {
  return std::clamp(table.knownCount, 0, kKnownCapacity);
}

template <typename Match>
int findFirst(Match match) {
  const int n = inUse();
  for (int i = 0; i < n; ++i)
    if (match(table.records[i])) return i + 1;
  return 0;
}

// Takes record `index` (1-based, valid) out and closes the gap.
void eraseRecord(int index) {
  const int n = inUse();
  auto first = table.records.begin() + (index - 1);
  std::move(first + 1, table.records.begin() + n, first);
  table.records[n - 1] = KnownDevice{};
  table.knownCount = n - 1;
}
}  // namespace

void encodeKnownDevice(const KnownDevice& in, std::span<std::uint8_t, kKnownDeviceSize> out) {
  using namespace known_image;
  const MutableByteSpan b(out);
  std::fill(b.begin(), b.end(), std::uint8_t{0});
  writeText(b, kName, kNameSize, in.name.view());
  writeMac(b, kMac, in.mac);
  writeText(b, kPassword, kPasswordSize, in.password.view());
  writeText(b, kNetworkName, kNetworkNameSize, in.networkName.view());
  writeBytes(b, kNetworkKey, ByteSpan(in.networkKey));
  writeBytes(b, kReserved, ByteSpan(in.reserved));
  writeLe64(b, kLastSeen, static_cast<std::uint64_t>(in.lastSeen));
}

void decodeKnownDevice(std::span<const std::uint8_t, kKnownDeviceSize> in, KnownDevice& out) {
  using namespace known_image;
  const ByteSpan b(in);
  out.name.assign(readText(b, kName, kNameSize));
  out.mac = readMac(b, kMac);
  out.password.assign(readText(b, kPassword, kPasswordSize));
  out.networkName.assign(readText(b, kNetworkName, kNetworkNameSize));
  for (std::size_t i = 0; i < kNetworkKeySize; ++i) out.networkKey[i] = b[kNetworkKey + i];
  for (std::size_t i = 0; i < kReservedSize; ++i) out.reserved[i] = b[kReserved + i];
  out.lastSeen = static_cast<std::int64_t>(readLe64(b, kLastSeen));
}

KnownDeviceTable& knownDevices() {
  return table;
}
void resetKnownDevices() {
  table = KnownDeviceTable{};
}

std::string knownNameOf(const MacAddress& mac) {
  const KnownDevice* r = knownAt(FindKnownByMac(mac));
  return r != nullptr ? r->name.str() : std::string();
}

KnownDevice* knownAt(int index) {
  return index >= 1 && index <= inUse() ? &table.records[index - 1] : nullptr;
}

int FindKnownByMac(const MacAddress& mac) {
  return findFirst([&](const KnownDevice& r) { return r.mac == mac; });
}

int FindKnownByMacText(std::string_view text) {
  return findFirst([&](const KnownDevice& r) { return formatMac(r.mac) == text; });
}

int FindKnownByName(std::string_view name) {
  return findFirst([&](const KnownDevice& r) { return r.name.view() == name; });
}

int FindKnownByKey(ByteSpan key, std::string_view mode, api::NetworkName* networkName) {
  if (mode != "AV" && mode != "Turbo") return 0;
  std::array<std::uint8_t, known_image::kNetworkKeySize> wanted{};
  std::copy_n(key.begin(), std::min(key.size(), wanted.size()), wanted.begin());
  int k = findFirst([&](const KnownDevice& r) { return r.networkKey == wanted; });
  if (k == 0)
    k = findFirst([&](const KnownDevice& r) {
      return std::equal(wanted.begin(), wanted.begin() + 8, r.networkKey.begin());
    });
  if (k != 0 && networkName != nullptr)
    networkName->assign(table.records[k - 1].networkName.view());
  return k;
}

std::string defaultDeviceName() {
  auto nameFor = [](int n) { return "Device " + std::to_string(n); };
  std::string name = nameFor(inUse() + 1);
  // At most knownCount names are taken, so a free number turns up within knownCount + 1 tries.
  for (int n = 1; FindKnownByName(name) != 0; ++n) name = nameFor(n);
  return name;
}

int appendKnownDevice(const MacAddress& mac, std::string_view name) {
  if (isZeroMac(mac)) return 0;
  if (inUse() >= kKnownCapacity) {
    // A password the user typed is never given up; of the others, the record seen longest
    // ago (the first of equals) makes room.
    const auto end = table.records.begin() + inUse();
    auto oldest = end;
    for (auto r = table.records.begin(); r != end; ++r)
      if (r->password.empty() && (oldest == end || r->lastSeen < oldest->lastSeen)) oldest = r;
    if (oldest == end) return 0;
    eraseRecord(static_cast<int>(oldest - table.records.begin()) + 1);
  }
  const int n = inUse();
  KnownDevice& r = table.records[n];
  r = KnownDevice{};
  r.mac = mac;
  r.name.assign(name);
  r.lastSeen = static_cast<std::int64_t>(std::time(nullptr));
  table.knownCount = n + 1;
  return n + 1;
}

int RemoveKnownDevice(int index) {
  const KnownDevice* r = knownAt(index);
  if (r == nullptr) return 0;
  const MacAddress mac = r->mac;
  api::RemoveRemote(mac);
  eraseRecord(index);
  return 1;
}

int RemoveKnownByMac(const MacAddress& mac) {
  api::RemoveRemote(mac);
  const int k = FindKnownByMac(mac);
  if (k == 0) return 0;
  eraseRecord(k);
  return 1;
}

int PurgeUnaddressedKnown() {
  const int n = inUse();
  const auto end = std::stable_partition(table.records.begin(), table.records.begin() + n,
                                         [](const KnownDevice& r) { return !isZeroMac(r.mac); });
  const int kept = static_cast<int>(end - table.records.begin());
  std::fill(end, table.records.end(), KnownDevice{});
  table.knownCount = kept;
  return n - kept;
}

void stripPasswordPrefix(KnownDevice& record) {
  const std::string_view p = record.password.view();
  for (const std::string_view prefix : {kUncheckedPrefix, kRejectedPrefix}) {
    if (p.substr(0, prefix.size()) == prefix) {
      record.password.assign(std::string(p.substr(prefix.size())));
      return;
    }
  }
}

}  // namespace quorrel::persistence
