// Frames of any shape through the scan's receive path, its bookkeeping and its HomePlug 1.0
// handler, and the parameter fetch a reply may ask for. The input is a
// run of frames, each a length byte and that many bytes, all arriving on one interface.
#include <cstddef>
#include <cstdint>

#include "api/device_table.h"
#include "platform/clock.h"
#include "scan/hp1_scan.h"
#include "scan/scan.h"
#include "support/fake_backend.h"
#include "thpapi/exchange.h"
#include "transport/interface_table.h"

using namespace quorrel;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static platform::VirtualClock clock;
  static testing::FakeBackend backend;
  platform::setClock(&clock);
  transport::setBackend(&backend);
  backend.interfaces = {{"fuzz0", MacAddress{0x02, 0, 0, 0, 0, 0x10}}};
  backend.ports[0] = {};
  transport::resetInterfaceTable();
  api::resetDeviceTable();
  scan::resetScan();
  transport::EnumerateInterfaces();
  transport::OpenInterface(0);
  // A few entries in use, so rate updates have something to update.
  for (int i = 0; i < 3; ++i) {
    api::RemoteDevice& r = api::currentDevices().remotes[static_cast<std::size_t>(i)];
    r.inUse = true;
    r.mac = MacAddress{0x00, 0xB0, 0x52, 0x50, 0x00, static_cast<std::uint8_t>(2 + i)};
    r.deviceClass = i == 1 ? api::DeviceClass::Turbo : api::DeviceClass::Usb;
  }
  for (std::size_t at = 0; at < size;) {
    const std::size_t n = std::min<std::size_t>(data[at], size - at - 1);
    backend.ports[0].incoming.emplace_back(data + at + 1, data + at + 1 + n);
    at += 1 + n;
  }
  transport::Frame frame;
  for (int polls = 0; polls < 64; ++polls) {
    if (!scan::receivePath().next(frame)) break;
    scan::HandleHp1Frame(frame);
  }
  scan::fetchWantedParameters();
  transport::resetInterfaceTable();
  return 0;
}
