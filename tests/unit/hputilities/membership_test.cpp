// Network names, password tests and adds against the in-process simulation of each family.
#include <algorithm>
#include <fstream>

#include "crypto/keys.h"
#include "diagnostics/logs.h"
#include "hpapi/key_exchange.h"
#include "hpapi/membership.h"
#include "persistence/locations.h"
#include "scan/network_naming.h"
#include "support/failure_injector.h"
#include "support/scratch_dir.h"
#include "ui/hputilities/add_device.h"
#include "ui/hputilities/network_setting.h"
#include "unit/scan/scan_fixture.h"

namespace quorrel::hputilities {
namespace {

using scan::testing::ScanFixture;
using namespace std::literals;

constexpr char kOldKey[] = "50D3E4933F855B7040784DF815AA8DB7";
constexpr MacAddress kOne{0x00, 0xB0, 0x52, 0x30, 0x00, 0x01};
constexpr MacAddress kTwo{0x00, 0xB0, 0x52, 0x30, 0x00, 0x02};

std::string local(const char* family) {
  std::string s = "[local]\nmac 00:B0:52:10:00:01\n";
  if (std::string(family) == "av") return s + "chip 2\nnetwork_key " + kOldKey + "\n";
  return s + "family " + family + "\nnetwork_key 50D3E4933F855B70\n";
}
std::string station(const char* family, int i, const char* password, const char* key = nullptr) {
  std::string s = "[remote]\nmac 00:B0:52:30:00:0" + std::to_string(i) + "\n";
  s += std::string(family) == "av" ? "chip 2\n" : std::string("family ") + family + "\n";
  if (*password != 0) s += std::string("device_password ") + password + "\n";
  if (key != nullptr) s += std::string("network_key ") + key + "\n";
  return s;
}

class MembershipTest : public ScanFixture {
 protected:
  void SetUp() override {
    ScanFixture::SetUp();
    hpapi::resetMembershipState();
  }
  // The local adapter and the stations that share its key hold the key of "Old Net".
  sim::Network& start(const std::string& text) {
    sim::Network* n = attach(text);
    sim::Adapter& l = n->scenario().local;
    const bool av = !sim::isHp1Family(l);
    crypto::Key old = av ? crypto::deriveNMK("Old Net") : crypto::deriveNEK("Old Net");
    if (!av) std::fill(old.begin() + 8, old.end(), 0);
    for (auto& r : n->scenario().remotes)
      if (r.networkKey == l.networkKey) r.networkKey = old;
    l.networkKey = old;
    transport::setCurrentInterface(0);
    EXPECT_TRUE(scan::LocalSearch());
    api::currentDevices().localNetworkName = "Old Net";
    notices.clear();
    return *n;
  }
  void know(const MacAddress& mac, const char* password) {
    const int i = persistence::appendKnownDevice(mac, "dev");
    persistence::knownAt(i)->password = password;
  }
  static crypto::Key keyOf(const sim::Adapter& a) {
    crypto::Key k{};
    std::copy_n(a.networkKey.begin(), sim::isHp1Family(a) ? 8 : 16, k.begin());
    return k;
  }
  crypto::Key want(const char* name) {
    crypto::Key k{};
    crypto::copyKey(k, crypto::networkKeyFromPassword(name, hpapi::currentFamily()),
                    hpapi::currentFamily());
    return k;
  }
  std::vector<std::string> texts() const {
    std::vector<std::string> out;
    for (const auto& n : notices.shown) out.push_back(n.text);
    return out;
  }
  transport::ReceivePath path;
};

// With a device whose stored password is wrong, or without one.
class FamilyTest : public MembershipTest,
                   public ::testing::WithParamInterface<std::tuple<const char*, bool>> {};
INSTANTIATE_TEST_SUITE_P(Families, FamilyTest,
                         ::testing::Combine(::testing::Values("av", "hp1", "turbo"),
                                            ::testing::Bool()));

// Every family: each device with a known password and then the local adapter end in the new
// network; devices without a password (or with one it turned down) are not tried and do not
// count; one that was tried and did not join is named in the result.
TEST_P(FamilyTest, SetAllDevicesMovesThoseWithPasswords) {
  const auto [family, wrong] = GetParam();
  const MacAddress four{0x00, 0xB0, 0x52, 0x30, 0x00, 0x04};
  sim::Network& net = start(local(family) + station(family, 1, "Alpha-Pass-1") +
                            station(family, 2, "Beta-Pass-22") + station(family, 3, "") +
                            station(family, 4, "Delta-Pass-4"));
  know(kOne, "CHECK Alpha-Pass-1");
  know(kTwo, "Not Beta-Pass-22");
  know(MacAddress{0x00, 0xB0, 0x52, 0x30, 0x00, 0x03}, "");
  if (wrong) know(four, "Wrong-Pass-9");
  AllDevicesResult r;
  EXPECT_EQ(changeNetworkName(path, "Blue House", true, nullptr, &r), 1);
  EXPECT_EQ(keyOf(net.scenario().local), want("Blue House"));
  EXPECT_EQ(keyOf(net.scenario().remotes[0]), want("Blue House"));
  EXPECT_NE(keyOf(net.scenario().remotes[1]), want("Blue House"));
  EXPECT_NE(keyOf(net.scenario().remotes[2]), want("Blue House"));
  EXPECT_EQ(persistence::knownAt(persistence::FindKnownByMac(kOne))->networkName, "Blue House");
  std::string tried;  // each device tried, whether it joined; the local adapter last
  for (const DeviceJoin& d : r.devices) tried += formatMac(d.mac) + (d.joined ? "+ " : "- ");
  EXPECT_EQ(tried, "00:B0:52:30:00:01+ " + std::string(wrong ? "00:B0:52:30:00:04- " : "") +
                       "00:B0:52:10:00:01+ ");
  EXPECT_EQ(r.done, 2);
  EXPECT_EQ(r.total, wrong ? 3 : 2);
  EXPECT_EQ(texts(), std::vector<std::string>{wrong ? kSomeDevicesNotAdded : kAllDevicesAdded});
  EXPECT_FALSE(scan::scanState().autoscanOff);
}

// A local adapter that refuses its key is no success, even with nothing else to set, and the
// local record keeps the name that goes with the key it still has.
class RefusedTest : public MembershipTest, public ::testing::WithParamInterface<bool> {};
INSTANTIATE_TEST_SUITE_P(LocalOrAll, RefusedTest, ::testing::Bool());

TEST_P(RefusedTest, RefusedLocalKeyIsReportedAndTheOldNameComesBack) {
  sim::Network& net = start(local("av") + "[behaviour]\nstatus 1 0xA051\n");
  persistence::resetKnownDevices();
  EXPECT_EQ(changeNetworkName(path, "Blue House", GetParam(), nullptr), 0);
  EXPECT_EQ(texts().front(), GetParam() ? kSomeDevicesNotAdded : kUnableToComplete);
  EXPECT_EQ(api::currentDevices().localNetworkName, "Old Net");
  EXPECT_NE(keyOf(net.scenario().local), want("Blue House"));
}

// A failed password test puts back the key the local adapter had, never a zero or stale key.
class OlderFamilyTest : public MembershipTest, public ::testing::WithParamInterface<const char*> {};
INSTANTIATE_TEST_SUITE_P(Families, OlderFamilyTest, ::testing::Values("hp1", "turbo"));

TEST_P(OlderFamilyTest, FailedPasswordTestRestoresTheLocalKey) {
  const char* family = GetParam();
  sim::Network& net = start(local(family) + station(family, 1, "Alpha-Pass-1"));
  const crypto::Key before = keyOf(net.scenario().local);
  api::deviceTable().localHp1NetworkKey = {1, 2, 3, 4, 5, 6, 7, 8};  // stale
  if (std::string(family) == "turbo")
    net.behaviour().dropFirst =
        static_cast<std::uint32_t>(net.stats().answers + 1);  // no key reply
  hpapi::JoinTarget t{"wrong-pass"sv, kOne};
  EXPECT_FALSE(hpapi::joinDeviceToNetwork(path, t, std::nullopt, false));
  EXPECT_EQ(keyOf(net.scenario().local), before);
}

// After any password test the next join derives its key from the name again.
TEST_F(MembershipTest, PasswordTestEndsTheUseOfTheSavedKey) {
  start(local("av") + station("av", 1, "Alpha-Pass-1"));
  hpapi::JoinTarget t{"wrong-pass"sv, kOne};
  hpapi::membershipState().useSavedKeyOnce = true;
  EXPECT_EQ(verifyDevicePassword(path, platform::NoticeOwner::None, t, nullptr, nullptr), 0);
  EXPECT_FALSE(hpapi::membershipState().useSavedKeyOnce);
}

// The older road tries the password as typed, upper-cased, then with dashes; the caller gets
// the form that worked. Found by its password, a device from another network comes in. The
// stored name derives no key the local adapter has (a network no known name gives): the local
// adapter and the device end on the key the adapter had, not one made from that text.
class OlderRoadTest : public MembershipTest,
                      public ::testing::WithParamInterface<std::tuple<const char*, bool>> {};
INSTANTIATE_TEST_SUITE_P(FamiliesAndModes, OlderRoadTest,
                         ::testing::Combine(::testing::Values("hp1", "turbo"), ::testing::Bool()));

TEST_P(OlderRoadTest, OlderRoadNormalisesThePassword) {
  const auto [family, search] = GetParam();
  sim::Network& net = start(local(family) + station(family, 1, "ABCD-EFGH-IJKL-MNOP",
                                                    search ? "0123456789ABCDEF" : nullptr));
  const crypto::Key before = keyOf(net.scenario().local);
  api::currentDevices().localNetworkName = scan::kUnknownNetworkName;
  hpapi::membershipState().addingDevice = search;
  hpapi::membershipState().useSavedKeyOnce = !search;  // as the password dialog does
  std::string password = "abcdefghijklmnop";
  EXPECT_EQ(addDevice(path, platform::NoticeOwner::None, "Den", password, search ? nullptr : &kOne,
                      nullptr, nullptr),
            1);
  EXPECT_EQ(password, "ABCD-EFGH-IJKL-MNOP");
  EXPECT_EQ(keyOf(net.scenario().remotes[0]), keyOf(net.scenario().local));
  EXPECT_EQ(keyOf(net.scenario().local), before);
  EXPECT_EQ(texts(), std::vector<std::string>{search ? kAddedText : kVerifiedText});
  EXPECT_EQ(hpapi::membershipState().addedMac, search ? kOne : MacAddress{});
}

// A HomePlug 1.0 adapter whose parameters read back after a key setting differ from what it
// was given (here a selector 0 key it was never told): each reply goes to the device log, all
// 50 bytes, and the setting fails.
TEST_F(MembershipTest, Hp1ReadBackMismatchGoesToTheDeviceLog) {
  sim::Network& net = start(local("hp1"));
  testing::ScratchDir dir;
  persistence::setDataDirectory(dir.path());
  net.scenario().local.selectorZeroKey = {0xDE, 0xAD, 0xBE, 0xEF, 0x01, 0x02, 0x03, 0x04};
  EXPECT_EQ(changeNetworkName(path, "Blue House", false, nullptr), 0);
  std::ifstream log(diagnostics::programDeviceLog().path);
  persistence::setDataDirectory("");
  int entries = 0;
  for (std::string line; std::getline(log, line);) {
    if (!line.starts_with("**SETNEK**")) continue;
    ++entries;
    EXPECT_EQ(line.size(), 10u + 3 * 50u);  // MAC, the planted key, selector 1, the new key, ...
    EXPECT_TRUE(line.starts_with("**SETNEK** 00 b0 52 10 00 01 de ad be ef 01 02 03 04 01 "));
  }
  EXPECT_EQ(entries, 3);  // one reply in each of the three rounds
}

// The AV road brings in a device from another network, and gives up on two devices that share
// a password, on one that never answers and when the user's key cannot be read, with the local
// adapter back on the user's key and no add left pending.
struct AddCase {
  int shared;  // stations with the password
  const char* password;
  int result;
  const char* text;
};
class AvAddTest : public MembershipTest, public ::testing::WithParamInterface<AddCase> {};
INSTANTIATE_TEST_SUITE_P(Cases, AvAddTest,
                         ::testing::Values(AddCase{1, "Alpha-Pass-1", 1, nullptr},
                                           AddCase{2, "Alpha-Pass-1", 0, kAddErrorText},
                                           AddCase{1, "Gamma-Pass-3", 0, kRemoteNmkText},
                                           AddCase{0, "Alpha-Pass-1", 0, kReadNmkErrorText}));

TEST_P(AvAddTest, AddFromAnotherNetwork) {
  const AddCase c = GetParam();
  const char* other = "00112233445566778899AABBCCDDEEFF";
  std::string text = local("av");
  for (int i = 1; i <= c.shared; ++i) text += station("av", i, "Alpha-Pass-1", other);
  sim::Network& net = start(text);
  const crypto::Key before = keyOf(net.scenario().local);
  if (c.shared == 0) {  // every piece of the local block refused
    net.behaviour().rejectPiece = net.scenario().local.modules.counters.pieces + 1;
    net.behaviour().rejectCount = 1000000;
  }
  hpapi::membershipState().addingDevice = true;
  std::string password = c.password;
  EXPECT_EQ(
      addDevice(path, platform::NoticeOwner::None, "Den", password, nullptr, nullptr, nullptr),
      c.result);
  EXPECT_EQ(keyOf(net.scenario().local), before);
  if (c.result == 1) {
    EXPECT_EQ(keyOf(net.scenario().remotes[0]), before);
    EXPECT_EQ(hpapi::membershipState().addName, "Den");
  } else {
    EXPECT_EQ(texts(), std::vector<std::string>{c.text});
  }
  EXPECT_EQ(hpapi::membershipState().addingDevice, c.result == 1);
  EXPECT_FALSE(scan::scanState().autoscanOff);
}

// A scan the user asked for is pending and the scan running while each key operation waits,
// and every sleep lets the scan tick, as the desktop program's sleeps run the event loop where
// the Main page's timer fires: the operation still gets its answers and stores the right
// result, and the user's scan waits for it to end.
class TickingClock final : public platform::Clock {
 public:
  explicit TickingClock(platform::Clock& inner) : inner_(inner) {}
  std::uint32_t tickCount() override { return inner_.tickCount(); }
  std::uint64_t microseconds() override { return inner_.microseconds(); }
  void sleepMs(std::uint32_t ms) override {
    inner_.sleepMs(ms);
    scan::ScanTick();
  }

 private:
  platform::Clock& inner_;
};
struct TickCase {
  const char* family;
  const char* operation;
};
class TickDuringWaitTest : public MembershipTest, public ::testing::WithParamInterface<TickCase> {};
INSTANTIATE_TEST_SUITE_P(Operations, TickDuringWaitTest,
                         ::testing::Values(TickCase{"av", "local"}, TickCase{"hp1", "local"},
                                           TickCase{"turbo", "local"}, TickCase{"av", "remote"},
                                           TickCase{"hp1", "remote"}, TickCase{"turbo", "remote"},
                                           TickCase{"av", "verify"}, TickCase{"hp1", "verify"},
                                           TickCase{"av", "add"}, TickCase{"turbo", "add"}));

TEST_P(TickDuringWaitTest, OperationGetsItsAnswer) {
  const auto [family, operation] = GetParam();
  const std::string op = operation;
  const char* other = op == "add" ? "0123456789ABCDEF0123456789ABCDEF" : nullptr;
  sim::Network& net = start(local(family) + station(family, 1, "ALPHA-PASS-1", other));
  const crypto::Key before = keyOf(net.scenario().local);
  // Every answer comes while the operation sleeps, and the user's scan outlasts it.
  net.behaviour().delayMs = 5;
  scan::scanState().autoscanInterval = 100000;
  scan::restartScanCycle();
  scan::requestUserScan();
  scan::SuspendAutoscan(false);
  const std::uint32_t ran = scan::scanState().ticksRun;
  TickingClock ticking(clock);
  platform::setClock(&ticking);
  const crypto::Key nk = want("Blue House");
  const crypto::Key dk = crypto::deviceKeyFromPassword("ALPHA-PASS-1", hpapi::currentFamily());
  std::string password = "ALPHA-PASS-1";
  int r = 0;
  if (op == "local") {
    r = hpapi::setLocalNEK(path, nullptr, nk);
    EXPECT_EQ(keyOf(net.scenario().local), nk);
  } else if (op == "remote") {
    MacAddress target = kOne;
    r = hpapi::setRemoteKey(path, dk, nk, target, false, true);
    EXPECT_EQ(target, kOne);
    EXPECT_EQ(keyOf(net.scenario().remotes[0]), nk);
  } else if (op == "verify") {
    know(kOne, "ALPHA-PASS-1");
    hpapi::JoinTarget t{"ALPHA-PASS-1"sv, kOne};
    r = verifyDevicePassword(path, platform::NoticeOwner::None, t, nullptr, nullptr);
    EXPECT_EQ(storedPassword("ALPHA-PASS-1", r), "ALPHA-PASS-1");
    EXPECT_EQ(keyOf(net.scenario().local), before);
  } else {
    hpapi::membershipState().addingDevice = true;
    r = addDevice(path, platform::NoticeOwner::None, "Den", password, nullptr, nullptr, nullptr);
    EXPECT_EQ(keyOf(net.scenario().remotes[0]), before);
    EXPECT_EQ(hpapi::membershipState().addName, "Den");
  }
  platform::setClock(&clock);
  EXPECT_NE(r, 0);
  EXPECT_EQ(scan::scanState().ticksRun, ran);
  EXPECT_GT(scan::scanState().ticksSkipped, 0u);
  scan::ScanTick();  // the user's scan goes on once the operation is over
  EXPECT_EQ(scan::scanState().ticksRun, ran + 1);
}

// Dashes never overflow the field, and a name is never taken as a format.
TEST_F(MembershipTest, DashesNeverOverflowTheFieldAndNameTextIsNeverAFormat) {
  const std::pair<std::string, std::string> cases[] = {
      {"abcdefghijklmnop", "abcd-efgh-ijkl-mnop"},
      {"abcd-efgh-ijkl-mnop", "abcd-efgh-ijkl-mnop"},
      {"abcdefghijklmnopqrstuv", "abcd-efgh-ijklmnopqrstuv"},
      {"abcdefghijklmnopqrstuvw", "abcd-efghijklmnopqrstuvw"},
      {"abcdefghijklmnopqrstuvwx", "abcdefghijklmnopqrstuvwx"},
  };
  for (const auto& [in, out] : cases) {
    std::string p = in;
    insertPasswordDashes(p);
    EXPECT_EQ(p, out);
  }
  EXPECT_EQ(localNetworkSetText("%s%n 100%"), "Local network set to '%s%n 100%'");
}

// Every send failed, every answer dropped and a cancel at every frame in turn, for the local
// setting, Set All Devices, a password test and an add on each road: the local adapter ends on
// the key it had unless the operation said it set another, a device the result counts as
// joined shares the local adapter's key (Set All Devices: the new one), an operation a cancel
// stopped ends with the cancel's message (a password test keeps the password as not checked),
// and the autoscan and cursor come back.
struct SweepCase {
  const char* family;
  const char* operation;
  testing::Fault fault;
};
class SweepTest : public MembershipTest, public ::testing::WithParamInterface<SweepCase> {};
INSTANTIATE_TEST_SUITE_P(Operations, SweepTest,
                         ::testing::Values(SweepCase{"av", "local", testing::Fault::DropAnswer},
                                           SweepCase{"av", "all", testing::Fault::DropAnswer},
                                           SweepCase{"hp1", "local", testing::Fault::FailSend},
                                           SweepCase{"hp1", "verify", testing::Fault::DropAnswer},
                                           SweepCase{"turbo", "verify", testing::Fault::FailSend},
                                           SweepCase{"av", "add", testing::Fault::FailSend},
                                           SweepCase{"av", "add", testing::Fault::DropAnswer},
                                           SweepCase{"turbo", "add", testing::Fault::DropAnswer},
                                           SweepCase{"av", "local", testing::Fault::Cancel},
                                           SweepCase{"av", "all", testing::Fault::Cancel},
                                           SweepCase{"av", "verify", testing::Fault::Cancel},
                                           SweepCase{"hp1", "verify", testing::Fault::Cancel},
                                           SweepCase{"av", "add", testing::Fault::Cancel},
                                           SweepCase{"turbo", "add", testing::Fault::Cancel}));

TEST_P(SweepTest, EveryFailurePointLeavesKnownKeys) {
  const SweepCase c = GetParam();
  const std::string op = c.operation;
  const char* other = op == "add" ? "00112233445566778899AABBCCDDEEFF" : nullptr;
  // The older road's tests fail on the typed form first and pass on the upper-cased one.
  const bool older = std::string(c.family) != "av";
  std::string text =
      local(c.family) + station(c.family, 1, older ? "ALPHA-PASS-1" : "Alpha-Pass-1", other);
  if (older && other != nullptr) text.resize(text.size() - 17);
  sim::Network& net = start(text);
  if (op == "all") know(kOne, "Alpha-Pass-1");
  const sim::Scenario initial = net.scenario();
  const crypto::Key before = keyOf(initial.local);
  const auto runs = testing::sweep(
      backend, c.fault, &clock,
      [&](testing::FailureInjector& injector) {
        net.scenario() = initial;
        api::currentDevices().localNetworkName = "Old Net";
        hpapi::resetMembershipState();
        transport::setBackend(&injector);
        transport::EnumerateInterfaces();
        transport::OpenInterface(0);
        int r = 0;
        bool succeeded = false;
        notices.clear();
        std::string password = "Alpha-Pass-1";
        if (op == "local") {
          r = changeNetworkName(path, "Blue House", false, nullptr);
          EXPECT_EQ(keyOf(net.scenario().local), r == 1 ? want("Blue House") : before);
          succeeded = r == 1;
        } else if (op == "all") {
          AllDevicesResult all;
          changeNetworkName(path, "Blue House", true, nullptr, &all);
          succeeded = all.allSet();
          if (all.localSet) {
            EXPECT_EQ(keyOf(net.scenario().local), want("Blue House"));
          }
          EXPECT_EQ(all.allSet() && !all.cancelled, texts().front() == kAllDevicesAdded);
          if (all.allSet()) {
            EXPECT_EQ(keyOf(net.scenario().remotes[0]), want("Blue House"));
          }
        } else if (op == "verify") {
          hpapi::JoinTarget t{"Alpha-Pass-1"sv, kOne};
          r = verifyDevicePassword(path, platform::NoticeOwner::None, t, nullptr, nullptr);
          succeeded = r == 1;
          if (injector.cancelFlag() && r != 1) {
            EXPECT_EQ(r, -1);
          }
        } else {
          hpapi::membershipState().addingDevice = true;
          r = addDevice(path, platform::NoticeOwner::None, "Den", password, nullptr, nullptr,
                        nullptr);
          EXPECT_EQ(hpapi::membershipState().addingDevice, r == 1);
          succeeded = r == 1;
        }
        if (injector.cancelFlag() && !succeeded) {
          ASSERT_FALSE(notices.shown.empty());
          EXPECT_EQ(notices.shown.back().caption, kCancelledCaption) << notices.shown.back().text;
        }
        const bool join = op == "verify" || op == "add";
        if (join) {
          EXPECT_EQ(keyOf(net.scenario().local), before) << "result " << r;
        }
        if (join && r == 1) {
          EXPECT_EQ(keyOf(net.scenario().remotes[0]), before);
        }
        transport::CloseInterface(0);
        transport::setBackend(&backend);
      },
      [&](std::uint32_t, testing::FailureInjector&) {
        EXPECT_FALSE(scan::scanState().autoscanOff);
        EXPECT_FALSE(notices.waiting);
      },
      400);
  EXPECT_GE(runs, 2u);
  std::printf("%s %s, %s: %u runs\n", c.family, c.operation, testing::faultName(c.fault), runs);
}

}  // namespace
}  // namespace quorrel::hputilities
