// Set All Devices on 10 devices that all answer, and on 10 of which 2 never answer, over a veth
// pair with adapter-sim. Printed: the time taken against the floor its fixed waits and the
// answers set (one remote key exchange measured in the same run), as a ratio; and the longest
// time between two sleeps, each of which lets the desktop program repaint its window.
#include <cstdio>
#include <string>

#include "api/device_table.h"
#include "crypto/keys.h"
#include "e2e/netns.h"
#include "hpapi/key_exchange.h"
#include "hpapi/membership.h"
#include "persistence/known_devices.h"
#include "platform/clock.h"
#include "rawfloor.h"
#include "scan/scan.h"
#include "transport/interface_table.h"
#include "ui/hputilities/network_setting.h"

using namespace quorrel;

namespace {

// The steady clock, noting the longest stretch between two sleeps.
class GapClock final : public platform::Clock {
 public:
  std::uint32_t tickCount() override { return steady_.tickCount(); }
  std::uint64_t microseconds() override { return steady_.microseconds(); }
  void sleepMs(std::uint32_t ms) override {
    const std::uint64_t now = steady_.microseconds();
    if (last_ != 0 && now - last_ > longest) longest = now - last_;
    steady_.sleepMs(ms);
    last_ = steady_.microseconds();
  }
  std::uint64_t longest = 0;

 private:
  platform::SteadyClock steady_;
  std::uint64_t last_ = 0;
};

std::string scenario(int silent) {
  std::string s =
      "[local]\nmac 00:B0:52:10:00:01\nchip 2\nnetwork_key 50D3E4933F855B7040784DF815AA8DB7\n";
  for (int i = 1; i <= 10; ++i) {
    char line[160];
    std::snprintf(line, sizeof line,
                  "[remote]\nmac 00:B0:52:30:00:%02X\nchip 2\ndevice_password Pass-%04d\n", i,
                  i <= 10 - silent ? i : 9000 + i);
    s += line;
  }
  return s;
}

bool run(int silent, e2e::NetnsPair& pair, const std::string& path, std::string& error) {
  e2e::SimProcess sim;
  if (!sim.start(pair, path, "", error) || !pair.enterHost(error)) return false;
  GapClock clock;
  platform::setClock(&clock);
  transport::EnumerateInterfaces();
  if (!scan::StartScan(30, 3, false)) {
    error = "no local adapter";
    return false;
  }
  scan::StopScan();
  transport::OpenInterface(0);
  transport::setCurrentInterface(0);
  scan::SuspendAutoscan(false);
  persistence::resetKnownDevices();
  for (int i = 1; i <= 10; ++i) {
    const MacAddress mac{0x00, 0xB0, 0x52, 0x30, 0x00, static_cast<std::uint8_t>(i)};
    char password[16];
    std::snprintf(password, sizeof password, "Pass-%04d", i);
    persistence::knownAt(persistence::appendKnownDevice(mac, "d"))->password = password;
  }
  // Floor: one answered remote key exchange, measured here.
  const MacAddress first{0x00, 0xB0, 0x52, 0x30, 0x00, 0x01};
  MacAddress target = first;
  const crypto::Key nk = api::currentDevices().localNetworkKey;
  std::uint64_t t0 = clock.microseconds();
  hpapi::setRemoteKey(scan::receivePath(), crypto::deriveDAK("Pass-0001"), nk, target, false,
                      false);
  const double exchangeMs = static_cast<double>(clock.microseconds() - t0) / 1000.0;
  const int answering = 10 - silent;
  const double floorMs = 4000.0 + answering * exchangeMs + silent * 5 * (3700.0 + 200 + 1000);
  clock.longest = 0;
  t0 = clock.microseconds();
  api::currentDevices().localNetworkName = "Bench Net";
  const auto r = hputilities::setNetworkOnAllDevices(
      scan::receivePath(), platform::NoticeOwner::None, "Bench Net", nullptr);
  const double tookMs = static_cast<double>(clock.microseconds() - t0) / 1000.0;
  std::printf(
      "set all devices, %d answering, %d silent: %.0f ms, floor %.0f ms (one exchange %.1f ms),"
      " ratio %.3f; longest stretch without a sleep %.2f ms; %d of %d set\n",
      answering, silent, tookMs, floorMs, exchangeMs, tookMs / floorMs,
      static_cast<double>(clock.longest) / 1000.0, r.done, r.total);
  transport::resetInterfaceTable();
  platform::setClock(nullptr);
  return true;
}

}  // namespace

int main() {
  if (const auto why = e2e::netnsUnavailableReason(); !why.empty()) {
    std::printf("skipped: %s\n", why.c_str());
    return 0;
  }
  platform::setNotice(nullptr);
  for (int silent : {0, 2}) {
    std::string error;
    if (!bench::withScenarioPair(
            scenario(silent),
            [&](e2e::NetnsPair& pair, const std::string& path, std::string& e) {
              return run(silent, pair, path, e);
            },
            error)) {
      std::fprintf(stderr, "bench_set_all: %s\n", error.c_str());
      return 1;
    }
  }
  return 0;
}
