// Every step of the scan's exchanges failed once in turn against the simulation: the Nth send
// fails, or the Nth frame received is dropped, damaged or late. After each run the local search
// has found the right device or none (never another device's address), the local key read has
// the adapter's key or leaves the old one, and the station list answers only with stations.
#include "api/local_network_key.h"
#include "scan_fixture.h"
#include "support/failure_injector.h"
#include "thpapi/decoder.h"
#include "thpapi/frame_layout.h"

namespace quorrel::scan::testing {
namespace {

using quorrel::testing::FailureInjector;
using quorrel::testing::Fault;

class ScanSweep : public ScanFixture {
 protected:
  // A fresh table and scan with the interfaces opened through `injector` (`open`: interface 0
  // opened and current, as the scan leaves it after a local search).
  void through(FailureInjector& injector, bool open = false) {
    transport::ResetInterfaceTable();
    api::ResetDeviceTable();
    brantleapi::ResetTurboState();
    ResetScan();
    transport::setBackend(&injector);
    if (!open) return;
    transport::EnumerateInterfaces();
    transport::OpenInterface(0);
    transport::setCurrentInterface(0);
  }
  template <typename Run, typename Check>
  void sweepAll(Run run, Check check) {
    for (const Fault fault : quorrel::testing::kEveryFault) {
      SCOPED_TRACE(quorrel::testing::faultName(fault));
      const std::uint32_t runs = quorrel::testing::sweep(backend, fault, &clock, run, check);
      EXPECT_GE(runs, 2u);
    }
  }
};

struct Family {
  const char* scenario;
  MacAddress local;
  api::DeviceClass cls;
};

const Family kFamilies[] = {
    {"[local]\nmac 00:B0:52:10:00:01\nchip 2\n"
     "[remote]\nmac 00:B0:52:20:00:02\nchip 2\nrate 100\n",
     MacAddress{0x00, 0xB0, 0x52, 0x10, 0x00, 0x01}, api::DeviceClass::AvFirstGeneration},
    {"[local]\nmac 00:04:87:10:00:01\nfamily turbo\n",
     MacAddress{0x00, 0x04, 0x87, 0x10, 0x00, 0x01}, api::DeviceClass::Turbo},
    {"[local]\nmac 00:04:87:30:00:01\nfamily hp1\n", MacAddress{0x00, 0x04, 0x87, 0x30, 0x00, 0x01},
     api::DeviceClass::HomePlug1},
};

class LocalSearchSweep : public ScanSweep, public ::testing::WithParamInterface<int> {};

TEST_P(LocalSearchSweep, FindsItsDeviceOrNone) {
  const Family& f = kFamilies[GetParam()];
  attach(f.scenario);
  bool found = false;
  sweepAll(
      [&](FailureInjector& injector) {
        through(injector);
        found = LocalSearch();
      },
      [&](std::uint32_t n, const FailureInjector& injector) {
        SCOPED_TRACE(n);
        const api::InterfaceState& st = api::interfaceState(0);
        if (found) {
          EXPECT_EQ(st.localMac, f.local);
          EXPECT_EQ(st.localClass, f.cls);
        } else {
          EXPECT_FALSE(api::interfaceDevices(0).localPresent);
        }
        EXPECT_TRUE(found || injector.triggered());
        EXPECT_LE(notices.shown.size(), 1u);
        notices.clear();
      });
}

INSTANTIATE_TEST_SUITE_P(AvTurboHomePlug1, LocalSearchSweep, ::testing::Values(0, 1, 2));

TEST_F(ScanSweep, LocalKeyReadHasTheAdaptersKeyOrKeepsTheOld) {
  attach(kAvLocal);
  const api::NetworkKey old{1, 2, 3};
  const api::NetworkKey adapters{0x50, 0xD3, 0xE4, 0x93, 0x3F, 0x85, 0x5B, 0x70,
                                 0x40, 0x78, 0x4D, 0xF8, 0x15, 0xAA, 0x8D, 0xB7};
  api::NetworkKey key{};
  int result = 0;
  sweepAll(
      [&](FailureInjector& injector) {
        through(injector, true);
        key = old;
        result = api::ReadLocalNetworkKey(receivePath(), kAvLocalMac, key);
      },
      [&](std::uint32_t n, const FailureInjector& injector) {
        SCOPED_TRACE(n);
        EXPECT_EQ(key, result == 1 ? adapters : old);
        EXPECT_TRUE(result == 1 || injector.triggered());
      });
}

TEST_F(ScanSweep, StationListAnswersWithTheStationsOrNothing) {
  attach(kAvLocal + stations(3));
  bool answered = false;
  thpapi::ThapiResult r;
  sweepAll(
      [&](FailureInjector& injector) {
        through(injector, true);
        thpapi::SendAvRequest(kAvLocalMac, thpapi::kNetworkInfoRequest);
        answered = thpapi::WaitConfirmation(receivePath(), thpapi::kNetworkInfoRequest, r);
      },
      [&](std::uint32_t n, const FailureInjector& injector) {
        SCOPED_TRACE(n);
        if (answered) {
          ASSERT_EQ(r.stations.size(), 3u);
          for (int i = 0; i < 3; ++i) EXPECT_EQ(r.stations[i].mac, stationMac(i + 1));
        }
        EXPECT_TRUE(answered || injector.triggered());
      });
}

}  // namespace
}  // namespace quorrel::scan::testing
