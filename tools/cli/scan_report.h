// What `quorrel-cli scan` found, per interface, and its two printed forms.
#pragma once

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
// {"interfaces": [...]} with every text escaped.
std::string formatJson(const std::vector<InterfaceReport>& reports);

}  // namespace quorrel::cli
