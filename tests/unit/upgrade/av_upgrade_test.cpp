// The whole upgrade against the simulated adapter on the virtual clock: every write mode, the
// adapter's MAC address kept, slow flash, stale confirmations, each piece refused or lost in
// turn, and a cancel at each piece. After every run the adapter holds either its old modules
// or the new ones whole, and the user is told which. Then the image chain walk over sound and
// broken chains, and the write options by chip model.
#include <gtest/gtest.h>

#include <tuple>

#include "brantleapi/brantleapi.h"
#include "make-samples/sample_files.h"
#include "platform/notice.h"
#include "support/av_frames.h"
#include "support/failure_injector.h"
#include "support/flood_backend.h"
#include "support/sim_host.h"
#include "thpapi/module_transfer.h"
#include "transport/interface_table.h"
#include "upgrade/av_upgrade.h"
#include "upgrade/nvm_image.h"
#include "upgrade/write_options.h"
#include "upgrade_support.h"

namespace quorrel::upgrade {
namespace {

using namespace quorrel::testing;
using Bytes = std::vector<std::uint8_t>;

constexpr MacAddress kFileMac{0x02, 0x00, 0x00, 0x00, 0x00, 0x99};
// Two images of 2500 bytes (5044 bytes, 5 pieces) and a block of 16 pieces: 22 requests.
constexpr std::uint32_t kRequests = 22;

struct Rig {
  explicit Rig(std::string_view chip = "LQA-100", bool commit = true)
      : host(simScenario()),
        firmware(samples::buildFirmwareFile(samples::sampleFirmwareImages(2, 2500))),
        block(samples::buildParameterBlock(kFileMac, {7, 7, 7})) {
    useLocalAdapter(kSimLocalMac, chip);
    setCommitAfterWrite(commit);
    platform::setNotice(&notice);
    sim::prepareModules(host.local());
    oldFirmware = host.local().modules.firmware;
    oldBlock = host.local().modules.parameterBlock;
    files = {folder.write("fw.nvm", firmware), folder.write("pb.pib", block)};
  }
  ~Rig() {
    platform::setNotice(nullptr);
    thpapi::abandonTransfer();
  }
  UpgradeResult run(UpgradeControl* control = nullptr) {
    const UpgradeResult r = upgradeLocalAvDevice(path, files, control);
    host.clock.sleepMs(host.behaviour().commitMs + host.behaviour().restartMs + 10);
    return r;
  }
  bool unchanged() {
    return host.local().modules.firmware == oldFirmware &&
           host.local().modules.parameterBlock == oldBlock;
  }
  // The new block as the adapter must hold it: its own MAC address, sealed.
  bool tookNewBlock() {
    const Bytes& now = host.local().modules.parameterBlock;
    return now.size() == block.size() && readMac(now, 12) == kSimLocalMac &&
           sim::parameterBlockSealed(now) &&
           std::equal(now.begin() + 18, now.end() - 1, block.begin() + 18);
  }
  void restore() {
    host.local().modules.firmware = oldFirmware;
    host.local().modules.parameterBlock = oldBlock;
    host.local().modules.counters = {};
  }

  SimHost host;
  UpgradeFolder folder;
  platform::RecordingNotice notice;
  transport::ReceivePath path;
  Bytes firmware, block, oldFirmware, oldBlock;
  UpgradeFiles files;
};

// Each mode against an adapter that takes longer per piece than one poll round, several seconds
// to commit, and answers every piece after a stale commit confirmation, which passes for none.
TEST(AvUpgrade, EveryWriteModeSucceedsAgainstASlowAdapterAndKeepsItsMac) {
  sim::HandlerTable table;
  sim::registerAllFamilies(table);
  for (const auto& [chip, commit] :
       {std::pair{"LQA-100", true}, {"LQA-100", false}, {"LQA-130", true}, {"LQA-130", false}}) {
    SCOPED_TRACE(std::string(chip) + (commit ? " commit" : " start"));
    Rig rig(chip, commit);
    rig.host.behaviour().pieceMs = 400;
    rig.host.behaviour().commitMs = 8000;
    for (const std::uint16_t type : {0xA020, 0xA004}) {
      const sim::Handler answer = *table.find(sim::wire::kEtherTypeAv, type);
      rig.host.network.addHandler(
          sim::wire::kEtherTypeAv, type,
          [answer](sim::Network& net, const sim::wire::Request& r, std::vector<sim::Answer>& out) {
            out.push_back({sim::wire::avFrame(r.source, kSimLocalMac, 0, 0xA029, 2), 0, {}, {}});
            answer(net, r, out);
          });
    }
    UpgradeControl control;
    const UpgradeResult r = rig.run(&control);
    EXPECT_TRUE(r.success && r.adapter == AdapterState::Upgraded);
    EXPECT_EQ(control.confirmed(), control.total());
    EXPECT_TRUE(rig.tookNewBlock());
    EXPECT_EQ(sentRequests(rig.host, commit ? 0xA028 : 0xA00C).size(), 1u);
    EXPECT_EQ(sentRequests(rig.host, 0xA020).size() + sentRequests(rig.host, 0xA004).size(),
              control.total() - 1);  // each piece sent once
    if (commit) {
      EXPECT_EQ(rig.host.local().modules.counters.lastCommitFlags,
                std::string_view(chip) == "LQA-100" ? 0x03 : 0x13);
    }
    reportUpgradeResult(r);
    EXPECT_TRUE(rig.notice.shown.empty());
  }
}

TEST(AvUpgrade, WriteOptionsByChipAndCommitWhichTheBlockStatusSets) {
  const struct {
    std::uint8_t status;
    bool before, read, after;
  } cases[] = {{0x00, false, true, true},
               {0x10, true, true, false},
               {0x01, true, false, true},
               {0x07, false, true, false}};
  for (const auto& c : cases) {
    Rig rig;
    rig.host.behaviour().status = c.status;
    rig.host.behaviour().statusType = 0xA059;
    setCommitAfterWrite(c.before);
    EXPECT_EQ(readLocalFirmwareType(rig.path), c.read) << int(c.status);
    EXPECT_EQ(commitAfterWrite(), c.after) << int(c.status);
  }
  // The write options by chip model and commit.
  const std::tuple<const char*, bool, std::uint32_t> chips[] = {
      {"LQA-100", true, 0x23},  {"LQA-100", false, 0x22}, {"LQ-B200", true, 0x23},
      {"LQ-B200", false, 0x22}, {"LQA-130", true, 0x13},  {"LQA-130", false, 0x00},
      {"LQA-140", true, 0x13},  {"LQ-A145", false, 0x00}, {"LQA-100 ", true, 0x13},
      {"", false, 0x00},
  };
  for (const auto& [chip, commit, options] : chips)
    EXPECT_EQ(writeOptionsFor(chip, commit), options) << chip << " " << commit;
}

TEST(AvUpgrade, FileProblemsStopBeforeAnythingIsSent) {
  Rig rig;
  auto pib = [&](const char* name, Bytes b) {
    return UpgradeFiles{rig.files.firmwarePath, rig.folder.write(name, b)};
  };
  auto aged = [&](std::uint8_t minor, std::size_t size, std::uint16_t stated) {
    Bytes b = rig.block;
    b[0] = 1, b[1] = minor;
    b.resize(size);
    writeLe16(b, 4, stated);
    return b;
  };
  auto nvm = [&](const char* name, Bytes b) {
    return UpgradeFiles{rig.folder.write(name, b), rig.files.parameterBlockPath};
  };
  using samples::ChainBreak;
  auto broken = [&](ChainBreak b) { return samples::breakFirmwareFile(rig.firmware, b); };
  Bytes imagePastEnd = samples::buildFirmwareFile(samples::sampleFirmwareImages(1, 100));
  imagePastEnd.pop_back();
  const std::pair<UpgradeFiles, const char*> cases[] = {
      {{rig.files.firmwarePath + "-missing", rig.files.parameterBlockPath},
       kFirmwareOpenFailedText},
      {nvm("1", broken(ChainBreak::Loop)), kWrongHeaderText},
      {nvm("2", broken(ChainBreak::Backward)), kWrongHeaderText},  // into the first image
      {nvm("3", broken(ChainBreak::PastEnd)), kWrongHeaderText},
      {nvm("4", broken(ChainBreak::Checksum)), kWrongHeaderText},
      {nvm("5", imagePastEnd), kWrongHeaderText},
      {nvm("6", Bytes(43, 0)), kWrongHeaderText},  // shorter than a header
      {nvm("7", {}), kWrongHeaderText},
      {{rig.files.firmwarePath, rig.files.parameterBlockPath + "-missing"}, kBlockOpenFailedText},
      {pib("a", samples::breakParameterBlock(rig.block, samples::BlockBreak::Short)),
       kBlockRefusedText},
      {pib("b", samples::breakParameterBlock(rig.block, samples::BlockBreak::Truncated)),
       kBlockRefusedText},
      {pib("c", samples::breakParameterBlock(rig.block, samples::BlockBreak::GroupMac)),
       kBlockRefusedText},
      {pib("d", Bytes(rig.block.begin(), rig.block.end() - 4)), kBlockRefusedText},
      {pib("e", aged(4, 1000, 2000)), kBlockRefusedText},    // states more than it holds
      {pib("f", aged(3, 2000, 2000)), kBlockRefusedText},    // too old for its MAC to be set
      {pib("g", aged(4, 17000, 17000)), kBlockRefusedText},  // too long for a checksum
  };
  for (const auto& [files, message] : cases) {
    const UpgradeResult r = upgradeLocalAvDevice(rig.path, files);
    EXPECT_TRUE(!r.success && r.adapter == AdapterState::Untouched);
    EXPECT_EQ(r.message, message);
  }
  EXPECT_TRUE(rig.host.sent().empty());
  // A version 1.4 block gets the adapter's MAC and a checksum over the length it states.
  rig.files.parameterBlockPath = rig.folder.write("h", aged(4, 3000, 2000));
  ASSERT_TRUE(rig.run().success);
  const Bytes& now = rig.host.local().modules.parameterBlock;
  EXPECT_EQ(readMac(now, 12), kSimLocalMac);
  EXPECT_TRUE(sim::parameterBlockSealed(now));
  transport::interfaceTable().entries[0].macAddress = {};
  EXPECT_EQ(upgradeLocalAvDevice(rig.path, rig.files).message, kSetupAbortedText);
}

// Stops the upgrade as the Nth write confirmation arrives, as a user's cancel would.
struct StopAt final : transport::FrameObserver {
  StopAt(UpgradeControl& c, std::uint32_t at) : control(c), n(at) {}
  void observe(const transport::Frame& frame) override {
    if (readLe16(frame.bytes(), 15) == 0xA021 && ++seen == n) control.requestStop();
  }
  UpgradeControl& control;
  std::uint32_t n, seen = 0;
};

// Each piece refused past its resends in turn, and a cancel at each piece, then each answer lost
// in turn: the adapter keeps its old modules unless the commit went out, the user is told so,
// and nothing further is sent after a cancel.
TEST(AvUpgrade, FailureAndCancelSweepOverThePieces) {
  for (std::uint32_t piece = 1; piece < kRequests; ++piece) {  // the commit is no piece
    SCOPED_TRACE(piece);
    {
      Rig rig;
      rig.host.behaviour().rejectPiece = piece;
      rig.host.behaviour().rejectCount = 4;  // past the resends
      const UpgradeResult r = rig.run();
      EXPECT_TRUE(r.message == kLoopAbortedText && r.adapter == AdapterState::Uncommitted);
      EXPECT_TRUE(rig.unchanged());
    }
    Rig rig;
    UpgradeControl control;
    StopAt stop(control, piece);
    transport::ReceivePath path(&stop);
    const UpgradeResult r = upgradeLocalAvDevice(path, rig.files, &control);
    rig.host.clock.sleepMs(3000);
    EXPECT_TRUE(r.cancelled && r.message.empty() && r.adapter == AdapterState::Uncommitted);
    EXPECT_EQ(sentRequests(rig.host, 0xA020).size(), piece);  // and no commit
    EXPECT_TRUE(rig.unchanged() && !thpapi::anyFrameWaiting());
  }
  Rig rig;
  const std::uint32_t runs = sweep(
      rig.host.backend, Fault::DropAnswer, &rig.host.clock,
      [&](FailureInjector& injector) {
        rig.restore();
        reopenThrough(injector);
        rig.notice.clear();
        reportUpgradeResult(rig.run());
      },
      [&](std::uint32_t n, const FailureInjector& injector) {
        SCOPED_TRACE(n);
        if (!injector.triggered()) {
          EXPECT_TRUE(rig.notice.shown.empty());
          EXPECT_TRUE(rig.tookNewBlock());
          return;
        }
        ASSERT_EQ(rig.notice.shown.size(), 2u);
        EXPECT_EQ(rig.notice.shown[0].text, kLoopAbortedText);
        if (n + 1 < kRequests) {
          EXPECT_EQ(rig.notice.shown[1].text, kUncommittedText);
          EXPECT_TRUE(rig.unchanged());
        } else {  // the commit confirmation lost: the adapter went on and took the modules
          EXPECT_EQ(rig.notice.shown[1].text, kMayBeCommittingText);
          EXPECT_TRUE(rig.tookNewBlock());
        }
      });
  EXPECT_EQ(runs, kRequests + 1);
}

// A silent adapter under a steady stream of unrelated management frames, one a millisecond:
// each wait still ends at its deadline.
TEST(Waits, EndAtTheirDeadlineUnderAFloodOfOtherFrames) {
  Bytes other(60, 0);
  writeMac(other, 0, sim::kDefaultHostMac);
  put(other, 6, {0x02, 0x4E, 0x4F, 0x49, 0x53, 0x45});
  put(other, 12, {0x88, 0x7B, 0x01, 0x3E});  // a HomePlug 1.0 entry nobody asked for
  struct Row {
    const char* wait;
    std::uint32_t deadlineMs;
    bool (*run)(Rig&);
  };
  const Row rows[] = {
      {"AV upgrade, a piece's confirmation", kPieceWaitMs,
       [](Rig& rig) { return upgradeLocalAvDevice(rig.path, rig.files).success; }},
      {"Turbo replies", brantleapi::kCollectRepliesMs,
       [](Rig& rig) { return brantleapi::detectTurboDevice(rig.path); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.wait);
    Rig rig;
    rig.host.behaviour().dropEvery = 1;
    FloodBackend flood(rig.host.backend, rig.host.clock, other);
    reopenThrough(flood);
    const std::uint32_t start = rig.host.clock.tickCount();
    EXPECT_FALSE(row.run(rig));
    EXPECT_LE(rig.host.clock.tickCount() - start, row.deadlineMs + 3);
  }
}

// The chain walk's last image, which a memory write sends; a header alone is an image too.
TEST(WalkImageChain, FindsTheLastImage) {
  for (const std::size_t images : {1u, 3u}) {
    for (const std::size_t size : {0u, 100u}) {
      const auto last =
          walkImageChain(samples::buildFirmwareFile(samples::sampleFirmwareImages(images, size)));
      ASSERT_TRUE(last.has_value());
      EXPECT_EQ((std::tuple{last->offset, last->nextHeaderOffset}),
                (std::tuple{(images - 1) * (kNvmHeaderLength + size), 0u}));
    }
  }
}

}  // namespace
}  // namespace quorrel::upgrade
