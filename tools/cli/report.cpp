// `quorrel-cli report`: the diagnostics report the desktop program saves, from the same
// preferences, vendor list and device data file.
#include <cstdio>
#include <ctime>
#include <string>

#include "cli_args.h"
#include "commands.h"
#include "diagnostics/host_info.h"
#include "diagnostics/report.h"
#include "diagnostics/report_output.h"
#include "persistence/device_data.h"
#include "persistence/locations.h"
#include "persistence/preferences.h"
#include "persistence/vendor_list.h"
#include "transport/interface_table.h"

namespace quorrel::cli {

int runReport(Arguments args) {
  std::string out, dataDir;
  CLI::App app{
      "Writes the diagnostics report: the computer, its adapters and every remote "
      "device ever listed, passwords included.",
      "quorrel-cli report"};
  app.add_option("--out", out, "write the report to FILE (owner-only) instead of standard output")
      ->option_text("FILE");
  app.add_option("--data-dir", dataDir,
                 "folder of the device data file (default: the program's data folder)")
      ->option_text("DIR");
  if (const auto code = parseArguments(app, args)) return *code;

  persistence::LoadPreferences();
  persistence::LoadVendorList();
  loadDeviceData(dataDir);
  // The interfaces are listed only: nothing is opened, so no capture permission is needed.
  transport::EnumerateInterfaces();
  const std::string report =
      diagnostics::composeDiagnosticsReport(diagnostics::readHostInfo(), std::time(nullptr));
  if (out.empty()) {
    std::fputs(report.c_str(), stdout);
    std::fputs("\n", stdout);
    return 0;
  }
  if (!diagnostics::writeDiagnosticsReport(out, report)) {
    std::fprintf(stderr, "quorrel-cli: the report could not be written to %s\n", out.c_str());
    return 1;
  }
  return 0;
}

}  // namespace quorrel::cli
