// What the scan needs from the layers below it, each behind a small interface: the known
// devices it names networks from, the Turbo vendor operations and the local network key read.
// The program uses the defaults; tests install fakes. What the scan changes goes up as a
// report (scan/scan_report.h), never through a call.
#pragma once

#include <cstdint>
#include <string_view>

#include "api/device_table.h"
#include "platform/bytes.h"

namespace quorrel::scan {

// The known-device table (names, networks) as the scan uses it. Indexes are 1-based.
class KnownDeviceStore {
 public:
  virtual ~KnownDeviceStore() = default;
  virtual int findByMac(const MacAddress& mac) = 0;
  // Appends a record for `mac` named "Device N" by the default-name rule; its index, or 0
  // when no record can be added.
  virtual int appendWithDefaultName(const MacAddress& mac) = 0;
  // `mode` "AV" or "Turbo": the first record whose key equals `key` (all 16 bytes, else the
  // first 8); its network name goes to `name`. 0 when none.
  virtual int findByKey(ByteSpan key, std::string_view mode, api::NetworkName* name) = 0;
  virtual api::NetworkName networkName(int index) = 0;
  virtual void setNetworkName(int index, std::string_view name) = 0;
  virtual api::NetworkKey networkKey(int index) = 0;
  virtual void setNetworkKey(int index, const api::NetworkKey& key) = 0;
};

// The Turbo vendor operations the scan calls (HomePlug 1.0 and Turbo frames).
class TurboOperations {
 public:
  virtual ~TurboOperations() = default;
  virtual bool detectTurboDevice() = 0;
  virtual int requestTurboPrivate(std::uint8_t subtype) = 0;
  virtual bool collectTurboReplies() = 0;
  virtual bool requestTurboIdentity() = 0;
  virtual bool requestTurboStatistics(const MacAddress& destination) = 0;
  // Takes the waiting frames, handing HomePlug 1.0 ones it does not handle to the scan.
  virtual bool pollTurboReplies() = 0;
};

// Reads the local device's network membership key: 1 with `key` filled, -1 on failure.
using LocalKeyReader = int (*)(const MacAddress& localDevice, api::NetworkKey& key);

// nullptr restores the default of each: the known devices of the device data file, the vendor
// layer's Turbo operations, and the read of the local device's parameter block.
void setKnownDeviceStore(KnownDeviceStore* store);
void setTurboOperations(TurboOperations* operations);
void setLocalKeyReader(LocalKeyReader reader);

KnownDeviceStore& knownDeviceStore();
TurboOperations& turboOperations();
LocalKeyReader localKeyReader();

}  // namespace quorrel::scan
