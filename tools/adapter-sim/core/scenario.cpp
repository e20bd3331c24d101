// The line-based scenario format: sections of `key value` lines, checked as they are read and
// once more as a whole.
#include "adapter-sim/core/scenario.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

namespace quorrel::sim {

std::string_view chipPrefix(std::uint8_t chipId) {
  return isSecondGeneration(chipId) ? "LQB-200" : "LQA-100";
}

std::string defaultFirmware(std::uint8_t chipId) {
  return std::string(chipPrefix(chipId)) + "-FW-2-4-0517-R";
}

namespace {

enum class Section { None, Local, Remote, Behaviour };

struct Failure {
  int line;
  std::string message;
};

// One adapter section as read, with the line of each key for later checks.
struct AdapterDraft {
  Adapter adapter;
  int sectionLine = 0;
  std::map<std::string, int, std::less<>> keyLines;
  std::vector<int> linkLines;  // one per `link`, which may be given several times
  bool has(std::string_view key) const { return keyLines.find(key) != keyLines.end(); }
};

std::string_view trim(std::string_view s) {
  const auto first = s.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(" \t\r");
  return s.substr(first, last - first + 1);
}

bool printable(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) return false;
  return true;
}

// Decimal, or hexadecimal after "0x"; false when not a whole number within [0, max].
bool parseNumber(std::string_view text, std::uint64_t max, std::uint64_t& out) {
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  if (text.empty()) return false;
  std::uint64_t v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v, base);
  if (ec != std::errc() || end != text.data() + text.size() || v > max) return false;
  out = v;
  return true;
}

// 32 hex digits, or 16 for the 8-byte key of a HomePlug 1.0 or Turbo adapter (the rest zero).
bool parseKey(std::string_view text, NetworkKey& out) {
  if (text.size() != 32 && text.size() != 16) return false;
  NetworkKey k{};
  for (std::size_t i = 0; i < text.size() / 2; ++i) {
    std::uint64_t byte = 0;
    if (!parseNumber("0x" + std::string(text.substr(i * 2, 2)), 0xFF, byte)) return false;
    k[i] = static_cast<std::uint8_t>(byte);
  }
  out = k;
  return true;
}

bool parseYesNo(std::string_view text, bool& out) {
  if (text == "yes" || text == "on" || text == "1") return out = true, true;
  if (text == "no" || text == "off" || text == "0") return out = false, true;
  return false;
}

// Two numbers from one value, the second optional: "N" or "N M".
bool parsePair(std::string_view value, std::uint64_t maxFirst, std::uint64_t maxSecond,
               std::uint64_t& first, std::uint64_t& second) {
  std::istringstream words{std::string(value)};
  std::string a, b, extra;
  words >> a >> b >> extra;
  return parseNumber(a, maxFirst, first) && (b.empty() || parseNumber(b, maxSecond, second)) &&
         extra.empty();
}

std::string joinPath(std::string_view directory, std::string_view name) {
  if (directory.empty() || name.front() == '/') return std::string(name);
  std::string path(directory);
  if (path.back() != '/') path += '/';
  return path + std::string(name);
}

// The whole file, when it can be read and holds 1 to `max` bytes.
bool readModuleFile(const std::string& path, std::size_t max, std::vector<std::uint8_t>& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::vector<std::uint8_t> bytes;
  char chunk[65536];
  while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
    bytes.insert(bytes.end(), chunk, chunk + in.gcount());
    if (bytes.size() > max) return false;
  }
  if (bytes.empty()) return false;
  out = std::move(bytes);
  return true;
}

class Parser {
 public:
  Parser(Scenario& out, std::string_view directory) : out_(out), directory_(directory) {}

  void line(int number, std::string_view raw) {
    const std::string_view text = trim(raw);
    if (text.empty() || text[0] == '#' || text[0] == ';') return;
    if (text.front() == '[') return section(number, text);
    const auto split = text.find_first_of(" \t");
    const std::string_view key = text.substr(0, split);
    const std::string_view value =
        split == std::string_view::npos ? std::string_view{} : trim(text.substr(split));
    if (section_ == Section::None) fail(number, "\"" + std::string(key) + "\" before any section");
    if (value.empty()) fail(number, "\"" + std::string(key) + "\" needs a value");
    if (section_ == Section::Behaviour) return behaviourKey(number, key, value);
    AdapterDraft& d = section_ == Section::Local ? local_ : remotes_.back();
    if (key == "link" && section_ == Section::Remote) return link(number, d, value);
    if (!d.keyLines.emplace(std::string(key), number).second)
      fail(number, "\"" + std::string(key) + "\" given twice in one section");
    adapterKey(number, d.adapter, key, value);
  }

  void finish() {
    if (!haveLocal_) fail(0, "no [local] section");
    finishAdapter(local_, "[local]");
    if (remotes_.size() > kMaxRemotes)
      fail(remotes_[kMaxRemotes].sectionLine,
           "more than " + std::to_string(kMaxRemotes) + " remote stations");
    std::set<MacAddress> macs{local_.adapter.mac};
    for (auto& r : remotes_) {
      if (!r.has("network_key")) r.adapter.networkKey = local_.adapter.networkKey;
      finishAdapter(r, "[remote]");
      if (r.adapter.mac == kLocalDeviceMac)
        fail(r.keyLines.at("mac"), "a remote station cannot use the local-device address");
      if (!macs.insert(r.adapter.mac).second)
        fail(r.keyLines.at("mac"), "MAC address " + formatMac(r.adapter.mac) + " used twice");
      const bool eightBit =
          local_.adapter.family == AdapterFamily::Av && !isSecondGeneration(local_.adapter.chipId);
      if (eightBit && (r.adapter.txRate > 0xFF || r.adapter.rxRate > 0xFF))
        fail(r.keyLines.at("rate"),
             "rate above 255 does not fit the station list of a first-generation adapter");
      checkLinks(r, eightBit);
    }
    out_.local = local_.adapter;
    out_.remotes.clear();
    for (auto& r : remotes_) out_.remotes.push_back(r.adapter);
  }

  [[noreturn]] static void fail(int number, std::string message) {
    throw Failure{number, std::move(message)};
  }

 private:
  void section(int number, std::string_view text) {
    if (text.back() != ']') fail(number, "section header without closing ']'");
    const std::string_view name = trim(text.substr(1, text.size() - 2));
    if (name == "local") {
      if (haveLocal_) fail(number, "second [local] section");
      haveLocal_ = true;
      local_.sectionLine = number;
      section_ = Section::Local;
    } else if (name == "remote") {
      remotes_.emplace_back();
      remotes_.back().sectionLine = number;
      section_ = Section::Remote;
    } else if (name == "behaviour") {
      section_ = Section::Behaviour;
    } else {
      fail(number, "unknown section [" + std::string(name) + "]");
    }
  }

  void adapterKey(int number, Adapter& a, std::string_view key, std::string_view value) {
    std::uint64_t n = 0;
    if (key == "family") {
      if (value == "av")
        a.family = AdapterFamily::Av;
      else if (value == "turbo")
        a.family = AdapterFamily::Turbo;
      else if (value == "hp1")
        a.family = AdapterFamily::HomePlug1;
      else
        fail(number, "family must be av, turbo or hp1");
    } else if (key == "vendor_text1" || key == "vendor_text2") {
      if (value.size() > kMaxVendorTextLength || !printable(value))
        fail(number, "vendor text must be printable and at most 79 characters");
      (key == "vendor_text1" ? a.vendorText1 : a.vendorText2) = value;
    } else if (key == "identity_version") {
      std::uint64_t major = 0, minor = 0;
      const auto dot = value.find('.');
      if (dot == std::string_view::npos || !parseNumber(value.substr(0, dot), 0xFF, major) ||
          !parseNumber(value.substr(dot + 1), 0xFF, minor))
        fail(number, "identity_version must be MAJOR.MINOR, each 0 to 255");
      a.versionMajor = static_cast<std::uint8_t>(major);
      a.versionMinor = static_cast<std::uint8_t>(minor);
    } else if (key == "mac") {
      if (!parseMac(value, a.mac)) fail(number, "bad MAC address \"" + std::string(value) + "\"");
      if (isZeroMac(a.mac) || isGroupMac(a.mac))
        fail(number, "MAC address must be a non-zero unicast address");
    } else if (key == "chip") {
      if (!parseNumber(value, 0xFF, n) || n < kFirstChipId || n > kLastChipId)
        fail(number, "chip id must be 1 to 5");
      a.chipId = static_cast<std::uint8_t>(n);
    } else if (key == "firmware") {
      if (value.size() > kMaxFirmwareLength || !printable(value))
        fail(number, "firmware text must be printable and at most 64 characters");
      a.firmware = value;
    } else if (key == "network_key") {
      if (!parseKey(value, a.networkKey)) fail(number, "network key must be 32 hex digits");
    } else if (key == "device_password") {
      if (value.size() > kMaxDevicePasswordLength || !printable(value))
        fail(number, "device password must be printable and at most 24 characters");
      a.devicePassword = value;
    } else if (key == "firmware_image") {
      const std::string path = joinPath(directory_, value);
      if (!readModuleFile(path, kMaxFirmwareModule, a.modules.firmware))
        fail(number, "firmware image " + path + " cannot be read, is empty or is over " +
                         std::to_string(kMaxFirmwareModule) + " bytes");
    } else if (key == "rate" && section_ == Section::Remote) {
      rates(number, a, value);
    } else if (key == "present" && section_ == Section::Remote) {
      if (!parseYesNo(value, a.present)) fail(number, "present must be yes or no");
    } else if (key == "network_info" && section_ == Section::Remote) {
      if (!parseYesNo(value, a.answersNetworkInfo)) fail(number, "network_info must be yes or no");
    } else {
      const char* where = section_ == Section::Local ? "[local]" : "[remote]";
      fail(number, "unknown key \"" + std::string(key) + "\" in " + where);
    }
  }

  void rates(int number, Adapter& a, std::string_view value) {
    std::istringstream words{std::string(value)};
    std::string tx, rx, extra;
    words >> tx >> rx >> extra;
    std::uint64_t t = 0, r = 0;
    if (!parseNumber(tx, 0xFFFF, t) || (!rx.empty() && !parseNumber(rx, 0xFFFF, r)) ||
        !extra.empty())
      fail(number, "rate must be one or two numbers from 0 to 65535 (transmit, receive)");
    a.txRate = static_cast<std::uint16_t>(t);
    a.rxRate = static_cast<std::uint16_t>(rx.empty() ? t : r);
  }

  void behaviourKey(int number, std::string_view key, std::string_view value) {
    if (!behaviourKeys_.insert(std::string(key)).second)
      fail(number, "\"" + std::string(key) + "\" given twice in one section");
    Behaviour& b = out_.behaviour;
    auto number32 = [&](std::uint32_t& field, std::uint64_t max) {
      std::uint64_t n = 0;
      if (!parseNumber(value, max, n))
        fail(number, std::string(key) + " must be a number from 0 to " + std::to_string(max));
      field = static_cast<std::uint32_t>(n);
    };
    if (key == "drop_every") {
      number32(b.dropEvery, 1000000);
    } else if (key == "drop_first") {
      number32(b.dropFirst, 1000000);
    } else if (key == "delay_ms") {
      number32(b.delayMs, 600000);
    } else if (key == "local_latency_us") {
      number32(b.localLatencyUs, 10000000);
    } else if (key == "remote_latency_us") {
      number32(b.remoteLatencyUs, 10000000);
    } else if (key == "relay_ms") {
      number32(b.relayMs, 10000);
    } else if (key == "noise_interval_us") {
      number32(b.noiseIntervalUs, 10000000);
      if (b.noiseIntervalUs < 100) fail(number, "noise_interval_us must be at least 100");
    } else if (key == "restart_ms") {
      number32(b.restartMs, 600000);
    } else if (key == "piece_ms") {
      number32(b.pieceMs, 60000);
    } else if (key == "commit_ms") {
      number32(b.commitMs, 600000);
    } else if (key == "loader_address") {
      if (value != "own" && value != "default")
        fail(number, "loader_address must be own or default");
      b.loaderDefaultAddressOnly = value == "default";
    } else if (key == "loader_silent_first_piece" || key == "loader_mute") {
      if (!parseYesNo(value, key == "loader_mute" ? b.loaderMute : b.loaderSilentFirstPiece))
        fail(number, std::string(key) + " must be yes or no");
    } else if (key == "daily_dip") {
      std::istringstream words{std::string(value)};
      std::string percent, from, to, extra;
      words >> percent >> from >> to >> extra;
      std::uint64_t p = 0, f = 0, t = 0;
      if (!parseNumber(percent, 100, p) || !parseNumber(from, 23, f) || !parseNumber(to, 23, t) ||
          !extra.empty() || f == t)
        fail(number, "daily_dip must be a percentage and two different hours from 0 to 23");
      b.daily.percent = static_cast<std::uint32_t>(p);
      b.daily.fromHour = static_cast<std::uint32_t>(f);
      b.daily.toHour = static_cast<std::uint32_t>(t);
    } else if (key == "day_seconds") {
      number32(b.daily.daySeconds, 864000);
      if (b.daily.daySeconds == 0) fail(number, "day_seconds must be at least 1");
    } else if (key == "day_start_hour") {
      number32(b.daily.startHour, 23);
    } else if (key == "loader_bad_checksum") {
      number32(b.loaderBadChecksum, 0xFFFFFFFF);
    } else if (key == "stop_after_piece") {
      number32(b.stopAfterPiece, 0xFFFFFFFF);
    } else if (key == "host_action_after") {
      std::uint64_t n = 0, code = 0;
      if (!parsePair(value, 0xFFFFFFFF, 0xFF, n, code))
        fail(number,
             "host_action_after must be a piece number, optionally followed by an "
             "action code byte");
      b.hostActionAfter = static_cast<std::uint32_t>(n);
      b.hostActionCode = static_cast<std::uint8_t>(code);
    } else if (key == "corrupt_piece" || key == "reject_piece") {
      std::uint64_t n = 0, count = 1;
      if (!parsePair(value, 0xFFFFFFFF, 0xFFFFFFFF, n, count) || count == 0)
        fail(number, std::string(key) +
                         " must be a piece number, optionally followed by a count of at least 1");
      (key == "corrupt_piece" ? b.corruptPiece : b.rejectPiece) = static_cast<std::uint32_t>(n);
      (key == "corrupt_piece" ? b.corruptCount : b.rejectCount) = static_cast<std::uint32_t>(count);
    } else if (key == "reject_status") {
      std::uint64_t n = 0;
      if (!parseNumber(value, 0xFF, n) || n == 0) fail(number, "reject_status must be 1 to 255");
      b.rejectStatus = static_cast<std::uint8_t>(n);
    } else if (key == "noise") {
      if (!parseYesNo(value, b.noise)) fail(number, "noise must be on or off");
    } else if (key == "corrupt_first") {
      if (value == "none")
        b.corruptFirst = Corruption::None;
      else if (value == "oui")
        b.corruptFirst = Corruption::Oui;
      else if (value == "checksum")
        b.corruptFirst = Corruption::Checksum;
      else
        fail(number, "corrupt_first must be none, oui or checksum");
    } else if (key == "status") {
      std::istringstream words{std::string(value)};
      std::string code, type, extra;
      words >> code >> type >> extra;
      std::uint64_t c = 0, t = 0;
      if (!parseNumber(code, 0xFF, c) || (!type.empty() && !parseNumber(type, 0xFFFF, t)) ||
          !extra.empty())
        fail(number, "status must be a byte, optionally followed by a confirmation type");
      b.status = static_cast<std::uint8_t>(c);
      b.statusType = static_cast<std::uint16_t>(t);
    } else {
      fail(number, "unknown key \"" + std::string(key) + "\" in [behaviour]");
    }
  }

  // `link PEER RATE [RATE_BACK]`: this station's rate to another station, optionally the rate
  // back.
  static void link(int number, AdapterDraft& d, std::string_view value) {
    std::istringstream words{std::string(value)};
    std::string peer, to, from, extra;
    words >> peer >> to >> from >> extra;
    LinkRate l;
    std::uint64_t t = 0, f = 0;
    if (!parseMac(peer, l.peer) || !parseNumber(to, 0xFFFF, t) ||
        (!from.empty() && !parseNumber(from, 0xFFFF, f)) || !extra.empty())
      fail(number, "link must be a MAC address and one or two rates from 0 to 65535");
    l.toPeer = static_cast<std::uint16_t>(t);
    if (!from.empty()) l.fromPeer = static_cast<std::uint16_t>(f);
    d.adapter.links.push_back(l);
    d.linkLines.push_back(number);
  }

  // Every peer is another station of the file (the rates to the local adapter are `rate`'s),
  // named once per station.
  void checkLinks(const AdapterDraft& r, bool eightBit) const {
    std::set<MacAddress> peers;
    for (std::size_t i = 0; i < r.adapter.links.size(); ++i) {
      const LinkRate& l = r.adapter.links[i];
      const int line = r.linkLines[i];
      const bool known = std::any_of(remotes_.begin(), remotes_.end(), [&](const AdapterDraft& o) {
        return o.adapter.mac == l.peer;
      });
      if (l.peer == r.adapter.mac || l.peer == local_.adapter.mac || !known)
        fail(line, "link names " + formatMac(l.peer) +
                       ", which is not another [remote] station (the local adapter's rates are "
                       "given by rate)");
      if (!peers.insert(l.peer).second) fail(line, "link to " + formatMac(l.peer) + " given twice");
      if (eightBit && (l.toPeer > 0xFF || l.fromPeer.value_or(0) > 0xFF))
        fail(line, "rate above 255 does not fit the station list of a first-generation adapter");
    }
  }

  static void finishAdapter(AdapterDraft& d, const char* section) {
    if (!d.has("mac")) fail(d.sectionLine, std::string(section) + " section has no mac");
    const bool av = d.adapter.family == AdapterFamily::Av;
    if (av && !d.has("chip")) fail(d.sectionLine, std::string(section) + " section has no chip");
    if (!d.has("firmware"))
      d.adapter.firmware = av ? defaultFirmware(d.adapter.chipId) : kDefaultHp1Firmware;
  }

  Scenario& out_;
  std::string directory_;
  Section section_ = Section::None;
  bool haveLocal_ = false;
  AdapterDraft local_;
  std::vector<AdapterDraft> remotes_;
  std::set<std::string> behaviourKeys_;
};

}  // namespace

bool parseScenario(std::string_view text, Scenario& out, std::string& error,
                   std::string_view directory) {
  Scenario s;
  Parser parser(s, directory);
  try {
    int number = 0;
    while (!text.empty()) {
      ++number;
      const auto end = text.find('\n');
      parser.line(number, text.substr(0, end));
      text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    }
    parser.finish();
  } catch (const Failure& f) {
    error = f.line > 0 ? "line " + std::to_string(f.line) + ": " + f.message : f.message;
    return false;
  }
  out = std::move(s);
  return true;
}

bool readScenarioText(const std::string& path, std::string& text, std::string& directory,
                      std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = path + ": cannot be read";
    return false;
  }
  std::ostringstream all;
  all << in.rdbuf();
  text = all.str();
  const auto slash = path.rfind('/');
  directory = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  return true;
}

bool loadScenarioFile(const std::string& path, Scenario& out, std::string& error) {
  std::string text, directory;
  if (!readScenarioText(path, text, directory, error)) return false;
  if (!parseScenario(text, out, error, directory)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}

}  // namespace quorrel::sim
