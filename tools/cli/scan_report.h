// What `quorrel-cli scan` found, per interface, and its two printed forms.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "api/device_table.h"

namespace quorrel::cli {

struct RemoteRow {
  std::string mac;
  std::string name;
  std::string type;
  int rateMbps = 0;
  int qualityPercent = 0;  // of the class's full rate, at most 100
  std::string quality;     // the word the desktop's remote list shows for it
  std::string firmware;
  std::string vendor;
  std::optional<std::int64_t> lastSeen;  // seconds since 1970 UTC; none without a record
  bool passwordStored = false;           // the password itself is never printed
};

struct InterfaceReport {
  std::string name;
  std::string mac;
  bool hasLocal = false;
  std::string family;  // "HomePlug AV", "Turbo" or "HomePlug 1.0"
  std::string type;    // the device class label
  std::string chip;
  std::string firmware;
  std::string localMac;
  std::string network;
  std::string vendor;
  std::vector<RemoteRow> remotes;
};

// Family of a local device by its class.
std::string familyOf(api::DeviceClass c);
// The link quality as a share of the full rate of the device's class, in percent: at most
// 100, as a rate above the full scale is no better than full.
int qualityPercent(double rateMbps, api::DeviceClass c);
// The adapter's own part of a report, as JSON (null without a local device): probe and scan.
nlohmann::ordered_json localJson(const InterfaceReport& r);

// The current interface's local device and remotes in use, named from the known devices.
InterfaceReport captureInterface(int index, const std::string& name);

// One block per interface: the local device, then an aligned table of the remotes.
std::string formatTable(const std::vector<InterfaceReport>& reports);
// {"interfaces": [...]}; texts that are not valid UTF-8 have their broken bytes replaced. The
// keys are snake_case, with the unit in the key where a value has one.
std::string formatJson(const std::vector<InterfaceReport>& reports);
// "2010-10-21T12:30:00Z".
std::string utcText(std::int64_t seconds);

}  // namespace quorrel::cli
