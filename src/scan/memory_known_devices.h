// A known-device table held in memory: the scan's default, and what tests and tools use when
// no device data file is involved.
#pragma once

#include <string>
#include <vector>

#include "scan/scan_services.h"

namespace quorrel::scan {

// The name the default-name rule gives: "Device N", N from knownCount + 1, else the lowest
// free number from 1. Empty when every number up to `capacity` + 1 is taken.
std::string defaultDeviceName(int knownCount, int capacity,
                              bool (*taken)(const void* context, std::string_view name),
                              const void* context);

class MemoryKnownDevices final : public KnownDeviceStore {
 public:
  struct Record {
    std::string name;
    MacAddress mac{};
    api::NetworkName networkName;
    api::NetworkKey networkKey{};
  };

  explicit MemoryKnownDevices(int capacity = 100) : capacity_(capacity) {}

  int findByMac(const MacAddress& mac) override;
  int appendWithDefaultName(const MacAddress& mac) override;
  int findByKey(ByteSpan key, std::string_view mode, api::NetworkName* name) override;
  api::NetworkName networkName(int index) override;
  void setNetworkName(int index, std::string_view name) override;
  api::NetworkKey networkKey(int index) override;
  void setNetworkKey(int index, const api::NetworkKey& key) override;

  int findByName(std::string_view name) const;
  // Appends a record as it stands; its index, 0 when the table is full or the MAC is zero.
  int append(Record record);
  Record* at(int index);

  std::vector<Record> records;

 private:
  int capacity_;
};

}  // namespace quorrel::scan
