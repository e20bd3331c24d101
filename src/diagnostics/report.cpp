// The one generator of the Diagnostics page's lists and the report's text.
#include "diagnostics/report.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "api/device_table.h"
#include "brantleapi/turbo_state.h"
#include "diagnostics/version_text.h"
#include "persistence/known_devices.h"
#include "persistence/preferences.h"
#include "persistence/vendor_list.h"
#include "platform/notice.h"
#include "transport/interface_table.h"

namespace quorrel::diagnostics {

namespace {
constexpr std::array<const char*, 7> kDays{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<const char*, 12> kMonthAbbreviations{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr const char* kRemoteHeader =
    "Name\t\tMAC\t\t\tPassword\t\tRate\tNetwork\t\tLast Seen\tVendor\t\tFirmware\n";

constexpr std::array<ReportColumn, 14> kRemoteColumns{{{"Device", 80},
                                                       {"MAC Address", 110},
                                                       {"Password", 120},
                                                       {"Rate (Mbps)", 70},
                                                       {"Network", 70},
                                                       {"Last Seen", 100},
                                                       {"Vendor", 80},
                                                       {"Firmware", 290},
                                                       {"Sent", 45},
                                                       {"Misses", 45},
                                                       {"Drops", 45},
                                                       {"Fails", 45},
                                                       {"Hi Rate", 50},
                                                       {"Low Rate", 60}}};
constexpr std::size_t kAlwaysShown = 8;

template <typename... Args>
std::string format(const char* pattern, Args... args) {
  std::array<char, 160> buffer{};
  std::snprintf(buffer.data(), buffer.size(), pattern, args...);
  return buffer.data();
}

std::string rule() {
  return std::string(kRuleLength, '-');
}

bool localTime(std::int64_t seconds, std::tm& out) {
  if (seconds < INT32_MIN * 1000LL || seconds > INT32_MAX * 1000LL) return false;
  const auto t = static_cast<std::time_t>(seconds);
  return ::localtime_r(&t, &out) != nullptr && out.tm_year > -1900 && out.tm_year < 8099 &&
         out.tm_mon >= 0 && out.tm_mon < 12 && out.tm_wday >= 0 && out.tm_wday < 7;
}

std::string macText(const MacAddress& m) {
  return formatMac(m);
}

void hostRows(ReportSink& sink, const HostInfo& host, bool extras) {
  const brantleapi::TurboState& turbo = brantleapi::turboState();
  const int count = std::clamp(transport::interfaceTable().interfaceCount, 0, api::kInterfaceCount);
  int nic = 0;
  for (int i = 0; i < count; ++i) {
    const api::InterfaceDevices& d = api::interfaceDevices(i);
    if (isZeroMac(d.interfaceMac)) continue;
    ++nic;
    sink.newRow(format("On NIC #%d MAC = ", nic) + macText(d.interfaceMac));
    if (d.localPresent && !isZeroMac(d.localMac)) {
      sink.newRow(format("   HomePlug Device #%d MAC = ", 1) + macText(d.localMac));
      sink.newRow("   Network password: " + oneLine(d.localNetworkName.view()));
      const bool isTurbo = d.localClass == api::DeviceClass::Turbo;
      if (extras && isTurbo)
        sink.newRow("   Vendor: " + oneLine(turbo.localTurboVendorText1.view()) +
                    ", Product: " + oneLine(turbo.localTurboVendorText2.view()) + ".");
      else
        sink.newRow("   Vendor: " + oneLine(persistence::VendorName(d.localMac)));
      if (isTurbo)
        sink.newRow("   Firmware:MAC " + oneLine(turbo.localTurboVersion.view()) + "   ( " +
                    oneLine(turbo.localTurboFirmware.view()) + " )");
      else if (api::isAvClass(d.localClass))
        sink.newRow("   Firmware: " + oneLine(d.localFirmware.view()) + " ");
      else
        sink.newRow("   Firmware: HP 1.0");
      if (extras) {
        const api::FrameCounters f = api::ReadFrameCounters(i);
        sink.newRow(format("   Reads: %lu (%lu KB), Writes: %lu (%lu KB)",
                           static_cast<unsigned long>(f.framesRead),
                           static_cast<unsigned long>(f.bytesRead / 1024),
                           static_cast<unsigned long>(f.framesWritten),
                           static_cast<unsigned long>(f.bytesWritten / 1024)));
        sink.newRow(format("   Drops = %lu, Fails = %lu, Highest = %.2f Mbps. Lowest = %.2f Mbps",
                           static_cast<unsigned long>(d.rateStats.drops),
                           static_cast<unsigned long>(d.rateStats.fails), d.rateStats.highestRate,
                           d.rateStats.lowestRate));
      }
    } else {
      sink.newRow("   No HomePlug Device Connected");
    }
    sink.newRow("");
  }
  sink.newRow("Computer network name: " + oneLine(host.computerName));
  sink.newRow("User name: " + oneLine(host.userName));
  sink.newRow(format("Microprocessor: %d", host.processorType));
  sink.newRow(oneLine(platformLine(host)));
  sink.newRow(" ");
  sink.newRow(oneLine(persistence::preferences().productName.view()) + "    " +
              programVersionText());
  // The capture library the program is built on.
  sink.newRow(format("Library: %-14s", "libpcap"));
}

void remoteRows(ReportSink& sink, bool extras, bool twelveHour) {
  const api::InterfaceDevices& d = api::currentDevices();
  for (const api::RemoteDevice& e : d.remotes) {
    if (isZeroMac(e.mac) || e.mac == d.localMac) continue;
    const persistence::KnownDevice* record =
        persistence::knownAt(persistence::FindKnownByMac(e.mac));
    if (record == nullptr) continue;
    sink.newRow(oneLine(record->name.view()));
    sink.cell(macText(e.mac));
    sink.cell(record->password.empty() ? kNoPasswordText : oneLine(record->password.view()));
    sink.cell(rateCellText(e.rateStats.currentRate));
    sink.cell(oneLine(record->networkName.view()));
    sink.cell(lastSeenText(record->lastSeen, twelveHour));
    const bool isTurbo = e.deviceClass == api::DeviceClass::Turbo;
    if (extras && isTurbo)
      sink.cell(oneLine(e.vendorText1.view()) + " " + oneLine(e.vendorText2.view()));
    else
      sink.cell(oneLine(persistence::VendorName(e.mac)));
    if (isTurbo)
      sink.cell("MAC " + oneLine(e.firmware.view()));
    else if (api::isAvClass(e.deviceClass))
      sink.cell(oneLine(e.firmware.view()));
    else
      sink.cell("HP 1.0");
    if (extras) {
      for (const std::uint32_t v :
           {e.timesSeen, e.scansMissed, e.rateStats.drops, e.rateStats.fails})
        sink.cell(format("%lu", static_cast<unsigned long>(v)));
      sink.cell(format("%.2f", e.rateStats.highestRate));
      sink.cell(format("%.2f", e.rateStats.lowestRate));
    }
    sink.endRemoteRow();
  }
}
}  // namespace

void TextSink::beginRemoteList() {
  text += "\n\n\nRemote Powerline Devices:\n";
  text += rule();
  text += "\n";
  text += kRemoteHeader;
  text += rule();
}
void TextSink::newRow(std::string_view row) {
  text += '\n';
  text += row;
}
void TextSink::cell(std::string_view value) {
  text += '\t';
  text += value;
}

void ListSink::beginHostList() {
  lists.hostRows.clear();
  remote_ = false;
}
void ListSink::beginRemoteList() {
  lists.remoteRows.clear();
  remote_ = true;
}
void ListSink::newRow(std::string_view text) {
  if (remote_)
    lists.remoteRows.push_back({std::string(text)});
  else
    lists.hostRows.emplace_back(text);
}
void ListSink::cell(std::string_view text) {
  if (remote_ && !lists.remoteRows.empty()) lists.remoteRows.back().emplace_back(text);
}

std::vector<ReportColumn> remoteColumns(int diagnosticsLevel) {
  const std::size_t n = diagnosticsLevel > 1 ? kRemoteColumns.size() : kAlwaysShown;
  return {kRemoteColumns.begin(), kRemoteColumns.begin() + static_cast<std::ptrdiff_t>(n)};
}

void updateDiagnosticsList(ReportSink& sink, const HostInfo& host) {
  const persistence::Preferences& prefs = persistence::preferences();
  const bool extras = prefs.diagnosticsLevel > 1;
  sink.beginHostList();
  hostRows(sink, host, extras);
  sink.beginRemoteList();
  remoteRows(sink, extras, prefs.twelveHourTime != 0);
}

DiagnosticsLists fillDiagnosticsLists(const HostInfo& host) {
  ListSink sink;
  try {
    updateDiagnosticsList(sink, host);
  } catch (...) {
    platform::showNotice(kUnknownErrorText, kUnknownErrorCaption, platform::NoticeIcon::None,
                         platform::NoticeButtons::Ok, platform::NoticeOwner::ActiveDialog);
  }
  return sink.lists;
}

std::string composeDiagnosticsReport(const HostInfo& host, std::time_t now) {
  TextSink sink;
  sink.text = "Diagnostics Report:\t\t\t\t\t" + standardTimeText(now) + "\n";
  sink.text += "Utility " + releaseText() + "\n";
  sink.text += oneLine(persistence::preferences().noticeText.view()) + "\n\n";
  sink.text += "Host Computer Information:\n";
  sink.text += rule();
  updateDiagnosticsList(sink, host);
  return sink.text;
}

std::string standardTimeText(std::int64_t seconds) {
  std::tm tm{};
  if (!localTime(seconds, tm)) return "??? ??? ?? ??:??:?? ????\n";
  return format("%.3s %.3s%3d %.2d:%.2d:%.2d %d\n", kDays[static_cast<std::size_t>(tm.tm_wday)],
                kMonthAbbreviations[static_cast<std::size_t>(tm.tm_mon)], tm.tm_mday, tm.tm_hour,
                tm.tm_min, tm.tm_sec, tm.tm_year + 1900);
}

std::string lastSeenText(std::int64_t seconds, bool twelveHour) {
  std::tm tm{};
  if (!localTime(seconds, tm)) return twelveHour ? "??? ?? ??:????" : "??? ?? ??:??";
  int hour = tm.tm_hour;
  const char* suffix = "";
  if (twelveHour) {
    // Noon and the hours after it are PM; midnight's hour is 12 AM.
    suffix = hour >= 12 ? "PM" : "AM";
    hour %= 12;
    if (hour == 0) hour = 12;
  }
  return format("%.3s %2d %.2d:%.2d%s", kMonthAbbreviations[static_cast<std::size_t>(tm.tm_mon)],
                tm.tm_mday, hour, tm.tm_min, suffix);
}

std::string rateCellText(double rateMbps) {
  if (rateMbps == 0) return "?";
  if (!std::isfinite(rateMbps)) return "?";
  const double whole = std::clamp(std::trunc(rateMbps), -1e9, 1e9);
  return format("%.2d", static_cast<int>(whole));
}

std::string oneLine(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  return out;
}

}  // namespace quorrel::diagnostics
