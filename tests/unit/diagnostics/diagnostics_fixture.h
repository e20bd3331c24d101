// A device table with a local adapter of each family and remote devices with and without
// passwords, a fixed computer and the UTC time zone, for the report and the pages.
#pragma once

#include <ctime>
#include <fstream>
#include <sstream>

#include "brantleapi/turbo_state.h"
#include "diagnostics/host_info.h"
#include "support/desktop_fixture.h"

namespace quorrel::diagnostics::testing {

inline constexpr std::time_t kReportTime = 1796616655;  // Mon Dec  7 04:10:55 2026 UTC

inline MacAddress at(std::uint8_t first, std::uint8_t last) {
  return {first, 0x11, 0x22, 0x00, 0x00, last};
}
inline HostInfo benchHost() {
  return {"bench-pc", "tester", 8664, "Linux", 6, 1, 0};
}

struct Scenario {
  Scenario() {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    brantleapi::resetTurboState();
    persistence::vendorTable() = persistence::decodeVendorList("021122\tAcme_Labs\n");
    transport::interfaceTable().interfaceCount = 5;
    const api::DeviceClass classes[] = {api::DeviceClass::AvSecondGeneration,
                                        api::DeviceClass::Turbo, api::DeviceClass::HomePlug1};
    for (std::uint8_t i = 0; i < 4; ++i) {
      api::InterfaceDevices& d = api::interfaceDevices(i);
      d.interfaceMac = at(0x0A, i);
      if (i == 3) continue;  // an interface without an adapter; the fifth has no address
      d.localPresent = true;
      d.localClass = classes[i];
      d.localMac = at(0x00, static_cast<std::uint8_t>(0x10 + i));
      d.localNetworkName = i == 0 ? "HomePlugAV" : "Private\tnet";
      d.rateStats = {2, 1, 100, 80, 150, false};
    }
    api::interfaceDevices(0).localFirmware = "AV-3.3.6-12";
    api::interfaceState(0).framesRead = 12;
    api::interfaceState(0).bytesRead = 5000;
    brantleapi::TurboState& t = brantleapi::turboState();
    t.localTurboVersion = "1.7.2";
    t.localTurboFirmware = "T1 2008";
    t.localTurboVendorText1 = "Acme";
    t.localTurboVendorText2 = "PowerLink";
    // Named with a password at 12:30; unnamed at 00:05; a tab in the name at 15:45; one never
    // named; the local device itself.
    remote(0, at(0x02, 1), api::DeviceClass::AvFirstGeneration, 5.9, "Kitchen",
           "ABCD-EFGH-IJKL-MNOP", 1287664200);
    remote(1, at(0x00, 2), api::DeviceClass::Turbo, 0, "Device 2", "", 1287705900);
    remote(2, at(0x00, 3), api::DeviceClass::HomePlug1, 14, "Bad\tName", "", 1283528709);
    remote(3, at(0x00, 4), api::DeviceClass::AvFirstGeneration, 50, nullptr, "", 0);
    remote(4, at(0x00, 0x10), api::DeviceClass::AvFirstGeneration, 50, "Local", "", 0);
    api::RemoteDevice& av = api::interfaceDevices(0).remotes[0];
    av.firmware = "AV-3.1";
    av.timesSeen = 7;
    av.rateStats.highestRate = 99;
    api::RemoteDevice& turbo = api::interfaceDevices(0).remotes[1];
    turbo.vendorText1 = "Acme";
    turbo.vendorText2 = "Turbo\nX";
    turbo.firmware = "1.7";
  }
  static void remote(int slot, const MacAddress& mac, api::DeviceClass c, double rate,
                     const char* name, const char* password, std::int64_t lastSeen) {
    api::RemoteDevice& e = api::interfaceDevices(0).remotes[static_cast<std::size_t>(slot)];
    e.inUse = true;
    e.mac = mac;
    e.deviceClass = c;
    e.rateStats.currentRate = rate;
    if (name == nullptr) return;
    persistence::KnownDevice* k = persistence::knownAt(persistence::appendKnownDevice(mac, name));
    k->password = password;
    k->networkName = "HomePlugAV";
    k->lastSeen = lastSeen;
  }
  ui::testing::DesktopState state;
};

inline std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

inline std::string fileText(const std::string& path) {
  std::stringstream s;
  s << std::ifstream(path, std::ios::binary).rdbuf();
  return s.str();
}

}  // namespace quorrel::diagnostics::testing
