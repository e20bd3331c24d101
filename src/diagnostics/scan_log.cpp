// The scan log.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>

#include "api/device_table.h"
#include "diagnostics/logs.h"
#include "diagnostics/report.h"
#include "persistence/locations.h"
#include "transport/interface_table.h"

namespace quorrel::diagnostics {

std::string scanLogPath() {
  const std::string& dir = persistence::dataDirectory();
  return dir.empty() ? std::string() : dir + "/" + kScanLogName;
}

void ScanLog::close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

void writeScanLog(ScanLog& log, bool keepOpen, std::time_t now) {
  const int count = std::clamp(transport::interfaceTable().interfaceCount, 0, api::kInterfaceCount);
  writeScanLog(log, std::span(api::deviceTable().devices).first(static_cast<std::size_t>(count)),
               keepOpen, now);
}

void writeScanLog(ScanLog& log, std::span<const api::InterfaceDevices> interfaces, bool keepOpen,
                  std::time_t now) {
  if (log.file_ == nullptr && log.path_.empty()) log.path_ = scanLogPath();
  if (log.file_ == nullptr && !log.path_.empty()) {
    // A link planted in the log's place is refused rather than followed.
    const int fd = ::open(log.path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC,
                          S_IRUSR | S_IWUSR);
    if (fd >= 0) {
      ::fchmod(fd, S_IRUSR | S_IWUSR);
      log.file_ = ::fdopen(fd, "w");
      if (log.file_ == nullptr) ::close(fd);
    }
    if (log.file_ != nullptr)
      std::fprintf(log.file_, "%s\tdevice\t\t\tpresent\tmissesTillDrop\n\n",
                   standardTimeText(now).c_str());
  }
  if (log.file_ == nullptr) return;
  for (std::size_t i = 0; i < interfaces.size(); ++i) {
    const api::InterfaceDevices& d = interfaces[i];
    std::fprintf(log.file_, "NIC #%zu:\t%s\tPresent=%d\n", i, formatMac(d.interfaceMac).c_str(),
                 d.localPresent ? 1 : 0);
    if (!d.localPresent) continue;
    for (const api::RemoteDevice& e : d.remotes) {
      if (isZeroMac(e.mac)) continue;
      std::fprintf(log.file_, "\t%s\t%d\t%d\n", formatMac(e.mac).c_str(), e.inUse ? 1 : 0,
                   static_cast<int>(e.scansLeft));
    }
    std::fputs("\n", log.file_);
  }
  std::fflush(log.file_);
  if (!keepOpen) log.close();
}

}  // namespace quorrel::diagnostics
