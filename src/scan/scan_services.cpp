// The installed services and the defaults used until something else is installed.
#include "scan/scan_services.h"

#include <array>

#include "platform/clock.h"
#include "scan/hp1_intake.h"
#include "scan/memory_known_devices.h"
#include "thpapi/exchange.h"
#include "transport/interface_table.h"

namespace quorrel::scan {

namespace {

// Without the vendor layer there is no Turbo device to find, but the scan still needs its
// HomePlug 1.0 frames handled at every tick.
class NoTurboOperations final : public TurboOperations {
 public:
  bool detectTurboDevice() override { return false; }
  int requestTurboPrivate(std::uint8_t) override { return 1; }
  bool collectTurboReplies() override { return pollTurboReplies(); }
  bool requestTurboIdentity() override { return true; }
  bool requestTurboStatistics(const MacAddress&) override { return true; }
  bool pollTurboReplies() override {
    constexpr int kMaxFrames = 64;
    std::array<std::uint8_t, transport::kMaxFrameLength> frame{};
    bool handled = false;
    for (int taken = 0; taken < kMaxFrames; ++taken) {
      std::size_t length = 0;
      if (thpapi::PollManagementFrame(frame, length) != 1) break;
      const ByteSpan bytes = ByteSpan(frame).first(length);
      if (readBe16(bytes, transport::kEtherTypeOffset) != hp1::kEtherType) return false;
      handled = HandleHp1Frame(bytes);
      platform::sleepMs(1);
    }
    return handled;
  }
};

int noKey(const MacAddress&, api::NetworkKey&) {
  return -1;
}

ScanListener defaultListener;
MemoryKnownDevices defaultKnown;
NoTurboOperations defaultTurbo;

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
  return keyReader != nullptr ? keyReader : &noKey;
}

}  // namespace quorrel::scan
