// `quorrel-cli password`, `set-network` and `add`: the Privacy page's commands and the two
// Main page dialogs on the same operations, device table and data file as the desktop program.
#include <CLI/CLI.hpp>
#include <cctype>
#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "api/device_table.h"
#include "brantleapi/turbo_state.h"
#include "cli_args.h"
#include "commands.h"
#include "crypto/keys.h"
#include "hpapi/membership.h"
#include "known_refresh.h"
#include "persistence/device_data.h"
#include "persistence/known_devices.h"
#include "persistence/locations.h"
#include "persistence/preferences.h"
#include "platform/notice.h"
#include "scan/scan.h"
#include "transport/interface_table.h"
#include "ui/hputilities/add_device.h"
#include "ui/hputilities/network_setting.h"
#include "ui/hputilities/password_rules.h"
#include "ui/presentation/key_dialog_text.h"

namespace quorrel::cli {

namespace {

constexpr char kOldTurboAdd[] =
    "Please upgrade the Device's FirmWare to 1.8 and then try to add the device.\nThe present "
    "device has older FirmWare version.";
constexpr char kOldTurboPassword[] =
    "Please upgrade the Device's FirmWare to 1.8 and then try to Enter Password.\nThe present "
    "device has older FirmWare version.";

std::string macText(const MacAddress& m) {
  char t[18];
  std::snprintf(t, sizeof t, "%02X:%02X:%02X:%02X:%02X:%02X", m[0], m[1], m[2], m[3], m[4], m[5]);
  return t;
}

// The known-device records a rescan keeps, as the Main page's refresh does: every listed device
// gets a record, a pending add its name and password.
void refreshKnown() {
  hpapi::MembershipState& s = hpapi::membershipState();
  refreshKnownDevices([&](const api::RemoteDevice& e, persistence::KnownDevice& r) {
    if (s.addingDevice && e.mac == s.addedMac && !s.addPassword.empty()) {
      if (!s.addName.empty()) r.name = s.addName;
      r.password = s.addPassword;
      s.addingDevice = false;
    }
  });
}

// The preferences and the data file, which the input is checked against before any adapter is
// asked. False (after the reason) when the data folder cannot be used.
bool loadData(const std::string& dataDir) {
  persistence::LoadPreferences();
  return loadDeviceData(dataDir);
}

// The password options every key command has: the argument (seen in `ps`, so for scripts
// only), one line of standard input, or a prompt without echo on a terminal.
struct PasswordOptions {
  std::optional<std::string> given;
  bool fromStdin = false;
  void add(CLI::App& app, const char* what) {
    auto* argument = app.add_option("PASSWORD", given, what);
    auto* stdinFlag = app.add_flag("--password-stdin", fromStdin,
                                   "read the password from the first line of standard input");
    argument->excludes(stdinFlag);
  }
};

constexpr char kMacRule[] = "MAC is six hexadecimal pairs joined by colons";

// Opens the interfaces and finds the first with a local adapter, which becomes current. False
// (after a message) when there is none or this user may not capture.
bool attach() {
  claimAdapters();
  Busy busy("looking for the local adapter");
  const auto interval = static_cast<std::uint32_t>(persistence::preferences().scanInterval);
  if (transport::EnumerateInterfaces() == 1 && scan::StartScan(interval, 3, false)) {
    for (int i = 0; i < transport::interfaceTable().interfaceCount; ++i)
      if (api::interfaceState(i).localPresent) {
        transport::setCurrentInterface(static_cast<std::uint32_t>(i));
        scan::StartScan(interval, 3, false);
        scan::SuspendAutoscan(false);
        return true;
      }
  }
  complain(api::kAdapterNotDetectedText);
  return false;
}

void rescan() {
  const bool found = scan::StartScan(
      static_cast<std::uint32_t>(persistence::preferences().scanInterval), 3, false);
  scan::SuspendAutoscan(false);
  if (found) refreshKnown();
}

int finish(int code, const nlohmann::json& result, bool json, const std::string& line) {
  scan::StopScan();
  persistence::SaveDeviceData();
  if (json)
    std::printf("%s\n", result.dump().c_str());
  else
    std::printf("%s\n", line.c_str());
  return code;
}

bool oldTurboFirmware(const char* text) {
  brantleapi::TurboState& t = brantleapi::turboState();
  if (!api::deviceTable().turboLocal || !t.turboFirmwareOld) return false;
  t.turboFirmwareOld = false;
  platform::showNotice(text, "Attention!", platform::NoticeIcon::Warning);
  return true;
}

}  // namespace

int runPassword(Arguments args) {
  CLI::App app{"Test a listed device's password and keep it as the password dialog does",
               "quorrel-cli password"};
  std::string mac, dataDir;
  PasswordOptions passwordOptions;
  bool json = false;
  app.add_option("MAC", mac, "the device, as AA:BB:CC:DD:EE:FF")->required();
  passwordOptions.add(app, "its device password, 4 to 24 characters (asked for when left out)");
  app.add_flag("--json", json, "print the result as JSON");
  app.add_option("--data-dir", dataDir, "folder of the device data file (made when missing)");
  if (const auto code = parseArguments(app, args)) return *code;
  for (char& c : mac) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  bool wellFormed = mac.size() == 17;
  for (std::size_t i = 0; wellFormed && i < mac.size(); ++i)
    wellFormed = i % 3 == 2 ? mac[i] == ':' : std::isxdigit(static_cast<unsigned char>(mac[i]));
  if (!wellFormed) return fail(kBadInput, kMacRule);
  const auto typed =
      readPassword(passwordOptions.given, passwordOptions.fromStdin, "Device password");
  if (!typed) return kBadInput;
  const std::string& password = *typed;
  if (!hputilities::checkDevicePasswordLength(platform::NoticeOwner::None, password))
    return kBadInput;
  if (captureRefused()) return kNoAdapter;  // before the data file, whose absence opens them
  if (!loadData(dataDir)) return kBadInput;
  if (persistence::FindKnownByMacText(mac) == 0)
    return fail(kBadInput, "no listed device has the MAC address " + mac);
  if (!attach()) return kNoAdapter;
  // Looked up again: the scan may have added records before it.
  persistence::KnownDevice* record = persistence::knownAt(persistence::FindKnownByMacText(mac));
  if (record == nullptr) {
    scan::StopScan();
    return kFailed;
  }
  if (oldTurboFirmware(kOldTurboPassword))
    return finish(kFailed, {{"result", "refused"}}, json, "Password not tested: firmware too old");
  hpapi::JoinTarget target;
  target.devicePassword = password;
  target.deviceMac = record->mac;
  hpapi::membershipState().useSavedKeyOnce = true;
  SafePoints safePoints;  // the key exchange ends before Ctrl-C is heeded
  int r = 0;
  {
    Busy busy("testing the password");
    r = hputilities::verifyDevicePassword(
        scan::receivePath(), platform::NoticeOwner::None, target, [&busy] { busy.step(); },
        &rescan);
  }
  // The rescan may have added records; look the device up again.
  if (persistence::KnownDevice* again =
          persistence::knownAt(persistence::FindKnownByMac(target.deviceMac)))
    again->password = hputilities::storedPassword(password, r);
  const char* word = r == 1 ? "verified" : r == 0 ? "wrong" : "unchecked";
  const int status =
      finish(r == 1 ? kOk : kFailed, {{"mac", macText(target.deviceMac)}, {"result", word}}, json,
             "Password of " + macText(target.deviceMac) + ": " + word);
  if (interrupted()) complain("interrupted", "stopped once the password test had ended");
  return status;
}

int runSetNetwork(Arguments args) {
  CLI::App app{"Set the network name on the local adapter, or on every device with a password",
               "quorrel-cli set-network"};
  std::string name, dataDir;
  bool all = false, isPublic = false, json = false;
  auto* nameOption = app.add_option("NAME", name, "network name, 4 to 24 printable characters");
  auto* publicFlag = app.add_flag("--public", isPublic, "the standard's public network name");
  nameOption->excludes(publicFlag);
  app.add_flag("--all", all, "every device with a known password, then the local adapter");
  app.add_flag("--json", json, "print the result as JSON");
  app.add_option("--data-dir", dataDir, "folder of the device data file (made when missing)");
  if (const auto code = parseArguments(app, args)) return *code;
  if (!isPublic && name.empty()) return fail(kBadInput, "give a network NAME or --public");
  if (!isPublic) {
    if (!hputilities::checkNetworkNameLength(name)) return kBadInput;
    // The rule's own line, on standard error: standard output carries only the result.
    if (const char* problem = hputilities::networkPasswordProblem(name)) {
      std::string line = problem;
      while (!line.empty() && line.back() == '\n') line.pop_back();
      complain(line);
      platform::showNotice(hputilities::kInvalidNetworkNameText, hputilities::kInvalidEntryCaption,
                           platform::NoticeIcon::Error);
      return kBadInput;
    }
  }
  if (captureRefused()) return kNoAdapter;  // before the data file, whose absence opens them
  if (!loadData(dataDir)) return kBadInput;
  if (!attach()) return kNoAdapter;
  if (isPublic)
    name = api::deviceTable().avLocal ? crypto::kDefaultAvNetworkPassword
                                      : crypto::kDefaultHp1NetworkPassword;
  hputilities::AllDevicesResult r;
  // Ctrl-C is heeded once every device asked has answered: a device left half-keyed is worse
  // than a wait, and the state of each is said below.
  SafePoints safePoints;
  int done = 0;
  {
    Busy busy(all ? "setting the network name on every device" : "setting the network name");
    done = hputilities::changeNetworkName(scan::receivePath(), name, all, &rescan, &r);
  }
  // As the Privacy page leaves it: no station is listed until a scan names it again, in the
  // network it is in now.
  if (done >= 0) {
    api::ClearRemotes();
    persistence::PurgeUnaddressedKnown();
  }
  const bool ok = done == 1 && (!all || r.allSet());
  std::string moved, stayed;  // by name (or MAC), for the word after Ctrl-C
  nlohmann::json result{{"network", name}, {"result", ok ? "set" : "failed"}};
  std::string line = "Network '" + name + "': ";
  if (all) {
    result["devices"] = r.total;
    result["set"] = r.done;
    result["local"] = r.localSet;
    line += std::to_string(r.done) + " of " + std::to_string(r.total) + " devices set, local " +
            (r.localSet ? "set" : "not set");
    // Each device tried, and by name (or MAC) those that did not join.
    nlohmann::json tried = nlohmann::json::array();
    for (const hputilities::DeviceJoin& d : r.devices) {
      tried.push_back(
          {{"mac", macText(d.mac)}, {"name", d.name}, {"joined", d.joined}, {"local", d.local}});
      const std::string label =
          d.name.empty() ? macText(d.mac) : d.name + " (" + macText(d.mac) + ")";
      if (!d.local) {
        std::string& list = d.joined ? moved : stayed;
        list += (list.empty() ? "" : ", ") + label;
      }
    }
    result["tried"] = tried;
    if (!stayed.empty()) line += "; not joined: " + stayed;
  } else {
    line += ok ? "local adapter set" : "local adapter not set";
  }
  const int status = finish(ok ? kOk : kFailed, result, json, line);
  if (interrupted())
    complain("interrupted",
             all ? std::to_string(r.done) + " of " + std::to_string(r.total) +
                       " devices are in the network '" + name + "', the local adapter " +
                       (r.localSet ? "too" : "is not") +
                       "; moved: " + (moved.empty() ? "none" : moved) +
                       "; still in their old network: " + (stayed.empty() ? "none" : stayed)
                 : std::string("the local adapter ") +
                       (ok ? "is in the network '" + name + "'" : "was not changed"));
  return status;
}

int runAdd(Arguments args) {
  CLI::App app{"Add a device to the network by its device password", "quorrel-cli add"};
  std::string name, dataDir;
  PasswordOptions passwordOptions;
  bool json = false;
  passwordOptions.add(app, "the device password, 4 to 24 characters (asked for when left out)");
  app.add_option("--name", name, "the name to give the new device");
  app.add_flag("--json", json, "print the result as JSON");
  app.add_option("--data-dir", dataDir, "folder of the device data file (made when missing)");
  if (const auto code = parseArguments(app, args)) return *code;
  // The data file keeps a name in a field of bytes: a letter outside ASCII takes two or more.
  if (name.size() > persistence::kMaxUserNameLength)
    return fail(kBadInput, "the name is too long",
                "the data file keeps at most " + std::to_string(persistence::kMaxUserNameLength) +
                    " bytes, and '" + name + "' (" + std::to_string(characterCount(name)) +
                    " characters) takes " + std::to_string(name.size()));
  const auto typed =
      readPassword(passwordOptions.given, passwordOptions.fromStdin, "Device password");
  if (!typed) return kBadInput;
  const std::string& password = *typed;
  if (!hputilities::checkDevicePasswordLength(platform::NoticeOwner::None, password))
    return kBadInput;
  if (captureRefused()) return kNoAdapter;  // before the data file, whose absence opens them
  if (!loadData(dataDir)) return kBadInput;
  // Two devices of one name could not be told apart in the lists.
  if (!name.empty() && persistence::FindKnownByName(name) != 0) {
    platform::showNotice(ui::key_dialog_text::kAnotherName, ui::key_dialog_text::kAttention,
                         platform::NoticeIcon::Warning);
    return kBadInput;
  }
  if (!attach()) return kNoAdapter;
  if (oldTurboFirmware(kOldTurboAdd))
    return finish(kFailed, {{"result", "refused"}}, json, "Device not added: firmware too old");
  hpapi::MembershipState& s = hpapi::membershipState();
  s.addingDevice = true;
  s.addName.clear();
  const std::optional<std::string_view> given =
      name.empty() ? std::nullopt : std::optional<std::string_view>(name);
  std::string tried = password;
  SafePoints safePoints;  // the key exchange ends before Ctrl-C is heeded
  int r = 0;
  {
    Busy busy("adding the device");
    r = hputilities::addDevice(
        scan::receivePath(), platform::NoticeOwner::None, given, tried, nullptr,
        [&busy] { busy.step(); }, &rescan);
  }
  const MacAddress added = s.addedMac;
  if (r == 1 && !isZeroMac(added)) {
    int k = persistence::FindKnownByMac(added);
    if (k == 0)
      k = persistence::appendKnownDevice(added,
                                         name.empty() ? persistence::defaultDeviceName() : name);
    if (persistence::KnownDevice* record = persistence::knownAt(k)) {
      if (!name.empty()) record->name = name;
      record->password = s.addPassword;
      record->networkName = api::currentDevices().localNetworkName.view();
    }
    s.addingDevice = false;
  }
  // One entry per device the add reached: the one that joined, or none.
  nlohmann::json devices = nlohmann::json::array();
  if (r == 1)
    devices.push_back(
        {{"mac", macText(added)}, {"name", persistence::knownNameOf(added)}, {"result", "added"}});
  const nlohmann::json result{{"result", r == 1 ? "added" : "failed"}, {"devices", devices}};
  const int status = finish(r == 1 ? kOk : kFailed, result, json,
                            r == 1 ? "Device " + macText(added) + " added" : "Device not added");
  if (interrupted())
    complain("interrupted", r == 1 ? "stopped once the device had joined"
                                   : "stopped once the add had ended; the local adapter keeps "
                                     "its network");
  return status;
}

}  // namespace quorrel::cli
