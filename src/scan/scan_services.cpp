// The installed services and the defaults used until something else is installed.
#include "scan/scan_services.h"

#include "api/local_network_key.h"
#include "brantleapi/brantleapi.h"
#include "persistence/known_devices.h"
#include "scan/hp1_scan.h"
#include "scan/scan.h"

namespace quorrel::scan {

namespace {

// The vendor layer of HomePlug 1.0 and Turbo devices.
class BrantleTurboOperations final : public TurboOperations {
 public:
  bool detectTurboDevice() override {
    return brantleapi::detectTurboDevice(receivePath(), &handleTickFrame);
  }
  int requestTurboPrivate(std::uint8_t subtype) override {
    return brantleapi::requestTurboPrivate(subtype);
  }
  bool collectTurboReplies() override {
    return brantleapi::collectTurboReplies(receivePath(), nullptr, &handleTickFrame);
  }
  bool requestTurboIdentity() override { return brantleapi::requestTurboIdentity(); }
  bool requestTurboStatistics(const MacAddress& destination) override {
    return brantleapi::requestTurboStatistics(receivePath(), destination, &handleTickFrame);
  }
  bool pollTurboReplies() override {
    return brantleapi::pollTurboReplies(receivePath(), nullptr, &handleTickFrame);
  }
};

// The known devices of the device data file.
class PersistentKnownDevices final : public KnownDeviceStore {
 public:
  int findByMac(const MacAddress& mac) override { return persistence::FindKnownByMac(mac); }
  int appendWithDefaultName(const MacAddress& mac) override {
    return persistence::appendKnownDevice(mac, persistence::defaultDeviceName());
  }
  int findByKey(ByteSpan key, std::string_view mode, api::NetworkName* name) override {
    return persistence::FindKnownByKey(key, mode, name);
  }
  api::NetworkName networkName(int index) override {
    const persistence::KnownDevice* r = persistence::knownAt(index);
    return r != nullptr ? api::NetworkName(r->networkName.view()) : api::NetworkName{};
  }
  void setNetworkName(int index, std::string_view name) override {
    if (persistence::KnownDevice* r = persistence::knownAt(index)) r->networkName = name;
  }
  api::NetworkKey networkKey(int index) override {
    const persistence::KnownDevice* r = persistence::knownAt(index);
    return r != nullptr ? r->networkKey : api::NetworkKey{};
  }
  void setNetworkKey(int index, const api::NetworkKey& key) override {
    if (persistence::KnownDevice* r = persistence::knownAt(index)) r->networkKey = key;
  }
};

int readParameterBlockKey(const MacAddress& localDevice, api::NetworkKey& key) {
  return api::ReadLocalNetworkKey(receivePath(), localDevice, key);
}

// The defaults and what is installed in their place.
struct Services {
  PersistentKnownDevices defaultKnown;
  BrantleTurboOperations defaultTurbo;
  KnownDeviceStore* known = nullptr;
  TurboOperations* turbo = nullptr;
  LocalKeyReader keyReader = nullptr;
};
Services services;

}  // namespace

void setKnownDeviceStore(KnownDeviceStore* s) {
  services.known = s;
}
void setTurboOperations(TurboOperations* o) {
  services.turbo = o;
}
void setLocalKeyReader(LocalKeyReader r) {
  services.keyReader = r;
}

KnownDeviceStore& knownDeviceStore() {
  return services.known != nullptr ? *services.known : services.defaultKnown;
}
TurboOperations& turboOperations() {
  return services.turbo != nullptr ? *services.turbo : services.defaultTurbo;
}
LocalKeyReader localKeyReader() {
  return services.keyReader != nullptr ? services.keyReader : &readParameterBlockKey;
}

}  // namespace quorrel::scan
