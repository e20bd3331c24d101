// Printing the report for real: a private CUPS scheduler (configuration, spool, socket and a
// backend of its own in a temporary folder) whose default queue keeps each job as a file; Print
// Report on the Diagnostics page must hand it the report as it reads, and with no printer the
// page says to install one. Needs root and the scheduler; skipped otherwise.
#include <unistd.h>

#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "diagnostics/report_output.h"
#include "support/desktop_fixture.h"
#include "ui/quorrel/diagnostics_page.h"

using namespace quorrel;
namespace fs = std::filesystem;

namespace {

// A private scheduler; all it makes lives below `dir` and goes with the object.
struct PrivateCups {
  PrivateCups() {
    for (const char* d : {"conf", "spool", "cache", "state", "tmp", "log", "bin/backend"})
      fs::create_directories(dir.file(d));
    // The scheduler starts backends through its own helper; a raw queue needs no filters.
    fs::create_directory_symlink("/usr/lib/cups/daemon", dir.file("bin/daemon"));
    std::ofstream(dir.file("bin/backend/keep"))
        << "#!/bin/sh\n[ $# = 0 ] && exit 0\ncat \"${6:-/dev/stdin}\" >" << job << "\n";
    // Owner-only, so the scheduler runs it as root.
    fs::permissions(dir.file("bin/backend/keep"), fs::perms::owner_all);
    fs::permissions(dir.path(), fs::perms::others_read | fs::perms::others_exec,
                    fs::perm_options::add);
    std::ofstream(dir.file("conf/cupsd.conf"))
        << "Listen " << socket << "\nBrowsing No\nDefaultAuthType None\nWebInterface No\n"
        << "<Policy default>\n<Limit All>\nOrder deny,allow\n</Limit>\n</Policy>\n";
    std::ofstream files(dir.file("conf/cups-files.conf"));
    files << "SystemGroup root\nPrintcap " << dir.file("printcap") << "\n";
    for (const auto& [key, sub] : {std::pair{"ServerRoot", "conf"},
                                   {"ServerBin", "bin"},
                                   {"RequestRoot", "spool"},
                                   {"CacheDir", "cache"},
                                   {"StateDir", "state"},
                                   {"TempDir", "tmp"},
                                   {"ErrorLog", "log/error_log"},
                                   {"AccessLog", "log/access_log"},
                                   {"PageLog", "log/page_log"}})
      files << key << " " << dir.file(sub) << "\n";
    files.close();
    cupsd.start("/usr/sbin/cupsd",
                {"-f", "-c", QString::fromStdString(dir.file("conf/cupsd.conf")), "-s",
                 QString::fromStdString(dir.file("conf/cups-files.conf"))});
    for (int i = 0; i < 200 && cupsd.waitForStarted() && !fs::exists(socket); ++i) QTest::qWait(50);
    ::setenv("CUPS_SERVER", socket.c_str(), 1);
  }
  ~PrivateCups() {
    cupsd.terminate();
    cupsd.waitForFinished();
    ::unsetenv("CUPS_SERVER");
  }
  bool addDefaultQueue() {
    for (const QStringList& args : {QStringList{"-p", "quorrel-keep", "-E", "-v", "keep:/"},
                                    QStringList{"-d", "quorrel-keep"}})
      if (QProcess::execute("/usr/sbin/lpadmin",
                            QStringList{"-h", QString::fromStdString(socket)} + args) != 0)
        return false;
    return true;
  }
  // What the queue was handed, waiting a minute at most.
  std::string printed() {
    for (int i = 0; i < 600 && !fs::exists(job); ++i) QTest::qWait(100);
    QTest::qWait(200);  // the backend may still be writing it
    std::stringstream text;
    text << std::ifstream(job).rdbuf();
    return text.str();
  }

  ui::testing::ScratchDir dir;
  std::string socket = dir.file("cups.sock"), job = dir.file("job.txt");
  QProcess cupsd;
};

}  // namespace

class DiagnosticsPrintTest : public QObject {
  Q_OBJECT

 private slots:
  void printsTheReportOnTheDefaultPrinter();
};

void DiagnosticsPrintTest::printsTheReportOnTheDefaultPrinter() {
  if (::geteuid() != 0) QSKIP("needs root to run a scheduler and its backend");
  for (const char* tool :
       {"/usr/sbin/cupsd", "/usr/lib/cups/daemon/cups-exec", "/usr/sbin/lpadmin"})
    if (!fs::exists(tool)) QSKIP(qPrintable(QStringLiteral("missing: %1").arg(tool)));
  ui::testing::DesktopState state;
  PrivateCups cups;
  QVERIFY2(fs::exists(cups.socket), "the private scheduler did not start");
  ui::testing::FakeScan scan;
  transport::interfaceTable().interfaceCount = 1;
  api::interfaceDevices(0).interfaceMac = ui::testing::mac(9);
  persistence::appendKnownDevice(ui::testing::mac(2), "Kitchen");
  api::UpsertRemote(ui::testing::mac(2));
  qtui::DiagnosticsPage page(scan, diagnostics::systemPrinter());
  page.pageEntered();

  QTest::mouseClick(page.printButton(), Qt::LeftButton);  // no printer yet
  QCOMPARE(state.notice.shown.size(), std::size_t{1});
  QCOMPARE(state.notice.shown[0].text, std::string(diagnostics::kInstallPrinterText));
  QCOMPARE(state.notice.shown[0].caption, std::string("Attention!"));

  QVERIFY(cups.addDefaultQueue());
  QTest::mouseClick(page.printButton(), Qt::LeftButton);
  QCOMPARE(state.notice.shown.size(), std::size_t{1});
  // Byte for byte but the first line's time, which the print and this call take apart.
  const auto untimed = [](const std::string& t) {
    return QString::fromStdString(t).section('\n', 1);
  };
  const std::string printed = cups.printed();
  QVERIFY2(printed.starts_with("Diagnostics Report:"), printed.c_str());
  QCOMPARE(untimed(printed), untimed(page.controller().reportText()));
  page.pageLeft();
}

QTEST_MAIN(DiagnosticsPrintTest)
#include "diagnostics_print_test.moc"
