// Printing the report for real: a private CUPS scheduler (its own configuration, spool and
// socket in a temporary folder) with a PDF queue as the default printer. The Diagnostics
// page's Print Report must produce a PDF holding the report, and with no printer at all the
// page must say to install one. Needs root and the CUPS packages; skipped otherwise.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "diagnostics/report_output.h"
#include "support/desktop_fixture.h"
#include "ui/quorrel/diagnostics_page.h"

extern char** environ;

using namespace quorrel;
namespace fs = std::filesystem;

namespace {

constexpr const char* kCupsd = "/usr/sbin/cupsd";
constexpr const char* kPdfBackend = "/usr/lib/cups/backend/cups-pdf";
constexpr const char* kPdfModel = "/usr/share/ppd/cups-pdf/CUPS-PDF_noopt.ppd";

pid_t spawn(std::vector<std::string> argv, const std::string& output = "/dev/null") {
  std::vector<char*> args;
  for (std::string& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = -1;
  if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

int run(std::vector<std::string> argv, const std::string& output = "/dev/null") {
  const pid_t pid = spawn(std::move(argv), output);
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool accepts(const std::string& socketPath) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", socketPath.c_str());
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  ::close(fd);
  return ok;
}

// Every character but white space: the print system lays the text out in its own columns.
std::string ink(const std::string& text) {
  std::string out;
  for (const char c : text)
    if (!std::isspace(static_cast<unsigned char>(c))) out += c;
  return out;
}

// The text filter embeds its monospaced font without a map back to the characters, so the
// PDF's text comes out as glyph numbers, which run in character order one fixed shift away;
// glyph numbers up to the blank's (digits and most punctuation) do not come out at all. So the
// report's letters and the characters from '>' up must come out, in order, under one shift.
constexpr char kFirstVisible = '>';

std::string visibleInk(const std::string& report) {
  std::string out;
  for (const char c : ink(report))
    if (c >= kFirstVisible) out += c;
  return out;
}

std::string unshift(const std::string& printed, char first) {
  const std::string in = ink(printed);
  if (in.empty()) return in;
  const int shift = first - in[0];
  std::string out;
  for (const char c : in) out += static_cast<char>(c + shift);
  return out;
}

// A private scheduler; everything it makes lives below `dir`, and it goes with the object.
class PrivateCups {
 public:
  PrivateCups() {
    for (const char* d : {"conf", "spool", "cache", "state", "tmp", "log", "run", "pdf", "own"})
      fs::create_directories(dir.file(d));
    // The filters run as the scheduler's unprivileged user.
    fs::permissions(dir.path(), fs::perms::owner_all | fs::perms::group_read |
                                    fs::perms::group_exec | fs::perms::others_read |
                                    fs::perms::others_exec);
    for (const char* d : {"tmp", "pdf"})
      fs::permissions(dir.file(d), fs::perms::all | fs::perms::sticky_bit);
    socket = dir.file("run/cups.sock");
    std::ofstream(dir.file("conf/cupsd.conf"))
        << "Listen " << socket << "\nLogLevel warn\nBrowsing No\nDefaultAuthType None\n"
        << "WebInterface No\n<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
        << "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n";
    std::ofstream(dir.file("conf/cups-files.conf"))
        << "SystemGroup root\nServerRoot " << dir.file("conf") << "\nRequestRoot "
        << dir.file("spool") << "\nCacheDir " << dir.file("cache") << "\nStateDir "
        << dir.file("state") << "\nTempDir " << dir.file("tmp") << "\nErrorLog "
        << dir.file("log/error_log") << "\nAccessLog " << dir.file("log/access_log") << "\nPageLog "
        << dir.file("log/page_log") << "\nPrintcap " << dir.file("printcap") << "\n";
    // The PDF backend reads its settings by queue name from the system folder only: a file of
    // this process's own name, removed again below.
    instance = "quorrel-test-" + std::to_string(::getpid());
    pdfConf = "/etc/cups/cups-pdf-" + instance + ".conf";
    std::ofstream(pdfConf) << "Out " << dir.file("pdf") << "\nAnonDirName " << dir.file("pdf")
                           << "\nLog " << dir.file("log") << "\nGrp root\n";
    pid = spawn(
        {kCupsd, "-f", "-c", dir.file("conf/cupsd.conf"), "-s", dir.file("conf/cups-files.conf")},
        dir.file("log/cupsd.out"));
    for (int i = 0; i < 200 && pid > 0 && !accepts(socket); ++i) QTest::qWait(50);
    ::setenv("CUPS_SERVER", socket.c_str(), 1);
    ::setenv("TMPDIR", dir.file("own").c_str(), 1);
  }
  ~PrivateCups() {
    if (pid > 0) {
      ::kill(pid, SIGTERM);
      ::waitpid(pid, nullptr, 0);
    }
    fs::remove(pdfConf);
    ::unsetenv("CUPS_SERVER");
    ::unsetenv("TMPDIR");
  }
  bool running() const { return pid > 0 && accepts(socket); }
  bool addDefaultPdfQueue() {
    const std::string name = "quorrel-pdf";
    // Poppler turns the text filter's PDF into the queue's PostScript keeping one code per
    // glyph; Ghostscript's route splits the text over fonts that share their codes.
    return run({"lpadmin", "-h", socket, "-p", name, "-E", "-v", "cups-pdf:/" + instance, "-P",
                kPdfModel, "-o", "pdftops-renderer-default=pdftops"}) == 0 &&
           run({"lpadmin", "-h", socket, "-d", name}) == 0;
  }
  // The first PDF the queue writes, waiting for it at most a minute.
  std::string waitForPdf() {
    for (int i = 0; i < 600; ++i) {
      for (const auto& e : fs::directory_iterator(dir.file("pdf")))
        if (e.path().extension() == ".pdf" && fs::file_size(e.path()) > 0) {
          QTest::qWait(500);  // the backend may still be writing it
          return e.path().string();
        }
      QTest::qWait(100);
    }
    return {};
  }

  ui::testing::ScratchDir dir;
  std::string socket, instance, pdfConf;
  pid_t pid = -1;
};

}  // namespace

class DiagnosticsPrintTest : public QObject {
  Q_OBJECT

 private slots:
  void printsTheReportOnTheDefaultPrinter();
};

void DiagnosticsPrintTest::printsTheReportOnTheDefaultPrinter() {
  if (::geteuid() != 0) QSKIP("needs root to run a scheduler and its PDF backend");
  for (const char* tool :
       {kCupsd, kPdfBackend, kPdfModel, "/usr/bin/pdftotext", "/usr/sbin/lpadmin"})
    if (!fs::exists(tool)) QSKIP(qPrintable(QStringLiteral("missing: %1").arg(tool)));
  ui::testing::DesktopState state;
  PrivateCups cups;
  QVERIFY2(cups.running(), "the private scheduler did not start");
  ui::testing::FakeScan scan;
  transport::interfaceTable().interfaceCount = 1;
  api::interfaceDevices(0).interfaceMac = ui::testing::mac(9);
  persistence::AppendKnownDevice(ui::testing::mac(2), "Kitchen");
  api::UpsertRemote(ui::testing::mac(2));
  qtui::DiagnosticsPage page(scan, diagnostics::systemPrinter());
  page.pageEntered();

  // No printer yet.
  QTest::mouseClick(page.printButton(), Qt::LeftButton);
  QCOMPARE(state.notice.shown.size(), std::size_t{1});
  QCOMPARE(state.notice.shown[0].text, std::string(diagnostics::kInstallPrinterText));
  QCOMPARE(state.notice.shown[0].caption, std::string("Attention!"));

  QVERIFY(cups.addDefaultPdfQueue());
  const std::string report = page.controller().reportText();
  QTest::mouseClick(page.printButton(), Qt::LeftButton);
  QCOMPARE(state.notice.shown.size(), std::size_t{1});
  QVERIFY(fs::is_empty(cups.dir.file("own")));  // the private print file went at once
  const std::string pdf = cups.waitForPdf();
  QVERIFY2(!pdf.empty(), "no PDF was printed");
  const std::string text = cups.dir.file("printed.txt");
  QCOMPARE(run({"pdftotext", "-layout", pdf, text}), 0);
  std::stringstream printed;
  printed << std::ifstream(text).rdbuf();
  const std::string want = visibleInk(report);
  QCOMPARE(QString::fromStdString(unshift(printed.str(), want.empty() ? ' ' : want[0])),
           QString::fromStdString(want));
  page.pageLeft();
}

QTEST_MAIN(DiagnosticsPrintTest)
#include "diagnostics_print_test.moc"
