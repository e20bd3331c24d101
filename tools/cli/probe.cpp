// `quorrel-cli probe`: one version request to the local-device address on each interface.
#include <array>
#include <cstdio>
#include <string>

#include "api/device_table.h"
#include "api/identification.h"
#include "cli_args.h"
#include "commands.h"
#include "platform/notice.h"
#include "thpapi/exchange.h"
#include "thpapi/thapi_result.h"
#include "transport/interface_table.h"

namespace quorrel::cli {

namespace {

constexpr std::uint16_t kVersionRequest = 0xA000;

void printVersion(const std::string& where, const thpapi::ThapiResult& result) {
  const std::uint8_t id = result.version.deviceId;
  const api::ChipModel* chip = api::chipModelFor(id);
  const api::FirmwareText firmware = api::RewriteFirmwareText(result.version);
  std::printf("%s: HomePlug AV adapter %s\n", where.c_str(), formatMac(result.source).c_str());
  if (chip != nullptr) {
    std::printf("  chip      %.*s (%.*s)\n", static_cast<int>(chip->name.size()), chip->name.data(),
                static_cast<int>(api::deviceClassLabel(chip->deviceClass).size()),
                api::deviceClassLabel(chip->deviceClass).data());
  } else {
    std::printf("  chip      unknown (device identifier %u)\n", id);
  }
  std::printf("  firmware  %s\n", firmware.c_str());
}

}  // namespace

int runProbe(Arguments args) {
  CLI::App app{"Asks the adapter on every Ethernet interface for its version.",
               "quorrel-cli probe"};
  if (const auto code = parseArguments(app, args)) return *code;
  if (const auto code = openInterfaces()) return *code;
  auto& table = transport::interfaceTable();
  int found = 0;
  transport::ReceivePath path;
  for (int i = 0; i < table.interfaceCount; ++i) {
    const std::string name = interfaceName(i);
    if (!table.entries[i].captureHandle) continue;
    transport::setCurrentInterface(static_cast<std::uint32_t>(i));
    thpapi::SendAvRequest(kLocalDeviceMac, kVersionRequest);
    thpapi::ThapiResult result;
    int arrival = -1;
    if (thpapi::WaitConfirmation(path, kVersionRequest, result, &arrival) && arrival == i) {
      printVersion(name, result);
      ++found;
    } else {
      std::printf("%s: no HomePlug AV adapter answered\n", name.c_str());
    }
  }
  transport::CloseAllInterfaces();
  if (found == 0) {
    std::fprintf(stderr, "%s\n", api::kAdapterNotDetectedText);
    return kBadInput;
  }
  return kOk;
}

}  // namespace quorrel::cli
