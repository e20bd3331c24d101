// Snapshots of the device table and their table and JSON forms.
#include "scan_report.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>

#include "brantleapi/turbo_state.h"
#include "cli_args.h"
#include "persistence/known_devices.h"
#include "persistence/vendor_list.h"
#include "transport/interface_table.h"
#include "ui/presentation/quality_text.h"

namespace quorrel::cli {

namespace {

std::string firmwareOf(int index, api::DeviceClass c) {
  if (api::isAvClass(c)) return api::interfaceDevices(index).localFirmware.str();
  if (c == api::DeviceClass::Turbo) return brantleapi::turboState().localTurboFirmware.str();
  return "HP 1.0";
}

}  // namespace

std::string familyOf(api::DeviceClass c) {
  switch (c) {
    case api::DeviceClass::AvFirstGeneration:
    case api::DeviceClass::AvSecondGeneration:
      return "HomePlug AV";
    case api::DeviceClass::Turbo:
      return "Turbo";
    default:
      return "HomePlug 1.0";
  }
}

int qualityPercent(double rateMbps, api::DeviceClass c) {
  double full = 200;
  if (c == api::DeviceClass::Usb) full = 14;
  if (c == api::DeviceClass::Turbo) full = 85;
  if (c == api::DeviceClass::AvSecondGeneration) full = 500;
  if (!(rateMbps > 0)) return 0;
  return static_cast<int>(std::min(rateMbps / full * 100, 100.0));
}

InterfaceReport captureInterface(int index, const std::string& name) {
  InterfaceReport r;
  const api::InterfaceDevices& d = api::interfaceDevices(index);
  const api::InterfaceState& st = api::interfaceState(index);
  r.name = name;
  r.mac =
      formatMac(transport::interfaceTable().entries[static_cast<std::size_t>(index)].macAddress);
  r.hasLocal = st.localPresent;
  if (!r.hasLocal) return r;
  r.family = familyOf(st.localClass);
  r.type = std::string(api::deviceClassLabel(st.localClass));
  const bool av = r.family == "HomePlug AV";
  r.chip = av ? std::string(api::deviceTable().localChipName) : "-";
  r.firmware = firmwareOf(index, st.localClass);
  r.localMac = formatMac(st.localMac);
  r.network = d.localNetworkName.str();
  r.vendor = persistence::VendorName(st.localMac);
  for (const api::RemoteDevice& e : d.remotes) {
    if (!e.inUse || isZeroMac(e.mac)) continue;
    RemoteRow row;
    row.mac = formatMac(e.mac);
    const persistence::KnownDevice* k = persistence::knownAt(persistence::FindKnownByMac(e.mac));
    row.name = k != nullptr ? k->name.str() : "";
    row.type = std::string(api::deviceClassLabel(e.deviceClass));
    row.rateMbps = static_cast<int>(e.rateStats.currentRate);
    row.qualityPercent = qualityPercent(e.rateStats.currentRate, e.deviceClass);
    row.quality = ui::qualityText(e.rateStats.currentRate, e.deviceClass, 1).text;
    row.firmware = e.firmware.str();
    row.vendor = persistence::VendorName(e.mac);
    if (k != nullptr) {
      row.lastSeen = k->lastSeen;
      row.passwordStored = !k->password.empty();
    }
    r.remotes.push_back(std::move(row));
  }
  return r;
}

std::string formatTable(const std::vector<InterfaceReport>& reports) {
  std::string out;
  for (const InterfaceReport& r : reports) {
    out += "Interface " + r.name + " (" + r.mac + ")\n";
    if (!r.hasLocal) {
      out += "  no local device\n\n";
      continue;
    }
    out += "  Local device  " + r.family + ", " + r.type + "\n";
    out += "  Chip          " + r.chip + "\n";
    out += "  Firmware      " + r.firmware + "\n";
    out += "  MAC           " + r.localMac + "\n";
    out += "  Network       " + r.network + "\n";
    const std::vector<std::string> head{"MAC", "Name", "Type", "Rate (Mbps)", "Quality"};
    std::vector<std::vector<std::string>> rows{head};
    for (const RemoteRow& row : r.remotes)
      rows.push_back({row.mac, row.name, row.type, std::to_string(row.rateMbps),
                      std::to_string(row.qualityPercent) + "%"});
    // Columns by what a terminal shows: "Küche" takes five, not seven.
    std::vector<std::size_t> width(head.size(), 0);
    for (const auto& row : rows)
      for (std::size_t c = 0; c < row.size(); ++c)
        width[c] = std::max(width[c], displayWidth(row[c]));
    out += "  " + std::to_string(r.remotes.size()) + " remote device" +
           (r.remotes.size() == 1 ? "" : "s") + "\n";
    if (r.remotes.empty()) {
      out += "\n";
      continue;
    }
    for (const auto& row : rows) {
      std::string line = "  ";
      for (std::size_t c = 0; c < row.size(); ++c)
        line += c + 1 < row.size() ? padToWidth(row[c], width[c]) + "  " : row[c];
      out += line + "\n";
    }
    out += "\n";
  }
  return out;
}

std::string utcText(std::int64_t seconds) {
  std::tm tm{};
  const auto t = static_cast<std::time_t>(seconds);
  char text[32] = "";
  if (::gmtime_r(&t, &tm) == nullptr ||
      std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm) == 0)
    return "";
  return text;
}

nlohmann::ordered_json localJson(const InterfaceReport& r) {
  if (!r.hasLocal) return nullptr;
  return {{"family", r.family},     {"type", r.type},    {"chip", r.chip},
          {"firmware", r.firmware}, {"mac", r.localMac}, {"network", r.network},
          {"vendor", r.vendor}};
}

std::string formatJson(const std::vector<InterfaceReport>& reports) {
  // Keys keep the order they are written in, as a person reads them.
  using json = nlohmann::ordered_json;
  json interfaces = json::array();
  for (const InterfaceReport& r : reports) {
    json entry = {{"name", r.name}, {"mac", r.mac}, {"local", nullptr}, {"remotes", json::array()}};
    if (r.hasLocal) {
      entry["local"] = localJson(r);
      for (const RemoteRow& row : r.remotes) {
        json remote = {{"mac", row.mac},
                       {"name", row.name},
                       {"type", row.type},
                       {"rate_mbps", row.rateMbps},
                       {"quality_percent", row.qualityPercent},
                       {"quality", row.quality},
                       {"firmware", row.firmware},
                       {"vendor", row.vendor},
                       {"last_seen", nullptr},
                       {"password_stored", row.passwordStored}};
        if (row.lastSeen) remote["last_seen"] = utcText(*row.lastSeen);
        entry["remotes"].push_back(std::move(remote));
      }
    }
    interfaces.push_back(std::move(entry));
  }
  // Names come from the data file and the adapters: broken UTF-8 is replaced, never fatal.
  return json{{"interfaces", std::move(interfaces)}}.dump(2, ' ', true,
                                                          json::error_handler_t::replace) +
         "\n";
}

}  // namespace quorrel::cli
