// What `quorrel-cli scan` found, per interface, and its two printed forms.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "api/device_table.h"

namespace quorrel::cli {

struct RemoteRow {
  std::string mac;
  std::string name;
  std::string type;
  int rateMbps = 0;
  std::string quality;
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
// The link quality as a share of the full rate of the device's class ("%d%").
std::string qualityText(double rateMbps, api::DeviceClass c);

// The current interface's local device and remotes in use, named from the known devices.
InterfaceReport captureInterface(int index, const std::string& name);

// One block per interface: the local device, then an aligned table of the remotes.
std::string formatTable(const std::vector<InterfaceReport>& reports);
// {"interfaces": [...]}; texts that are not valid UTF-8 have their broken bytes replaced.
std::string formatJson(const std::vector<InterfaceReport>& reports);
// "2010-10-21T12:30:00Z".
std::string utcText(std::int64_t seconds);

}  // namespace quorrel::cli
