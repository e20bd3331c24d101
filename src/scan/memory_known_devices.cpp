// The default-name rule and the in-memory known-device table.
#include "scan/memory_known_devices.h"

#include <algorithm>
#include <cstdio>

namespace quorrel::scan {

namespace {
std::string nameFor(int k) {
  char text[32];
  std::snprintf(text, sizeof text, "%s %hd", "Device", static_cast<short>(k));
  return text;
}
}  // namespace

std::string defaultDeviceName(int knownCount, int capacity,
                              bool (*taken)(const void* context, std::string_view name),
                              const void* context) {
  std::string name = nameFor(knownCount + 1);
  if (!taken(context, name)) return name;
  // At most capacity + 1 numbers can be tried before one must be free; the bound keeps a
  // full or odd table from looping.
  for (int k = 1; k <= capacity + 1; ++k) {
    name = nameFor(k);
    if (!taken(context, name)) return name;
  }
  return {};
}

MemoryKnownDevices::Record* MemoryKnownDevices::at(int index) {
  if (index < 1 || index > static_cast<int>(records.size())) return nullptr;
  return &records[static_cast<std::size_t>(index - 1)];
}

int MemoryKnownDevices::findByMac(const MacAddress& mac) {
  if (isZeroMac(mac)) return 0;
  for (std::size_t i = 0; i < records.size(); ++i)
    if (records[i].mac == mac) return static_cast<int>(i + 1);
  return 0;
}

int MemoryKnownDevices::findByName(std::string_view name) const {
  for (std::size_t i = 0; i < records.size(); ++i)
    if (records[i].name == name) return static_cast<int>(i + 1);
  return 0;
}

int MemoryKnownDevices::append(Record record) {
  if (isZeroMac(record.mac) || static_cast<int>(records.size()) >= capacity_) return 0;
  records.push_back(std::move(record));
  return static_cast<int>(records.size());
}

int MemoryKnownDevices::appendWithDefaultName(const MacAddress& mac) {
  const auto taken = [](const void* self, std::string_view name) {
    return static_cast<const MemoryKnownDevices*>(self)->findByName(name) != 0;
  };
  std::string name = defaultDeviceName(static_cast<int>(records.size()), capacity_, taken, this);
  if (name.empty()) return 0;
  return append(Record{std::move(name), mac, {}, {}});
}

int MemoryKnownDevices::findByKey(ByteSpan key, std::string_view mode, api::NetworkName* name) {
  if (mode != "AV" && mode != "Turbo") return 0;
  api::NetworkKey k{};
  std::copy_n(key.begin(), std::min(key.size(), k.size()), k.begin());
  auto found = std::find_if(records.begin(), records.end(),
                            [&](const Record& r) { return r.networkKey == k; });
  if (found == records.end())
    found = std::find_if(records.begin(), records.end(), [&](const Record& r) {
      return std::equal(k.begin(), k.begin() + 8, r.networkKey.begin());
    });
  if (found == records.end()) return 0;
  if (name != nullptr) *name = found->networkName;
  return static_cast<int>(found - records.begin() + 1);
}

api::NetworkName MemoryKnownDevices::networkName(int index) {
  const Record* r = at(index);
  return r != nullptr ? r->networkName : api::NetworkName{};
}

void MemoryKnownDevices::setNetworkName(int index, std::string_view name) {
  if (Record* r = at(index)) r->networkName = name;
}

api::NetworkKey MemoryKnownDevices::networkKey(int index) {
  const Record* r = at(index);
  return r != nullptr ? r->networkKey : api::NetworkKey{};
}

void MemoryKnownDevices::setNetworkKey(int index, const api::NetworkKey& key) {
  if (Record* r = at(index)) r->networkKey = key;
}

}  // namespace quorrel::scan
