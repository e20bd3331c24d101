// `quorrel-cli report`: the diagnostics report the desktop program saves, from the same
// preferences, vendor list and device data file.
#include <cerrno>
#include <cstdio>
#include <cstring>
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
#include "transport/pcap_backend.h"

namespace quorrel::cli {

int runReport(Arguments args) {
  std::string out, dataDir;
  CLI::App app{
      "Writes the diagnostics report: the computer, its Ethernet interfaces and the devices "
      "the data file knows, passwords included.",
      "quorrel-cli report"};
  app.add_option("--out", out, "write the report to FILE (owner-only) instead of standard output")
      ->option_text("FILE");
  app.add_option("--data-dir", dataDir,
                 "folder of the device data file, which must exist (default: the program's data "
                 "folder)")
      ->option_text("DIR");
  if (const auto code = parseArguments(app, args)) return *code;

  persistence::LoadPreferences();
  persistence::LoadVendorList();
  if (!loadDeviceData(dataDir, false)) return kBadInput;
  // The interfaces are listed only, as any user may list them: nothing is opened, so neither
  // capture permission nor the capture helper is needed.
  transport::PcapBackend lister;
  transport::setBackend(&lister);
  transport::EnumerateInterfaces();
  transport::setBackend(nullptr);
  const std::string report =
      diagnostics::composeDiagnosticsReport(diagnostics::readHostInfo(), std::time(nullptr));
  errno = 0;
  if (out.empty()) {
    std::fputs(report.c_str(), stdout);
    std::fputs("\n", stdout);
    // A full disk or a closed pipe shows only once the buffer is written out.
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
      const int error = errno;
      return fail(kFailed, "the report could not be written to standard output",
                  std::strerror(error != 0 ? error : EIO));
    }
    return kOk;
  }
  if (!diagnostics::writeDiagnosticsReport(out, report)) {
    const int error = errno;
    return fail(kFailed, "the report could not be written to " + out, fileProblem(out, error));
  }
  return kOk;
}

}  // namespace quorrel::cli
