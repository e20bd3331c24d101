// What the desktop program's scan keeps at the end of a cycle: the scanned interface's rates.
#include <gtest/gtest.h>

#include "api/device_table.h"
#include "history/rate_history.h"
#include "persistence/locations.h"
#include "scan/scan_services.h"
#include "support/scratch_dir.h"
#include "transport/interface_table.h"
#include "ui/scanlink/core_scan.h"

namespace quorrel {
namespace {

void listOne(int interface, std::uint8_t id, double mbps) {
  api::InterfaceDevices& d = api::interfaceDevices(interface);
  d.localPresent = true;
  d.localMac = {0x00, 0xB0, 0x52, 0x10, 0x00, id};
  d.remotes[0].inUse = true;
  d.remotes[0].mac = {0x00, 0xB0, 0x52, 0x20, 0x00, id};
  d.remotes[0].rateStats.currentRate = mbps;
}

// Only the current interface was scanned this cycle; another interface's entries still hold
// the rate of its last scan, which must not come back as a new sample every cycle.
TEST(ScanLinkHistory, OnlyTheScannedInterfaceIsRecorded) {
  testing::ScratchDir dir;
  persistence::setDataDirectory(dir.path());
  api::ResetDeviceTable();
  listOne(0, 1, 40);
  listOne(1, 2, 200);
  transport::interfaceTable().interfaceCount = 2;
  transport::setCurrentInterface(1);

  dynamic_cast<scan::ScanListener&>(ui::coreScan()).remotesAgeing();

  const history::RateHistory* h = ui::coreScan().rateHistory();
  ASSERT_NE(h, nullptr);
  const auto samples = h->samples(std::nullopt, 0);
  ASSERT_EQ(samples.size(), 1u);
  EXPECT_EQ(samples[0].device, api::interfaceDevices(1).remotes[0].mac);
  EXPECT_EQ(samples[0].viewer, api::interfaceDevices(1).localMac);
}

}  // namespace
}  // namespace quorrel
