// The Turbo upgrade against the simulated adapter and its secondary loader: the frames on the
// wire, the files refused before the adapter is touched, the retarget, and every step failed.
#include "brantleapi/hp1_upgrade.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "api/device_table.h"
#include "brantleapi/hp1_loader.h"
#include "brantleapi/hp1_requests.h"
#include "support/failure_injector.h"
#include "support/sim_host.h"

namespace quorrel::brantleapi {
namespace {

using namespace quorrel::testing;
using Bytes = std::vector<std::uint8_t>;
using Texts = std::vector<std::string>;
constexpr MacAddress kTurboMac{0x00, 0x04, 0x87, 0x12, 0x34, 0x56};
const std::string kNewVersion = "QTB2000 fw rev2.0.0 NEW";

Bytes image(std::size_t n) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 13 + (i >> 10));
  const std::string mark = "QTB-VERSION:" + kNewVersion;
  std::copy(mark.begin(), mark.end(), b.begin() + 8);
  b[8 + mark.size()] = 0;
  return b;
}

std::string file(const std::string& name, const Bytes& bytes) {
  const auto p =
      std::filesystem::temp_directory_path() / ("hp1up-" + std::to_string(::getpid()) + "-" + name);
  std::ofstream(p, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return p.string();
}

sim::Scenario turbo() {
  sim::Scenario s;
  s.local.mac = kTurboMac;
  s.local.family = sim::AdapterFamily::Turbo;
  s.local.firmware = sim::kDefaultHp1Firmware;
  return s;
}

struct Upgrade : ::testing::Test {
  SimHost h{turbo()};
  platform::RecordingNotice notice;
  transport::ReceivePath path;
  Hp1UpgradeContext context{path, platform::NoticeOwner::None, {}};
  std::size_t from = 0;  // frames sent before the case
  void SetUp() override {
    platform::setNotice(&notice);
    api::currentState().localMac = kTurboMac;
  }
  void TearDown() override { platform::setNotice(nullptr); }
  Hp1UpgradeOutcome run(const std::string& img, const std::string& cfg = {}) {
    return runHp1Upgrade(context, img, cfg);
  }
  Texts texts() const {
    Texts t;
    for (const auto& r : notice.shown) t.push_back(r.text);
    return t;
  }
  // The loader frames sent, by code at byte 17.
  std::vector<Bytes> sent(std::uint8_t code) const {
    std::vector<Bytes> out;
    for (std::size_t i = from; i < h.sent().size(); ++i)
      if (const auto& f = h.sent()[i]; f.size() > 17 && f[15] == kEntryLoader && f[17] == code)
        out.push_back(f);
    return out;
  }
};

TEST_F(Upgrade, PiecesSectionsMasksAndTheRestartedAdapter) {
  const Bytes img = image(2500);
  Bytes cfg(960);
  for (std::size_t i = 0; i < cfg.size(); ++i) cfg[i] = static_cast<std::uint8_t>(0x40 + i % 50);
  const struct {
    std::size_t cfgBytes;
    std::uint32_t mask;
    std::vector<std::uint16_t> counts;  // bytes 18 to 19 of each piece
  } cases[] = {{959, 0x130, {1034, 1034, 462, 138, 266}},
               {960, 0x1B0, {1034, 1034, 462, 138, 266, 522}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cfgBytes);
    from = h.sent().size();
    h.clock.sleepMs(3000);
    ASSERT_EQ(run(file("a.img", img), file("a.cfg", Bytes(cfg.begin(), cfg.begin() + c.cfgBytes))),
              Hp1UpgradeOutcome::Succeeded);
    const auto pieces = sent(kLoaderModulePiece);
    ASSERT_EQ(pieces.size(), c.counts.size());
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      EXPECT_EQ(pieces[i].size(), 1054u);
      EXPECT_EQ(readBe16(pieces[i], 18), c.counts[i]);
      EXPECT_EQ(readBe16(pieces[i], 28) + 10u, c.counts[i]);
      EXPECT_EQ(readBe32(pieces[i], 24), i < 3 ? i * 1024 : 0);
    }
    const auto commit = sent(kLoaderCommit);
    ASSERT_EQ(commit.size(), 1u);
    EXPECT_EQ(readBe32(commit[0], 20), c.mask);
    EXPECT_EQ(sent(kLoaderChecksum).size(), c.counts.size() - 2);
    const auto& committed = h.local().loader.committed;
    EXPECT_EQ(committed.at(0x100), img);
    EXPECT_EQ(committed.at(0x20), Bytes(cfg.begin() + 128, cfg.begin() + 384));
    EXPECT_EQ(committed.count(0x80), c.cfgBytes == 960 ? 1u : 0u);
    EXPECT_EQ(h.local().firmware, kNewVersion);
    EXPECT_FALSE(h.local().loader.active);
    EXPECT_EQ(texts().back(), "Firmware Update Successful");
    EXPECT_EQ(notice.shown.back().caption, "Success");
    h.local().firmware = sim::kDefaultHp1Firmware;
  }
}

// The files are read, read-only, before the reset into the loader: a bad one sends nothing.
TEST_F(Upgrade, BadFilesAreRefusedBeforeTheAdapterIsTouched) {
  const std::string img = file("ro.img", image(3000));
  ::chmod(img.c_str(), 0444);
  const struct {
    std::string img, cfg, message;
  } cases[] = {{"", "", "No Image File is selected"},
               {"/nonexistent/x.img", "", "Can not open Image file"},
               {file("empty.img", {}), "", "Can not open Image file"},
               {img, "/nonexistent/x.cfg", "Can not open Config file"},
               {img, file("short.cfg", Bytes(383, 1)), "Can not open Config file"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    notice.clear();
    EXPECT_EQ(run(c.img, c.cfg), Hp1UpgradeOutcome::BadInput);
    EXPECT_EQ(texts(), Texts{c.message});
    EXPECT_EQ(h.sent().size(), from);
    EXPECT_FALSE(h.local().loader.active);
  }
  EXPECT_EQ(run(img, file("ok.cfg", Bytes(384, 1))), Hp1UpgradeOutcome::Succeeded);
}

// The checksum request covers the whole image, whatever its size; a wrong read-back fails with
// the message of the module it belongs to.
TEST_F(Upgrade, EveryModuleIsVerified) {
  const std::string cfg = file("v.cfg", Bytes(960, 0x33));
  const struct {
    std::uint32_t module;
    const char* message;
  } cases[] = {{0x100, "Mac Image Verification Failed"},
               {0x10, "Identy Section Verification Failed"},
               {0x20, "Option section Verification Failed"},
               {0x80, "Param Module Verification Failed"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    from = h.sent().size();
    h.clock.sleepMs(3000);
    notice.clear();
    h.behaviour().loaderBadChecksum = c.module;
    EXPECT_EQ(run(file("big.img", image(100 * 1024)), cfg), Hp1UpgradeOutcome::Failed);
    const auto requests = sent(kLoaderChecksum);
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(readBe32(requests[0], 24), 100u * 1024);
    EXPECT_EQ(texts(), Texts{std::string(c.message) + "\n" + kHp1InLoaderAdvice});
    EXPECT_TRUE(h.local().loader.active);
    EXPECT_EQ(h.local().firmware, sim::kDefaultHp1Firmware);
  }
}

// A loader silent at the adapter's address gets the first piece again at the default address,
// and everything after it; a loader silent everywhere gets it twice and no more.
TEST_F(Upgrade, RetargetOnce) {
  const struct {
    bool defaultOnly, silentFirst, mute;
    Hp1UpgradeOutcome outcome;
  } cases[] = {{true, false, false, Hp1UpgradeOutcome::Succeeded},
               {false, true, false, Hp1UpgradeOutcome::Succeeded},
               {false, false, true, Hp1UpgradeOutcome::Failed}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mute);
    from = h.sent().size();
    h.clock.sleepMs(3000);
    notice.clear();
    api::currentState().localMac = kTurboMac;
    h.local().loader = {};
    h.behaviour().loaderDefaultAddressOnly = c.defaultOnly;
    h.behaviour().loaderSilentFirstPiece = c.silentFirst;
    h.behaviour().loaderMute = c.mute;
    EXPECT_EQ(run(file("r.img", image(2500))), c.outcome);
    const auto pieces = sent(kLoaderModulePiece);
    ASSERT_GE(pieces.size(), 2u);
    EXPECT_EQ(readMac(pieces[0], 0), kTurboMac);
    EXPECT_EQ(readBe32(pieces[1], 24), 0u);
    // The reset into the loader and the first piece went to the adapter, the rest elsewhere.
    for (std::size_t i = from + 2; i < h.sent().size(); ++i)
      EXPECT_EQ(readMac(h.sent()[i], 0), kLoaderDefaultMac);
    EXPECT_EQ(api::currentState().localMac, kLoaderDefaultMac);
    if (c.mute) {
      EXPECT_EQ(texts(), (Texts{"Packet sent but no response",
                                std::string("MAC Image Sending Failed\n") + kHp1InLoaderAdvice}));
    }
  }
}

// Every send failed, and every received frame lost, damaged or late, in turn.
TEST(UpgradeSweep, EveryStepFailsOnce) {
  const Bytes img = image(2500);
  Bytes cfg(960, 0x5A);
  for (const Fault fault :
       {Fault::FailSend, Fault::DropAnswer, Fault::CorruptAnswer, Fault::DelayAnswer}) {
    SCOPED_TRACE(faultName(fault));
    SimHost h(turbo());
    platform::RecordingNotice notice;
    platform::setNotice(&notice);
    transport::ReceivePath path;
    const std::string imgPath = file("s.img", img), cfgPath = file("s.cfg", cfg);
    Hp1UpgradeOutcome outcome{};
    std::set<std::string> seen;
    const std::uint32_t runs = sweep(
        h.backend, fault, &h.clock,
        [&](FailureInjector& injector) {
          transport::ResetInterfaceTable();
          transport::setBackend(&injector);
          transport::EnumerateInterfaces();
          transport::OpenInterface(0);
          transport::setCurrentInterface(0);
          api::currentState().localMac = kTurboMac;
          h.local().firmware = sim::kDefaultHp1Firmware;
          h.local().loader = {};
          notice.clear();
          outcome = runHp1Upgrade(Hp1UpgradeContext{path, platform::NoticeOwner::None, {}}, imgPath,
                                  cfgPath);
          h.clock.sleepMs(3000);
        },
        [&](std::uint32_t n, const FailureInjector&) {
          SCOPED_TRACE(n);
          ASSERT_FALSE(notice.shown.empty());
          const std::string last = notice.shown.back().text;
          seen.insert(last.substr(0, last.find('\n')));
          for (const auto& s : notice.shown)
            EXPECT_EQ(s.caption, last == "Firmware Update Successful" ? "Success" : "Error");
          if (outcome == Hp1UpgradeOutcome::Succeeded) {
            EXPECT_EQ(last, "Firmware Update Successful");
            EXPECT_EQ(h.local().firmware, kNewVersion);
            return;
          }
          EXPECT_EQ(outcome, Hp1UpgradeOutcome::Failed);
          EXPECT_EQ(h.local().firmware, sim::kDefaultHp1Firmware);
          // Once the adapter was sent into its loader it stays there, and the message says so.
          const bool inLoader = h.local().loader.active;
          EXPECT_EQ(last != "Reset Device to Secondary Loader Failed", inLoader);
          EXPECT_EQ(last.ends_with(kHp1InLoaderAdvice), inLoader);
        });
    EXPECT_EQ(outcome, Hp1UpgradeOutcome::Succeeded);  // the untouched run
    EXPECT_GE(runs, 11u);
    if (fault == Fault::FailSend) {
      EXPECT_EQ(seen, (std::set<std::string>{
                          "Reset Device to Secondary Loader Failed", "MAC Image Sending Failed",
                          "Commit Module Failed", "Verify Module Failed",
                          "Mac Image Verification Failed", "Identy Section Verification Failed",
                          "Param Module Verification Failed", "Option section Verification Failed",
                          "Hardware Reset Failed", "Firmware Update Successful"}));
    }
    // A late reply is still taken: nothing but a lost one fails.
    if (fault == Fault::DelayAnswer) {
      EXPECT_EQ(seen, std::set<std::string>{"Firmware Update Successful"});
    }
    platform::setNotice(nullptr);
  }
}

}  // namespace
}  // namespace quorrel::brantleapi
