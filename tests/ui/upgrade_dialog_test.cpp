// The upgrade's dialogs offscreen against the in-process simulated adapter: the paths, the
// empty-path message, the confirmation, progress to the success message, and a cancel that
// leaves the adapter as it was. Each dialog is kept as a picture under the build tree.
#include <QApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <thread>

#include "make-samples/sample_files.h"
#include "platform/notice.h"
#include "support/desktop_fixture.h"
#include "support/picture.h"
#include "support/sim_host.h"
#include "support/wired_scan.h"
#include "platform/state_lock.h"
#include "ui/qtplatform/qt_notice.h"
#include "ui/qtplatform/wire_window.h"
#include "ui/quorrel/upgrade_dialogs.h"
#include "unit/upgrade/upgrade_support.h"
#include "upgrade/upgrade_texts.h"
#include "upgrade/write_options.h"

using namespace quorrel;
using platform::NoticeAnswer;

namespace {

struct Rig {
  Rig() : host(testing::simScenario()) {
    testing::useLocalAdapter(testing::kSimLocalMac, "LQA-100");
    upgrade::setCommitAfterWrite(true);
    platform::setNotice(&notice);
    nvm =
        folder.write("fw.nvm", samples::buildFirmwareFile(samples::sampleFirmwareImages(2, 2500)));
    pib = folder.write("pb.pib", samples::buildParameterBlock({2, 0, 0, 0, 0, 9}, {1}));
    dialog.chooseFile = [this](QWidget*, const qtui::FileChoice& c) {
      choices.push_back(c.filter + " " + c.defaultSuffix);
      return QString::fromStdString(c.defaultSuffix == "pib" ? pib : nvm);
    };
    dialog.restartWaitMs = 0;
    dialog.show();
  }
  ~Rig() { platform::setNotice(nullptr); }
  std::size_t writes() const { return testing::sentRequests(host, 0xA020).size(); }

  testing::SimHost host;
  testing::UpgradeFolder folder;
  platform::RecordingNotice notice;
  ui::testing::FakeScan fake;
  ui::testing::WiredScan scan{fake};
  std::string nvm, pib;
  QStringList choices;
  qtui::AvUpgradeDialog dialog{scan};
};

}  // namespace

class UpgradeDialogTest : public QObject {
  Q_OBJECT
 private slots:
  void pathsConfirmationAndEmptyPath() {
    Rig rig;
    QVERIFY(!rig.fake.autoscanOn);
    QTest::mouseClick(rig.dialog.nvmBrowseButton(), Qt::LeftButton);
    QTest::mouseClick(rig.dialog.okButton(), Qt::LeftButton);
    QCOMPARE(rig.notice.shown.at(0).text, std::string(upgrade::kSelectFilesText));
    QTest::mouseClick(rig.dialog.pibBrowseButton(), Qt::LeftButton);
    QCOMPARE(rig.choices, QStringList({"Firmware File (*.NVM) nvm", "PIB File (*.PIB) pib"}));
    QCOMPARE(rig.dialog.parameterBlockEdit()->text().toStdString(), rig.pib);
    QCOMPARE(rig.dialog.firmwareEdit()->text().toStdString(), rig.nvm);
    keep(rig.dialog, "upgrade-dialog.png");
    rig.notice.scriptAnswers({NoticeAnswer::Cancel});
    QTest::mouseClick(rig.dialog.okButton(), Qt::LeftButton);
    QCOMPARE(rig.notice.shown.back().caption, std::string(upgrade::kConfirmCaption));
    QVERIFY(rig.dialog.isVisible() && rig.dialog.firmwareEdit()->text().toStdString() == rig.nvm);
    QCOMPARE(rig.writes(), std::size_t{0});
    rig.dialog.reject();
    QVERIFY(rig.fake.autoscanOn);
    api::deviceTable().avLocal = false;  // a HomePlug 1.0 adapter: refused
    qtui::startUpgrade(nullptr, rig.fake);
    QCOMPARE(rig.notice.shown.back().caption, std::string("Stop"));
    QCOMPARE(rig.notice.shown.back().text, std::string(upgrade::kNoUpgradeForDeviceText));
  }

  void upgradeRunsToTheSuccessMessage() {
    Rig rig;
    rig.dialog.firmwareEdit()->setText(QString::fromStdString(rig.nvm));
    rig.dialog.parameterBlockEdit()->setText(QString::fromStdString(rig.pib));
    rig.dialog.progressShown = [](qtui::UpgradeProgressDialog& p) {
      keep(p, "upgrade-progress.png");
    };
    rig.notice.scriptAnswers({NoticeAnswer::Ok});
    QTest::mouseClick(rig.dialog.okButton(), Qt::LeftButton);
    QVERIFY(!rig.dialog.isVisible());
    QCOMPARE(rig.notice.shown.back().text, std::string(upgrade::kUpgradedText));
    QCOMPARE(readMac(rig.host.local().modules.parameterBlock, 12), testing::kSimLocalMac);
    QVERIFY(rig.fake.autoscanOn && rig.fake.userScans == 1);  // restored when the flow ended
  }

  void cancelStopsTheWorkerAndSaysTheAdapterWasNotChanged() {
    Rig rig;
    platform::setClock(nullptr);  // the adapter's silence lasts real time: the worker waits
    rig.host.behaviour().stopAfterPiece = 3;
    const std::vector<std::uint8_t> oldBlock =
        (sim::prepareModules(rig.host.local()), rig.host.local().modules.parameterBlock);
    rig.dialog.firmwareEdit()->setText(QString::fromStdString(rig.nvm));
    rig.dialog.parameterBlockEdit()->setText(QString::fromStdString(rig.pib));
    rig.dialog.progressShown = [&rig](qtui::UpgradeProgressDialog& p) {
      QTRY_COMPARE(p.control().confirmed(), 3u);
      QTest::mouseClick(p.cancelButton(), Qt::LeftButton);
    };
    rig.notice.scriptAnswers({NoticeAnswer::Ok, NoticeAnswer::Ok});
    QTest::mouseClick(rig.dialog.okButton(), Qt::LeftButton);
    QCOMPARE(rig.notice.shown[1].caption, std::string(upgrade::kCancelCaption));
    QCOMPARE(rig.notice.shown.back().text, std::string(upgrade::kUncommittedText));
    QCOMPARE(rig.writes(), std::size_t{4});  // the fourth was never answered; nothing after
    QVERIFY(rig.host.local().modules.parameterBlock == oldBlock);
    QVERIFY(rig.fake.autoscanOn);
  }

  // The wire thread reaches the notice for every message an operation shows: its box and wait
  // cursor are made on the application's thread, and the wire thread, holding the state as it
  // does while it works, gets the button pressed there. Last here: the application's thread
  // holds the state from now on, as the program's does.
  void noticeFromAnotherThreadIsShownOnTheApplicationThread() {
    qtui::holdStateWhileAwake(*qApp);
    qtui::QtNotice qt;
    platform::setNotice(&qt);
    bool onApplicationThread = false;
    int waitDepth = -1;
    QTimer press;
    QObject::connect(&press, &QTimer::timeout, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr) return;
      onApplicationThread = box->thread() == qApp->thread();
      waitDepth = qt.waitDepth();
      box->button(QMessageBox::Cancel)->click();
    });
    press.start(10);
    std::atomic<bool> done{false};
    NoticeAnswer answer = NoticeAnswer::Ok;
    std::thread worker([&] {
      platform::acquireState();
      {
        platform::WaitCursor cursor;
        answer =
            platform::showNotice("The capture helper stopped.", "Error",
                                 platform::NoticeIcon::Error, platform::NoticeButtons::OkCancel);
      }
      platform::releaseState();
      done = true;
    });
    // An event loop that goes idle, as the program's does (QTRY's never does, so it would keep
    // the state from the worker).
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (done) loop.quit();
    });
    poll.start(5);
    QTimer::singleShot(20000, &loop, &QEventLoop::quit);
    loop.exec();
    QVERIFY(done);
    worker.join();
    platform::setNotice(nullptr);
    QVERIFY(onApplicationThread);
    QCOMPARE(waitDepth, 1);
    QCOMPARE(qt.waitDepth(), 0);
    QVERIFY(answer == NoticeAnswer::Cancel);
  }
};

QTEST_MAIN(UpgradeDialogTest)
#include "upgrade_dialog_test.moc"
