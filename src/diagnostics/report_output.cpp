// Saving and printing the report.
#include "diagnostics/report_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "persistence/file_io.h"
#include "platform/bytes.h"
#include "platform/notice.h"

namespace quorrel::diagnostics {

namespace {
ByteSpan bytesOf(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

bool writeAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// A new owner-only file of a fresh name that no one else can have prepared; empty on failure.
std::string writePrivateTemporary(const std::string& text) {
  std::string path = temporaryDirectory() + "/quorrel-report-XXXXXX.txt";
  const int fd = ::mkostemps(path.data(), 4, O_CLOEXEC);
  if (fd < 0) return {};
  ::fchmod(fd, S_IRUSR | S_IWUSR);
  const bool written = writeAll(fd, text);
  const bool closed = ::close(fd) == 0;
  if (written && closed) return path;
  ::unlink(path.c_str());
  return {};
}
}  // namespace

std::string temporaryDirectory() {
  const char* dir = std::getenv("TMPDIR");
  struct stat st {};
  if (dir != nullptr && dir[0] == '/' && ::stat(dir, &st) == 0 && S_ISDIR(st.st_mode)) return dir;
  return "/tmp";
}

bool writeDiagnosticsReport(const std::string& path, const std::string& report) {
  return !path.empty() &&
         persistence::replaceFile(path, bytesOf(report)) == persistence::ReplaceResult::Done;
}

PrintOutcome printDiagnosticsReport(const std::string& report, Printer& printer) {
  const std::string path = writePrivateTemporary(report);
  PrintOutcome outcome = PrintOutcome::NotWritten;
  const std::optional<std::string> target = printer.defaultPrinter();
  if (!target) {
    outcome = PrintOutcome::NoPrinter;
  } else if (!path.empty()) {
    outcome = printer.printFile(*target, path, kPrintJobTitle) ? PrintOutcome::Printed
                                                               : PrintOutcome::Refused;
  }
  if (!path.empty()) ::unlink(path.c_str());
  if (outcome == PrintOutcome::NoPrinter)
    platform::showNotice(kInstallPrinterText, kInstallPrinterCaption, platform::NoticeIcon::Warning,
                         platform::NoticeButtons::Ok, platform::NoticeOwner::ActiveDialog);
  return outcome;
}

}  // namespace quorrel::diagnostics
