// The Turbo upgrade against the simulated adapter and its secondary loader: the frames on the
// wire, the files refused before the adapter is touched, the retarget, and every step failed.
#include "brantleapi/hp1_upgrade.h"

#include <gtest/gtest.h>

#include <set>

#include "api/device_table.h"
#include "brantleapi/hp1_loader.h"
#include "brantleapi/hp1_requests.h"
#include "support/failure_injector.h"
#include "support/scratch_dir.h"
#include "support/sim_host.h"

namespace quorrel::brantleapi {
namespace {

using namespace quorrel::testing;
using Bytes = std::vector<std::uint8_t>;
using Texts = std::vector<std::string>;
constexpr MacAddress kTurboMac{0x00, 0x04, 0x87, 0x12, 0x34, 0x56};
const std::string kNew = "QTB2000 fw rev2.0.0 NEW";
const std::string kAdvice = std::string("\n") + kHp1InLoaderAdvice;

Bytes image(std::size_t n) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<std::uint8_t>(i * 13 + (i >> 10));
  const std::string mark = "QTB-VERSION:" + kNew;
  std::copy(mark.begin(), mark.end() + 1, b.begin() + 8);  // with its terminating zero
  return b;
}

std::string file(const std::string& name, const Bytes& bytes) {
  static const ScratchDir folder;
  return folder.write(name, bytes);
}

sim::Scenario turbo() {
  sim::Scenario s;
  s.local.mac = kTurboMac;
  s.local.family = sim::AdapterFamily::Turbo;
  s.local.firmware = sim::kDefaultHp1Firmware;
  return s;
}

// One upgrade run over `h` from a fresh start: adapter out of its loader, notices cleared.
struct Runner {
  SimHost& h;
  platform::RecordingNotice notice;
  transport::ReceivePath path;
  std::size_t from = 0;  // frames sent before the run
  Runner(SimHost& host) : h(host) { platform::setNotice(&notice); }
  ~Runner() { platform::setNotice(nullptr); }
  Hp1UpgradeOutcome run(const std::string& img, const std::string& cfg = {}) {
    h.clock.sleepMs(3000);  // past the last restart
    h.local().firmware = sim::kDefaultHp1Firmware;
    h.local().loader = {};
    api::currentState().localMac = kTurboMac;
    notice.clear();
    from = h.sent().size();
    return runHp1Upgrade(Hp1UpgradeContext{path, platform::NoticeOwner::None, {}}, img, cfg);
  }
  Texts texts() const {
    Texts t;
    for (const auto& r : notice.shown) t.push_back(r.text);
    return t;
  }
  std::vector<Bytes> sent(std::uint8_t code) const {  // loader frames, by code at byte 17
    std::vector<Bytes> out;
    for (std::size_t i = from; i < h.sent().size(); ++i)
      if (h.sent()[i].size() > 17 && h.sent()[i][15] == kEntryLoader && h.sent()[i][17] == code)
        out.push_back(h.sent()[i]);
    return out;
  }
};

TEST(Hp1Upgrade, PiecesMasksBadFilesFirstVerificationAndRetarget) {
  SimHost h(turbo());
  Runner r(h);
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
    ASSERT_EQ(r.run(file("a.img", image(2500)),
                    file("a.cfg", Bytes(cfg.begin(), cfg.begin() + c.cfgBytes))),
              Hp1UpgradeOutcome::Succeeded);
    const auto pieces = r.sent(kLoaderModulePiece);
    ASSERT_EQ(pieces.size(), c.counts.size());
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      EXPECT_EQ(pieces[i].size(), 1054u);
      EXPECT_EQ(readBe16(pieces[i], 18), c.counts[i]);
      EXPECT_EQ(readBe16(pieces[i], 28) + 10u, c.counts[i]);
      EXPECT_EQ(readBe32(pieces[i], 24), i < 3 ? i * 1024 : 0);
    }
    EXPECT_EQ(readBe32(r.sent(kLoaderCommit).at(0), 20), c.mask);
    const auto& committed = h.local().loader.committed;
    EXPECT_EQ((std::tuple{committed.at(0x100), committed.at(0x20), committed.count(0x80)}),
              (std::tuple{image(2500), Bytes(cfg.begin() + 128, cfg.begin() + 384),
                          c.cfgBytes == 960 ? 1u : 0u}));
    EXPECT_EQ(r.sent(kLoaderChecksum).size(), c.counts.size() - 2);
    EXPECT_EQ((std::tuple{h.local().firmware, r.texts(), r.notice.shown.back().caption}),
              (std::tuple{kNew, Texts{"Firmware Update Successful"}, "Success"}));
  }

  // The files are read, read-only, before the reset into the loader: a bad one sends nothing.
  const std::string ro = file("ro.img", image(3000));
  const struct {
    std::string img, cfg, message;
  } bad[] = {{"", "", "No Image File is selected"},
             {"/nonexistent/x.img", "", "Can not open Image file"},
             {file("empty.img", {}), "", "Can not open Image file"},
             {ro, "/nonexistent/x.cfg", "Can not open Config file"},
             {ro, file("short.cfg", Bytes(383, 1)), "Can not open Config file"}};
  for (const auto& c : bad) {
    SCOPED_TRACE(c.message);
    EXPECT_EQ(r.run(c.img, c.cfg), Hp1UpgradeOutcome::BadInput);
    EXPECT_EQ(r.texts(), Texts{c.message});
    EXPECT_EQ(h.sent().size(), r.from);
  }
  EXPECT_EQ(r.run(ro, file("ok.cfg", Bytes(384, 1))), Hp1UpgradeOutcome::Succeeded);

  // Every module is verified, the image whole whatever its size, each with its own message; and
  // a loader silent at the adapter's address gets everything from the first piece's second
  // sending on at the default address, once.
  const std::string big = file("big.img", image(100 * 1024)), v = file("v.cfg", Bytes(960, 3));
  const struct {
    std::uint32_t module;
    bool sim::Behaviour::*knob;
    Texts texts;
  } modules[] = {{0x100, nullptr, {"Mac Image Verification Failed" + kAdvice}},
                 {0x10, nullptr, {"Identy Section Verification Failed" + kAdvice}},
                 {0x20, nullptr, {"Option section Verification Failed" + kAdvice}},
                 {0x80, nullptr, {"Param Module Verification Failed" + kAdvice}},
                 {0, &sim::Behaviour::loaderDefaultAddressOnly, {"Firmware Update Successful"}},
                 {0, &sim::Behaviour::loaderSilentFirstPiece, {"Firmware Update Successful"}},
                 {0,
                  &sim::Behaviour::loaderMute,
                  {"Packet sent but no response", "MAC Image Sending Failed" + kAdvice}}};
  for (const auto& c : modules) {
    SCOPED_TRACE(c.texts.back());
    sim::Behaviour& b = h.behaviour();
    b.loaderBadChecksum = c.module;
    b.loaderDefaultAddressOnly = b.loaderSilentFirstPiece = b.loaderMute = false;
    if (c.knob != nullptr) b.*c.knob = true;
    r.run(big, v);
    EXPECT_EQ(r.texts(), c.texts);
    EXPECT_EQ(h.local().loader.active, c.texts.size() > 1 || c.module != 0);
    const auto checks = r.sent(kLoaderChecksum);
    EXPECT_TRUE(checks.empty() || readBe32(checks[0], 24) == 100u * 1024);
    if (c.module != 0) continue;
    const auto pieces = r.sent(kLoaderModulePiece);
    EXPECT_EQ(readMac(pieces.at(0), 0), kTurboMac);
    EXPECT_EQ(readBe32(pieces.at(1), 24), 0u);
    for (std::size_t i = r.from + 2; i < h.sent().size(); ++i)  // after the reset and first piece
      EXPECT_EQ(readMac(h.sent()[i], 0), kLoaderDefaultMac);
    EXPECT_EQ(api::currentState().localMac, kLoaderDefaultMac);
  }
}

// Every send failed, and every received frame lost, damaged or late, in turn.
TEST(Hp1Upgrade, EveryStepFailsOnce) {
  const std::string img = file("s.img", image(2500)), cfg = file("s.cfg", Bytes(960, 0x5A));
  for (const Fault fault : kEveryFault) {
    SCOPED_TRACE(faultName(fault));
    SimHost h(turbo());
    Runner r(h);
    Hp1UpgradeOutcome outcome{};
    std::set<std::string> seen;
    const auto run = [&](FailureInjector& injector) {
      reopenThrough(injector);
      outcome = r.run(img, cfg);
    };
    const auto check = [&](std::uint32_t n, const FailureInjector&) {
      SCOPED_TRACE(n);
      ASSERT_FALSE(r.notice.shown.empty());
      const std::string last = r.notice.shown.back().text;
      seen.insert(last.substr(0, last.find('\n')));
      if (outcome == Hp1UpgradeOutcome::Succeeded) {
        EXPECT_EQ(h.local().firmware, kNew);
        return;
      }
      EXPECT_EQ(h.local().firmware, sim::kDefaultHp1Firmware);
      // Once the adapter was sent into its loader it stays there, and the message says so.
      const bool inLoader = h.local().loader.active;
      EXPECT_EQ(last != "Reset Device to Secondary Loader Failed", inLoader);
      EXPECT_EQ(last.ends_with(kAdvice), inLoader);
      for (const auto& s : r.notice.shown) EXPECT_EQ(s.caption, "Error");
    };
    EXPECT_GE(sweep(h.backend, fault, &h.clock, run, check), 11u);
    EXPECT_EQ(outcome, Hp1UpgradeOutcome::Succeeded);  // the untouched run
    const std::set<std::string> all{"Reset Device to Secondary Loader Failed",
                                    "MAC Image Sending Failed",
                                    "Commit Module Failed",
                                    "Verify Module Failed",
                                    "Mac Image Verification Failed",
                                    "Identy Section Verification Failed",
                                    "Param Module Verification Failed",
                                    "Option section Verification Failed",
                                    "Hardware Reset Failed",
                                    "Firmware Update Successful"};
    EXPECT_TRUE(fault != Fault::FailSend || seen == all);
    // A late reply is still taken: only a lost one fails.
    EXPECT_TRUE(fault != Fault::DelayAnswer ||
                seen == std::set<std::string>{"Firmware Update Successful"});
  }
}

}  // namespace
}  // namespace quorrel::brantleapi
