// The rate history file: bytes, repair, compaction, the size bound; what the desktop scan keeps.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <tuple>

#include "api/device_table.h"
#include "history/rate_history.h"
#include "persistence/file_io.h"
#include "persistence/locations.h"
#include "scan/scan_report.h"
#include "support/scratch_dir.h"
#include "transport/interface_table.h"
#include "ui/scanlink/core_scan.h"
#include "unit/persistence/persistence_fixture.h"

namespace quorrel::history {
namespace {

namespace fs = std::filesystem;
constexpr std::int64_t kT0 = 1'780'000'000;  // 2026
const MacAddress kViewer{0x00, 0xB0, 0x52, 0x10, 0x00, 0x01};

MacAddress device(unsigned n) {
  return {0x00, 0xB0, 0x52, 0x20, static_cast<std::uint8_t>(n >> 8), static_cast<std::uint8_t>(n)};
}

class RateHistoryTest : public ::testing::Test {
 protected:
  std::vector<std::uint8_t> bytes() const { return testing::readFile(path); }
  void put(const std::vector<std::uint8_t>& b) const { testing::writeFile(path, b); }
  void recordThreeCycles() const {
    RateHistory h(path);
    EXPECT_EQ(h.open(kT0), OpenOutcome::Loaded);
    for (int c = 0; c < 3; ++c) {
      const Reading r[] = {{device(1), kViewer, 93.5 + c}, {device(2), kViewer, 12}};
      EXPECT_EQ(h.record(r, kT0 + c * 3), WriteOutcome::Done);
    }
  }
  testing::ScratchDir dir;
  std::string path = historyPath(dir.path());
};

TEST_F(RateHistoryTest, OneRecordHasItsFieldsAtTheirOffsets) {
  RateHistory h(path);
  h.open(kT0);
  const Reading r[] = {{device(0x0102), kViewer, 93.5}};
  ASSERT_EQ(h.record(r, 0x0102030405060708), WriteOutcome::Done);
  const auto b = bytes();
  ASSERT_EQ(b.size(), 16u + 32u);
  const std::vector<std::uint8_t> expected{
      'Q',  'R',  'L',  'R',  'A',  'T',  'E',  'S',  1,    0,    32,   0,  // magic, version, size
      0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01,                       // time
      0x00, 0xB0, 0x52, 0x20, 0x01, 0x02, 0x00, 0xB0, 0x52, 0x10, 0x00, 0x01,  // device, viewer
      0x3C, 0x6D, 0x01, 0x00, 1,    0,    0,    0};  // 93500 kbit/s, one sample, cycle, zero
  EXPECT_TRUE(std::equal(expected.begin(), expected.begin() + 12, b.begin()));
  EXPECT_TRUE(std::equal(expected.begin() + 12, expected.end(), b.begin() + 16));
  EXPECT_EQ(fs::status(path).permissions(), fs::perms(0600));
}

// A torn append or a flipped byte loses that record only; the file takes appends again.
TEST_F(RateHistoryTest, DamagedRecordsAreCutAndTheRestKept) {
  // What, the length the file is cut to and the byte flipped (0: none).
  const std::tuple<const char*, std::size_t, std::size_t> cases[] = {
      {"torn after one byte", 16 + 5 * 32 + 1, 0},
      {"torn before the check value", 16 + 5 * 32 + 28, 0},
      {"last check value", 0, 16 + 5 * 32 + 30},
      {"middle record's rate", 0, 16 + 2 * 32 + 21},
      {"first record's time", 0, 16 + 0},
      {"resolution byte", 0, 16 + 3 * 32 + 26}};
  for (const auto& [what, cutTo, flipAt] : cases) {
    SCOPED_TRACE(what);
    fs::remove(path);
    recordThreeCycles();
    auto b = bytes();
    if (cutTo != 0) b.resize(cutTo);
    if (flipAt != 0) b[flipAt] ^= 0x10;
    put(b);
    RateHistory h(path);
    EXPECT_EQ(h.open(kT0 + 10), OpenOutcome::TailCut);
    EXPECT_EQ(h.samples(std::nullopt, 0).size(), 5u);
    const Reading r[] = {{device(3), kViewer, 40}};
    EXPECT_EQ(h.record(r, kT0 + 20), WriteOutcome::Done);
    RateHistory again(path);
    EXPECT_EQ(again.open(kT0 + 30), OpenOutcome::Loaded);
    EXPECT_EQ(again.samples(std::nullopt, 0).size(), 6u);
  }
}

// A foreign file is set aside once. A day later the cycles are hourly averages; the worker's
// new file must carry the appends made while it was written, and later appends must reach it,
// not the replaced file. The desktop program and quorrel-cli share the file: when one compacts
// it, the other's next append must reach the new file too.
TEST_F(RateHistoryTest, AForeignFileIsSetAsideAndCompactionAveragesHoursAndLosesNoAppend) {
  const std::vector<std::uint8_t> foreign{'Q', 'R', 'L', 'R', 'A', 'T', 'E', 'S', 2, 0, 32, 0};
  put(foreign);
  RateHistory h(path), console(path);
  EXPECT_EQ(h.open(kT0), OpenOutcome::SetAside);
  EXPECT_EQ(testing::readFile(path + kSetAsideSuffix), foreign);
  for (double mbps : {10.0, 20.0, 60.0}) {
    const Reading r[] = {{device(1), kViewer, mbps}};
    h.record(r, kT0);
  }
  const Reading late[] = {{device(1), kViewer, 7}};
  h.record(late, kT0 + 26 * 3600);  // the compaction starts on the worker
  h.record(late, kT0 + 26 * 3600 + 3);
  h.settle();
  h.record(late, kT0 + 26 * 3600 + 6);
  RateHistory again(path);
  again.open(kT0 + 26 * 3600 + 7);
  auto s = again.samples(std::nullopt, 0);
  ASSERT_EQ(s.size(), 4u);
  EXPECT_EQ((std::tuple{s[0].resolution, s[0].kbps, s[0].count, s[3].time}),
            (std::tuple{Resolution::Hour, 30000u, 3u, kT0 + 26 * 3600 + 6}));

  console.open(kT0 + 26 * 3600 + 8);  // another process compacts; this one appends after it
  ASSERT_EQ(console.compact(kT0 + 60 * 3600), WriteOutcome::Done);
  h.record(late, kT0 + 60 * 3600 + 1);
  RateHistory last(path);
  last.open(kT0 + 60 * 3600 + 2);
  s = last.samples(std::nullopt, 0);
  ASSERT_EQ(s.size(), 3u);  // the day-old cycles averaged into one more hour, and the append
  EXPECT_EQ(s.back().time, kT0 + 60 * 3600 + 1);
}

// The samples come back after reopening. A disk that fills in the middle of an append (a file
// size limit stands in for it): the torn record is taken back at once, so the file loads whole.
TEST_F(RateHistoryTest, SamplesComeBackAnAppendCutShortByAFullDiskIsTakenBackAndAClockSetBack) {
  recordThreeCycles();
  RateHistory h(path);
  EXPECT_EQ(h.open(kT0 + 10), OpenOutcome::Loaded);
  const auto all = h.samples(std::nullopt, 0);
  ASSERT_EQ(all.size(), 6u);
  EXPECT_EQ((std::tuple{all[4].time, all[4].kbps}), (std::tuple{kT0 + 6, 95500u}));
  EXPECT_EQ(h.samples(device(2), kT0 + 3).size(), 2u);
  const auto before = bytes();
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  ::getrlimit(RLIMIT_FSIZE, &old);
  rlimit tight = old;
  tight.rlim_cur = before.size() + 40;  // room for one record and a piece of the next
  ::setrlimit(RLIMIT_FSIZE, &tight);
  const Reading r[] = {{device(1), kViewer, 1}, {device(2), kViewer, 2}};
  const WriteOutcome outcome = h.record(r, kT0 + 20);
  ::setrlimit(RLIMIT_FSIZE, &old);
  EXPECT_EQ(outcome, WriteOutcome::Failed);
  EXPECT_EQ(bytes(), before);
  RateHistory again(path);
  EXPECT_EQ(again.open(kT0 + 30), OpenOutcome::Loaded);

  // A clock set back keeps the order and every sample.
  const Reading one[] = {{device(1), kViewer, 50}};
  again.record(one, kT0 + 1000);
  again.record(one, kT0);  // an hour earlier than the last sample
  again.record(one, kT0 + 1001);
  const auto s = again.samples(std::nullopt, 0);
  ASSERT_EQ(s.size(), 9u);
  EXPECT_EQ((std::tuple{s[7].time, s[8].time}), (std::tuple{kT0 + 1000, kT0 + 1001}));
}

TEST_F(RateHistoryTest, AFailedCompactionLeavesTheFileAsItWas) {
  using persistence::ReplaceStep;
  for (ReplaceStep step : {ReplaceStep::Open, ReplaceStep::Write, ReplaceStep::Sync,
                           ReplaceStep::Close, ReplaceStep::Rename}) {
    fs::remove(path);
    recordThreeCycles();
    const auto before = bytes();
    persistence::testing::FailAt faults(step);
    persistence::setReplaceFaults(&faults);
    RateHistory h(path);
    h.open(kT0 + 10);
    EXPECT_EQ(h.compact(kT0 + 30 * 3600), WriteOutcome::Failed);
    persistence::setReplaceFaults(nullptr);
    EXPECT_EQ(bytes(), before);
    EXPECT_EQ(h.tiers().cycles.size(), 6u);
  }
}

// Thousands of devices over a year, with a day of so many cycles that the cycle tier reaches
// its cap: the file stays within its bound and keeps the newest hours.
TEST_F(RateHistoryTest, AYearOfThousandsOfDevicesStaysWithinTheBound) {
  RateHistory h(path);
  h.open(kT0);
  std::vector<Reading> readings(1500);
  std::size_t largest = 0;
  for (int day = 0; day < 365; ++day) {
    const int calls = day == 200 ? 90 : 1;  // 135000 samples in one day pass the cycle cap
    for (int c = 0; c < calls; ++c) {
      for (unsigned i = 0; i < readings.size(); ++i)
        readings[i] = {device((day % 4) * 1500 + i), kViewer, 1.0 + i % 200};
      h.record(readings, kT0 + day * 86400 + c * 60);
      h.settle();  // the worker had the seconds between two cycles
      largest = std::max<std::size_t>(largest, fs::file_size(path));
    }
  }
  EXPECT_LE(largest, kMaxFileBytes);
  EXPECT_EQ(h.tiers().hourly.size(), kMaxHourlySamples);
  EXPECT_GE(h.tiers().hourly.front().time, kT0 + 275 * 86400);
}

void listOne(int interface, std::uint8_t id, double mbps) {
  api::InterfaceDevices& d = api::interfaceDevices(interface);
  d.localPresent = true;
  d.localMac = {0x00, 0xB0, 0x52, 0x10, 0x00, id};
  d.remotes[0].inUse = true;
  d.remotes[0].mac = device(id);
  d.remotes[0].rateStats.currentRate = mbps;
}

// Only the current interface was scanned this cycle; another interface's entries still hold
// the rate of its last scan, which must not come back as a new sample every cycle.
TEST_F(RateHistoryTest, TheDesktopScanRecordsOnlyTheScannedInterface) {
  persistence::setDataDirectory(dir.path());
  api::resetDeviceTable();
  listOne(0, 1, 40);
  listOne(1, 2, 200);
  transport::interfaceTable().interfaceCount = 2;
  transport::setCurrentInterface(1);

  auto before = std::make_shared<scan::AgeingReached::Before>();
  *before = {2, 1, api::deviceTable().devices};
  ui::publishScanReport({{scan::AgeingReached{before}}});

  const history::RateHistory* h = ui::coreScan().rateHistory();
  ASSERT_NE(h, nullptr);
  const auto samples = h->samples(std::nullopt, 0);
  ASSERT_EQ(samples.size(), 1u);
  EXPECT_EQ((std::tuple{samples[0].device, samples[0].viewer}),
            (std::tuple{device(2), api::interfaceDevices(1).localMac}));
}

}  // namespace
}  // namespace quorrel::history
