// The installed services and the defaults used until something else is installed.
#include "scan/scan_services.h"

#include "api/local_network_key.h"
#include "brantleapi/brantleapi.h"
#include "persistence/known_devices.h"

namespace quorrel::scan {

namespace {

// The vendor layer of HomePlug 1.0 and Turbo devices.
class BrantleTurboOperations final : public TurboOperations {
 public:
  bool detectTurboDevice() override { return brantleapi::detectTurboDevice(); }
  int requestTurboPrivate(std::uint8_t subtype) override {
    return brantleapi::requestTurboPrivate(subtype);
  }
  bool collectTurboReplies() override { return brantleapi::collectTurboReplies(nullptr); }
  bool requestTurboIdentity() override { return brantleapi::requestTurboIdentity(); }
  bool requestTurboStatistics(const MacAddress& destination) override {
    return brantleapi::requestTurboStatistics(destination);
  }
  bool pollTurboReplies() override { return brantleapi::pollTurboReplies(nullptr); }
};

// The known devices of the device data file.
class PersistentKnownDevices final : public KnownDeviceStore {
 public:
  int findByMac(const MacAddress& mac) override { return persistence::FindKnownByMac(mac); }
  int appendWithDefaultName(const MacAddress& mac) override {
    return persistence::AppendKnownDevice(mac, persistence::DefaultDeviceName());
  }
  int findByKey(ByteSpan key, std::string_view mode, api::NetworkName* name) override {
    return persistence::FindKnownByKey(key, mode, name);
  }
  api::NetworkName networkName(int index) override {
    const persistence::KnownDevice* r = persistence::KnownAt(index);
    return r != nullptr ? api::NetworkName(r->networkName.view()) : api::NetworkName{};
  }
  void setNetworkName(int index, std::string_view name) override {
    if (persistence::KnownDevice* r = persistence::KnownAt(index)) r->networkName = name;
  }
  api::NetworkKey networkKey(int index) override {
    const persistence::KnownDevice* r = persistence::KnownAt(index);
    return r != nullptr ? r->networkKey : api::NetworkKey{};
  }
  void setNetworkKey(int index, const api::NetworkKey& key) override {
    if (persistence::KnownDevice* r = persistence::KnownAt(index)) r->networkKey = key;
  }
};

int readParameterBlockKey(const MacAddress& localDevice, api::NetworkKey& key) {
  return api::ReadLocalNetworkKey(localDevice, key);
}

ScanListener defaultListener;
PersistentKnownDevices defaultKnown;
BrantleTurboOperations defaultTurbo;

ScanListener* listener = nullptr;
KnownDeviceStore* known = nullptr;
TurboOperations* turbo = nullptr;
LocalKeyReader keyReader = nullptr;

}  // namespace

void ScanListener::ResetRemoteList() {
  api::ClearRemotes();
}

void setScanListener(ScanListener* l) {
  listener = l;
}
void setKnownDeviceStore(KnownDeviceStore* s) {
  known = s;
}
void setTurboOperations(TurboOperations* o) {
  turbo = o;
}
void setLocalKeyReader(LocalKeyReader r) {
  keyReader = r;
}

ScanListener& scanListener() {
  return listener != nullptr ? *listener : defaultListener;
}
KnownDeviceStore& knownDeviceStore() {
  return known != nullptr ? *known : defaultKnown;
}
TurboOperations& turboOperations() {
  return turbo != nullptr ? *turbo : defaultTurbo;
}
LocalKeyReader localKeyReader() {
  return keyReader != nullptr ? keyReader : &readParameterBlockKey;
}

}  // namespace quorrel::scan
