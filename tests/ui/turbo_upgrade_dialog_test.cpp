// The Turbo upgrade dialog, offscreen, over the simulated adapter: the Browse buttons' file
// dialogs, the upgrade with the window painting and its buttons off, and the paths kept for
// the next opening. Pictures go under the build tree.
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "api/device_table.h"
#include "platform/notice.h"
#include "scan/scan.h"
#include "support/picture.h"
#include "support/scratch_dir.h"
#include "support/sim_host.h"
#include "support/wired_scan.h"
#include "ui/quorrel/turbo_upgrade_dialog.h"

using namespace quorrel;

namespace {

constexpr MacAddress kTurboMac{0x00, 0x04, 0x87, 0x12, 0x34, 0x56};

// Presses `button` and answers the file dialog it opens with `path`, checking its filter and
// default extension.
void browse(QPushButton* button, const std::string& path, const QString& filter,
            const QString& suffix) {
  QTimer::singleShot(0, [&] {
    auto* d = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    QVERIFY(d != nullptr);
    QCOMPARE(d->nameFilters(), QStringList{filter});
    QCOMPARE(d->defaultSuffix(), suffix);
    d->selectFile(QString::fromStdString(path));
    static_cast<QDialog*>(d)->accept();
  });
  QTest::mouseClick(button, Qt::LeftButton);
}

}  // namespace

class TurboUpgradeDialogTest : public QObject {
  Q_OBJECT
 private slots:
  void upgradesWithTheWindowAliveAndKeepsThePaths() {
    sim::Scenario s;
    s.local.mac = kTurboMac;
    s.local.family = sim::AdapterFamily::Turbo;
    testing::SimHost host(s);
    api::currentState().localMac = kTurboMac;
    platform::RecordingNotice notice;
    platform::setNotice(&notice);
    std::string image = std::string(4, 0x11) + "QTB-VERSION:QTB2000 fw rev2.2.0 UI" + '\0';
    image.resize(5000, 0x11);
    const testing::ScratchDir folder;
    const std::string img = folder.write("dialog.IMG", image);
    const std::string cfg = folder.write("dialog.CFG", std::vector<std::uint8_t>(959, 0x22));

    scan::SuspendAutoscan(true);
    ui::testing::FakeScan fake;
    ui::testing::WiredScan wire{fake};
    {
      qtui::Hp1UpgradeDialog dialog(nullptr, &wire);
      QVERIFY(!scan::SuspendAutoscan(false));  // off while the dialog is open
      dialog.show();
      browse(dialog.imageBrowseButton(), img, "Firmware File (*.IMG)", "bin");
      browse(dialog.configBrowseButton(), cfg, "Config File (*.CFG)", "cfg");
      QCOMPARE(dialog.imageEdit()->text().toStdString(), img);
      keep(dialog, "turbo-upgrade-dialog.png");

      // The upgrade runs on the wire thread: an event posted before OK is handled during it.
      bool handled = false;
      QTimer::singleShot(0, &dialog, [&] { handled = true; });
      bool midway = false;
      dialog.progressed = [&](std::size_t sent, std::size_t total) {
        if (midway || total == 0 || sent * 2 < total) return;
        midway = true;
        QVERIFY(handled);
        QVERIFY(dialog.running() && !dialog.okButton()->isEnabled());
        QCOMPARE(dialog.progressBar()->value(), static_cast<int>(sent));
        dialog.reject();  // ignored while running
        QVERIFY(dialog.isVisible());
        keep(dialog, "turbo-upgrade-dialog-progress.png");
      };
      QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
      QTRY_VERIFY_WITH_TIMEOUT(!dialog.running(), 20000);
      QVERIFY(midway);
      QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }
    QCOMPARE(QString::fromStdString(notice.shown.back().text),
             QStringLiteral("Firmware Update Successful"));
    QVERIFY(notice.shown.back().owner == platform::NoticeOwner::ActiveDialog);
    host.clock.sleepMs(3000);
    QCOMPARE(QString::fromStdString(host.local().firmware),
             QStringLiteral("QTB2000 fw rev2.2.0 UI"));

    // Reopened: empty edits, but OK takes the files chosen before.
    host.local().firmware = "old";
    notice.clear();
    {
      qtui::Hp1UpgradeDialog dialog(nullptr, &wire);
      dialog.show();
      QVERIFY(dialog.imageEdit()->text().isEmpty());
      QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
      QTRY_VERIFY_WITH_TIMEOUT(!dialog.running(), 20000);
    }
    host.clock.sleepMs(3000);
    QCOMPARE(QString::fromStdString(host.local().firmware),
             QStringLiteral("QTB2000 fw rev2.2.0 UI"));

    platform::setNotice(nullptr);
  }
};

QTEST_MAIN(TurboUpgradeDialogTest)
#include "turbo_upgrade_dialog_test.moc"
