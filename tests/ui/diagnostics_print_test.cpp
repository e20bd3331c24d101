// Printing the report for real: a private CUPS scheduler (configuration, spool and socket in a
// temporary folder) with a PDF queue as the default printer; Print Report on the Diagnostics
// page must produce a PDF holding the report, and with no printer the page says to install
// one. Needs root and the CUPS packages; skipped otherwise.
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

constexpr const char* kPdfModel = "/usr/share/ppd/cups-pdf/CUPS-PDF_noopt.ppd";

// A program's exit code once it ended; negative when it could not start or crashed.
int run(const std::vector<std::string>& argv) {
  QStringList args;
  for (const std::string& a : argv) args << QString::fromStdString(a);
  return QProcess::execute(args.takeFirst(), args);
}

// The text filter embeds its monospaced font without a map back to the characters, so the
// PDF's text comes out as glyph numbers, which run in character order one fixed shift away;
// glyph numbers up to the blank's (digits and most punctuation) do not come out at all. So the
// report's characters from '>' up must come out, in order, under one shift.
std::string ink(const std::string& text, int shift = 0) {
  std::string out;
  for (const char c : text)
    if (!std::isspace(static_cast<unsigned char>(c))) out += static_cast<char>(c + shift);
  return out;
}

// A private scheduler; all it makes lives below `dir` and goes with the object.
struct PrivateCups {
  PrivateCups() {
    for (const char* d : {"conf", "spool", "cache", "state", "tmp", "log", "pdf", "own"})
      fs::create_directories(dir.file(d));
    // The filters run as the scheduler's unprivileged user.
    fs::permissions(dir.path(), fs::perms::others_read | fs::perms::others_exec,
                    fs::perm_options::add);
    for (const char* d : {"tmp", "pdf"}) fs::permissions(dir.file(d), fs::perms::all);
    std::ofstream(dir.file("conf/cupsd.conf"))
        << "Listen " << socket << "\nBrowsing No\nDefaultAuthType None\nWebInterface No\n"
        << "<Policy default>\n<Limit All>\nOrder deny,allow\n</Limit>\n</Policy>\n";
    std::ofstream files(dir.file("conf/cups-files.conf"));
    files << "SystemGroup root\nPrintcap " << dir.file("printcap") << "\n";
    for (const auto& [key, sub] : {std::pair{"ServerRoot", "conf"},
                                   {"RequestRoot", "spool"},
                                   {"CacheDir", "cache"},
                                   {"StateDir", "state"},
                                   {"TempDir", "tmp"},
                                   {"ErrorLog", "log/error_log"},
                                   {"AccessLog", "log/access_log"},
                                   {"PageLog", "log/page_log"}})
      files << key << " " << dir.file(sub) << "\n";
    files.close();
    // The PDF backend reads its settings by queue name from the system folder only: a file
    // named after this process, removed again below.
    std::ofstream(pdfConf) << "Out " << dir.file("pdf") << "\nAnonDirName " << dir.file("pdf")
                           << "\nLog " << dir.file("log") << "\nGrp root\n";
    cupsd.start("/usr/sbin/cupsd",
                {"-f", "-c", QString::fromStdString(dir.file("conf/cupsd.conf")), "-s",
                 QString::fromStdString(dir.file("conf/cups-files.conf"))});
    for (int i = 0; i < 200 && cupsd.waitForStarted() && !fs::exists(socket); ++i) QTest::qWait(50);
    ::setenv("CUPS_SERVER", socket.c_str(), 1);
    ::setenv("TMPDIR", dir.file("own").c_str(), 1);
  }
  ~PrivateCups() {
    cupsd.terminate();
    cupsd.waitForFinished();
    fs::remove(pdfConf);
    ::unsetenv("CUPS_SERVER");
    ::unsetenv("TMPDIR");
  }
  // Poppler makes the queue's PostScript keeping one code per glyph; Ghostscript's route
  // splits the text over fonts that share their codes.
  bool addDefaultPdfQueue() {
    return run({"/usr/sbin/lpadmin", "-h", socket, "-p", "quorrel-pdf", "-E", "-v",
                "cups-pdf:/" + instance, "-P", kPdfModel, "-o",
                "pdftops-renderer-default=pdftops"}) == 0 &&
           run({"/usr/sbin/lpadmin", "-h", socket, "-d", "quorrel-pdf"}) == 0;
  }
  // The text of the first PDF the queue writes, waiting a minute at most.
  std::string printedText() {
    for (int i = 0; i < 600; ++i, QTest::qWait(100))
      for (const auto& e : fs::directory_iterator(dir.file("pdf")))
        if (e.path().extension() == ".pdf" && fs::file_size(e.path()) > 0) {
          QTest::qWait(500);  // the backend may still be writing it
          std::stringstream text;
          if (run({"/usr/bin/pdftotext", "-layout", e.path().string(), dir.file("out.txt")}) == 0)
            text << std::ifstream(dir.file("out.txt")).rdbuf();
          return text.str();
        }
    return {};
  }

  ui::testing::ScratchDir dir;
  std::string socket = dir.file("cups.sock");
  std::string instance = "quorrel-test-" + std::to_string(::getpid());
  std::string pdfConf = "/etc/cups/cups-pdf-" + instance + ".conf";
  QProcess cupsd;
};

}  // namespace

class DiagnosticsPrintTest : public QObject {
  Q_OBJECT

 private slots:
  void printsTheReportOnTheDefaultPrinter();
};

void DiagnosticsPrintTest::printsTheReportOnTheDefaultPrinter() {
  if (::geteuid() != 0) QSKIP("needs root to run a scheduler and its PDF backend");
  for (const char* tool : {"/usr/sbin/cupsd", "/usr/lib/cups/backend/cups-pdf", kPdfModel,
                           "/usr/bin/pdftotext", "/usr/sbin/lpadmin"})
    if (!fs::exists(tool)) QSKIP(qPrintable(QStringLiteral("missing: %1").arg(tool)));
  ui::testing::DesktopState state;
  PrivateCups cups;
  QVERIFY2(fs::exists(cups.socket), "the private scheduler did not start");
  ui::testing::FakeScan scan;
  transport::interfaceTable().interfaceCount = 1;
  api::interfaceDevices(0).interfaceMac = ui::testing::mac(9);
  persistence::AppendKnownDevice(ui::testing::mac(2), "Kitchen");
  api::UpsertRemote(ui::testing::mac(2));
  qtui::DiagnosticsPage page(scan, diagnostics::systemPrinter());
  page.pageEntered();

  QTest::mouseClick(page.printButton(), Qt::LeftButton);  // no printer yet
  QCOMPARE(state.notice.shown.size(), std::size_t{1});
  QCOMPARE(state.notice.shown[0].text, std::string(diagnostics::kInstallPrinterText));
  QCOMPARE(state.notice.shown[0].caption, std::string("Attention!"));

  QVERIFY(cups.addDefaultPdfQueue());
  std::string want = ink(page.controller().reportText());
  std::erase_if(want, [](char c) { return c < '>'; });
  QTest::mouseClick(page.printButton(), Qt::LeftButton);
  QCOMPARE(state.notice.shown.size(), std::size_t{1});
  QVERIFY(fs::is_empty(cups.dir.file("own")));  // the private print file went at once
  const std::string printed = ink(cups.printedText());
  QVERIFY2(!printed.empty(), "no PDF was printed");
  QCOMPARE(QString::fromStdString(ink(printed, want[0] - printed[0])),
           QString::fromStdString(want));
  page.pageLeft();
}

QTEST_MAIN(DiagnosticsPrintTest)
#include "diagnostics_print_test.moc"
