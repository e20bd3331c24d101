// What the scan needs from the layers around it, each behind a small interface: the pages it
// tells to redraw, the known devices it names networks from, the Turbo vendor operations and
// the local network key read. The program installs the real ones; tests install fakes.
#pragma once

#include <cstdint>
#include <string_view>

#include "api/device_table.h"
#include "platform/bytes.h"

namespace quorrel::scan {

// The pages, or whoever shows the device table.
class ScanListener {
 public:
  virtual ~ScanListener() = default;
  // The device lists should be redrawn from the device table; `phase` is the scan phase (1 at
  // the start of a cycle, 7 at its end, the current one after a rate update).
  virtual void RefreshDeviceLists(int phase) { (void)phase; }
  virtual void enableUpgradeButton(bool enable) { (void)enable; }
  // The scan timer started with `periodMs`, or stopped (`running` false). Whoever drives the
  // scan calls ScanTick at that period.
  virtual void scanTimerChanged(bool running, std::uint32_t periodMs) {
    (void)running;
    (void)periodMs;
  }
  // A parameter reply whose bytes repeat, for the parameter log (kind 1: working copy).
  virtual void logParameters(int kind, ByteSpan parameters) {
    (void)kind;
    (void)parameters;
  }
  // The ageing step is about to age the remote entries (the pages write the scan log here).
  virtual void remotesAgeing() {}
  // Clears the remote list before a restarted scan; the pages also purge and save here.
  virtual void ResetRemoteList();
};

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

// nullptr restores the default of each: a listener that only clears the remote entries on a
// reset, the known devices of the device data file, the vendor layer's Turbo operations, and
// the read of the local device's parameter block.
void setScanListener(ScanListener* listener);
void setKnownDeviceStore(KnownDeviceStore* store);
void setTurboOperations(TurboOperations* operations);
void setLocalKeyReader(LocalKeyReader reader);

ScanListener& scanListener();
KnownDeviceStore& knownDeviceStore();
TurboOperations& turboOperations();
LocalKeyReader localKeyReader();

}  // namespace quorrel::scan
