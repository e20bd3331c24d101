// The desktop program's widgets, offscreen: the notice's message boxes and wait cursor, the
// sheet and its Close button, the remote list's columns, colours, icons, sort and layout
// through the data file, renaming in place, bitmaps and dialog units. Every page is also
// rendered to a PNG under the build tree for review.
#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>
#include <memory>

#include "api/device_table.h"
#include "support/desktop_fixture.h"
#include "support/picture.h"
#include "ui/hputilities/network_setting.h"
#include "ui/presentation/quality_text.h"
#include "ui/qtplatform/page_metrics.h"
#include "ui/qtplatform/qt_notice.h"
#include "ui/quorrel/about_page.h"
#include "ui/quorrel/diagnostics_page.h"
#include "ui/quorrel/key_dialogs.h"
#include "ui/quorrel/main_page.h"
#include "ui/quorrel/privacy_page.h"
#include "ui/quorrel/property_sheet.h"
#include "ui/quorrel/shell.h"
#include "ui/remoteslistview/local_list_view.h"
#include "ui/remoteslistview/remotes_list_view.h"

using namespace quorrel;
using ui::testing::mac;

namespace {

// A sheet over a scripted scan, with the recording notice in place.
struct Harness {
  // `shared`: the folder of an earlier harness, so its data file is found again.
  explicit Harness(const std::string* shared = nullptr) {
    if (shared != nullptr) {
      persistence::setResourceDirectory(*shared);
      ::setenv("XDG_DATA_HOME", shared->c_str(), 1);
    }
    scan.remotes = {{mac(2), api::DeviceClass::AvFirstGeneration, 100},
                    {mac(3), api::DeviceClass::AvSecondGeneration, 300},
                    {mac(4), api::DeviceClass::Turbo, 0}};
  }
  void start() {
    built = qtui::buildSheet(scan, shell, qtNotice);
    sheet.reset(built.sheet);
    platform::setNotice(&state.notice);
    sheet->show();
    QApplication::setActiveWindow(sheet.get());
    qtui::initialisePages(built, shell);
    built.mainPage->pageEntered();
    scan.ScanTick();
  }
  qtui::MainPage& page() { return *built.mainPage; }
  qtui::RemotesListView& list() { return *built.mainPage->remoteList(); }
  QTreeWidgetItem* row(const QString& macText) {
    return list().findItems(macText, Qt::MatchExactly, 1).value(0);
  }
  // Selects the row and presses Rename: the in-place editor, or null.
  QLineEdit* rename(QTreeWidgetItem* item) {
    list().setCurrentItem(item);
    item->setSelected(true);
    QTest::mouseClick(page().renameButton(), Qt::LeftButton);
    for (QLineEdit* e : list().findChildren<QLineEdit*>())
      if (e->isVisible()) return e;
    return nullptr;
  }
  QStringList headersInDisplayOrder() {
    QStringList out;
    for (int p = 0; p < list().header()->count(); ++p)
      out << list().headerItem()->text(list().header()->logicalIndex(p));
    return out;
  }
  ui::testing::DesktopState state;
  ui::testing::FakeScan scan;
  ui::ShellState shell;
  qtui::QtNotice qtNotice;
  qtui::Sheet built;
  std::unique_ptr<qtui::PropertySheet> sheet;
};

}  // namespace

class DesktopUiTest : public QObject {
  Q_OBJECT

 private slots:
  void noticeBoxesAndTheWaitCursorRestoredOnEveryPath();
  void defaultWidthsFitHeadersAndQualityTexts();
  void mainPageHeaderClicksSortRenameInPlaceAndLayoutRoundTripsThroughTheDataFile();
  void bitmapsArePaintedOnlyWhenWhole();
  void aboutPageWithAndWithoutReadme();
  void diagnosticsPrivacyAndKeyDialogsKeepPictures();
};

void DesktopUiTest::noticeBoxesAndTheWaitCursorRestoredOnEveryPath() {
  auto notice = std::make_unique<qtui::QtNotice>();
  QWidget page;
  notice->setMainPage(&page);
  const platform::NoticeRequest request{
      " Autoscan <b>On</b> \n", "Problem Occurred", platform::NoticeIcon::Stop,
      platform::NoticeButtons::OkCancel, platform::NoticeOwner::MainPage};
  std::unique_ptr<QMessageBox> box = notice->build(request);
  QCOMPARE(box->text(), QStringLiteral(" Autoscan <b>On</b> \n"));
  QCOMPARE(box->textFormat(), Qt::PlainText);  // shown as typed, never as markup
  QCOMPARE(box->windowTitle(), QStringLiteral("Problem Occurred"));
  QCOMPARE(box->icon(), QMessageBox::Critical);
  QCOMPARE(box->standardButtons(), QMessageBox::Ok | QMessageBox::Cancel);
  QCOMPARE(box->parentWidget(), &page);
  QCOMPARE(notice->ownerWindow(platform::NoticeOwner::None), nullptr);
  QCOMPARE(notice->ownerWindow(platform::NoticeOwner::ActiveDialog), &page);

  // A box that is shown answers with the button pressed.
  QTimer::singleShot(0, [] {
    if (auto* shown = qobject_cast<QMessageBox*>(QApplication::activeModalWidget()))
      shown->button(QMessageBox::No)->click();
  });
  QCOMPARE(notice->show({"Sure?", "Question", platform::NoticeIcon::Question,
                         platform::NoticeButtons::YesNo, platform::NoticeOwner::None}),
           platform::NoticeAnswer::No);

  platform::setNotice(notice.get());
  QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
  {
    platform::WaitCursor outer;
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    try {
      platform::WaitCursor inner;
      throw 1;
    } catch (int) {
    }
    QCOMPARE(notice->waitDepth(), 1);
  }
  QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
  // A stray restore never pops someone else's cursor; a notice that goes restores its own.
  notice->setWaitCursor(false);
  notice->setWaitCursor(true);
  notice.reset();
  platform::setNotice(nullptr);
  QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
}

void DesktopUiTest::defaultWidthsFitHeadersAndQualityTexts() {
  for (int style = 0; style < ui::kQualityStyleCount; ++style) {
    Harness h;
    persistence::preferences().qualityStyle = static_cast<std::int16_t>(style);
    // Each class at its full scale, and one at rate 0: the widest texts of every style.
    for (ui::testing::ScriptedRemote& r : h.scan.remotes)
      r.rate = ui::levelFullScale(r.deviceClass);
    h.scan.remotes.push_back({mac(5), api::DeviceClass::Usb, 0});
    h.start();
    const QHeaderView* header = h.list().header();
    for (int c = 0; c < header->count(); ++c)
      QVERIFY(header->sectionSizeHint(c) <= header->sectionSize(c));
    const int quality = h.list().columns().indexOf(ui::ColumnKind::Quality);
    const QAbstractItemView& view = h.list();  // the delegate's measure of every row
    QVERIFY(view.sizeHintForColumn(quality) <= header->sectionSize(quality));
    // A data file of an earlier version holds the drawn width of the Rate column.
    const int rate = h.list().columns().indexOf(ui::ColumnKind::Rate);
    h.list().setColumnWidth(rate, 70);
    QVERIFY(header->sectionSizeHint(rate) <= header->sectionSize(rate));
  }
}

void DesktopUiTest::mainPageHeaderClicksSortRenameInPlaceAndLayoutRoundTripsThroughTheDataFile() {
  Harness h;
  persistence::preferences().listColour = 2;
  persistence::preferences().qualityStyle = 5;
  h.start();
  QCOMPARE(h.headersInDisplayOrder(),
           (QStringList{"Device Name", "Password", "Quality", "Rate (Mbps)", "MAC Address"}));
  QCOMPARE(h.list().header()->sectionSize(0), 140);
  QCOMPARE(h.list().header()->sectionSize(4), 110);
  QCOMPARE(h.list().palette().color(QPalette::Text), QColor(0, 0, 255));
  QVERIFY(!h.list().topLevelItem(0)->icon(0).isNull());  // missing files: the warning icon
  // The rows' texts are the rows' tests'; here: the quality style reaches the widget.
  QCOMPARE(h.row("00:B0:52:20:00:03")->text(3), QStringLiteral("60-80%"));
  QCOMPARE(h.page().scanTimer().interval(), 42);
  QCOMPARE(h.sheet->windowTitle(), QStringLiteral("Quorrel Utility"));
  QStringList sheetButtons;
  for (QPushButton* b : h.sheet->findChildren<QPushButton*>())
    if (!h.sheet->tabs()->isAncestorOf(b)) sheetButtons << b->text();
  QCOMPARE(sheetButtons, QStringList{"Close"});
  keep(*h.sheet, "main-page.png");

  QHeaderView* header = h.list().header();
  auto clickHeader = [&](int logical) {
    const int x = header->sectionViewportPosition(logical) + header->sectionSize(logical) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
  };
  clickHeader(2);  // rate, its remembered direction 0: rising
  QCOMPARE(h.list().topLevelItem(0)->text(2), QStringLiteral("?"));
  QCOMPARE(h.list().topLevelItem(2)->text(2), QStringLiteral("300.00"));
  clickHeader(2);  // same column: falling
  QCOMPARE(h.list().topLevelItem(0)->text(2), QStringLiteral("300.00"));
  QCOMPARE(persistence::listSettings().sortColumn, 2u);
  QCOMPARE(persistence::listSettings().sortDirection, 1u);

  const QString macText = h.list().topLevelItem(1)->text(1);
  QLineEdit* editor = h.rename(h.list().topLevelItem(1));
  QVERIFY(editor != nullptr);
  QCOMPARE(editor->maxLength(), 79);
  QVERIFY(!h.scan.autoscanOn);
  editor->selectAll();
  editor->insert(QString::fromUtf8("Büro "));  // typed through an input method
  QTest::keyClicks(editor, QString(90, 'q'));
  QCOMPARE(editor->text().size(), 79);
  QTest::keyClick(editor, Qt::Key_Return);
  QCoreApplication::processEvents();  // the delegate commits on the next pass
  QVERIFY(h.scan.autoscanOn);
  const int k = persistence::FindKnownByMacText(macText.toStdString());
  const QString stored = QString::fromStdString(persistence::knownAt(k)->name.str());
  QCOMPARE(stored, QString::fromUtf8("Büro ") + QString(26, 'q'));
  QCOMPARE(h.row(macText)->text(0), stored);

  // Escape keeps the old name (refused names: the controller's test).
  editor = h.rename(h.row(macText));
  QVERIFY(editor != nullptr);
  QTest::keyClicks(editor, "zzz");
  QTest::keyClick(editor, Qt::Key_Escape);
  QCoreApplication::processEvents();
  QCOMPARE(QString::fromStdString(persistence::knownAt(k)->name.str()), stored);
  QCOMPARE(h.row(macText)->text(0), stored);

  // An edit whose row goes away under a user scan still gives the autoscan back.
  QVERIFY(h.rename(h.list().topLevelItem(2)) != nullptr);
  QVERIFY(!h.scan.autoscanOn);
  api::FindRemote(mac(3))->inUse = false;
  api::FindRemote(mac(4))->inUse = false;
  h.page().controller().RefreshDeviceLists(4);
  QCOMPARE(h.list().topLevelItemCount(), 1);
  QVERIFY(h.scan.autoscanOn);

  // A user scan that finds nothing empties both lists (its message: the controller's test).
  h.scan.localPresent = false;
  QTest::mouseClick(h.page().scanButton(), Qt::LeftButton);
  QCOMPARE(h.list().topLevelItemCount(), 0);
  QCOMPARE(h.page().localList()->topLevelItemCount(), 0);
  keep(*h.sheet, "main-page-no-adapter.png");

  header->moveSection(header->visualIndex(1), 1);  // MAC next to the name
  header->resizeSection(0, 222);
  header->resizeSection(4, 99);
  const QStringList order = h.headersInDisplayOrder();
  QCOMPARE(order.value(1), QStringLiteral("MAC Address"));
  std::filesystem::remove(persistence::dataFilePath());
  h.sheet->closeButton()->click();
  QVERIFY(std::filesystem::exists(persistence::dataFilePath()));

  Harness again(&h.state.dir.path());
  again.start();
  QCOMPARE(again.headersInDisplayOrder(), order);
  QCOMPARE(again.list().header()->sectionSize(0), 222);
  QCOMPARE(again.list().header()->sectionSize(4), 99);
  QCOMPARE(persistence::listSettings().sortColumn, 2u);
  QCOMPARE(again.list().topLevelItem(0)->text(2), QStringLiteral("300.00"));
}

void DesktopUiTest::bitmapsArePaintedOnlyWhenWhole() {
  ui::testing::ScratchDir dir;
  QImage indexed(6, 4, QImage::Format_Indexed8);
  indexed.setColorCount(256);
  for (int i = 0; i < 256; ++i) indexed.setColor(i, qRgb(i, 0, 255 - i));
  indexed.fill(200);
  QVERIFY(indexed.save(QString::fromStdString(dir.file("cert.bmp")), "BMP"));
  QImage rgb(6, 4, QImage::Format_RGB32);
  rgb.fill(Qt::green);
  QVERIFY(rgb.save(QString::fromStdString(dir.file("deep.bmp")), "BMP"));

  // Which files pass (not the 24-bit one, nor a missing one): the bitmap check's unit test.
  QImage canvas(40, 40, QImage::Format_RGB32);
  canvas.fill(Qt::white);
  {
    QPainter p(&canvas);
    qtui::PaintBitmapFile(p, dir.path(), "cert.bmp", 10, 20);
  }
  QCOMPARE(canvas.pixel(15, 23), qRgb(200, 0, 55));
  QCOMPARE(canvas.pixel(16, 20), qRgb(255, 255, 255));  // its own width
  QCOMPARE(qtui::loadListImage(dir.file("deep.bmp"), 16).availableSizes().value(0), QSize(16, 16));
  QVERIFY(!qtui::loadListImage(dir.file("missing.bmp"), 16).isNull());  // the warning icon
}

void DesktopUiTest::aboutPageWithAndWithoutReadme() {
  for (const bool withReadme : {false, true}) {
    Harness h;
    persistence::preferences().diagnosticsLevel = 0;
    persistence::preferences().webAddress = "file:///etc/passwd";
    if (withReadme) std::ofstream(h.state.dir.file("Readme.txt")) << "Quorrel Utility\nNotices.\n";
    h.start();
    QCOMPARE(h.sheet->tabs()->tabText(2), QStringLiteral("About"));  // no Diagnostics at 0
    h.sheet->tabs()->setCurrentWidget(h.built.aboutPage);
    qtui::AboutPage& about = *h.built.aboutPage;
    QVERIFY(!about.webLink()->isEnabled());  // not a web address: shown, never opened
    // Read once: a file that appears later is not picked up by a repaint.
    std::ofstream(h.state.dir.file("Readme.txt")) << "late";
    about.grab();  // paints the page now
    QCOMPARE(about.readme()->toPlainText().startsWith("Readme.txt file is missing."), !withReadme);
    QTest::mouseClick(about.autoScanBox(), Qt::LeftButton);
    QCOMPARE(h.page().statusLabel()->text(), QStringLiteral(" Autoscan Off "));
    QVERIFY(!h.scan.autoscanOn);
    keep(*h.sheet, withReadme ? "about-page.png" : "about-page-no-readme.png");
  }
}

void DesktopUiTest::diagnosticsPrivacyAndKeyDialogsKeepPictures() {
  Harness h;
  persistence::preferences().diagnosticsLevel = 2;
  h.start();
  // Each refusal of the two key dialogs, in their order, before any frame is sent.
  h.state.notice.clear();
  QVERIFY(!qtui::PasswordDialog(h.page()).usable());
  QCOMPARE(h.state.notice.shown.at(0).text,
           std::string("Please select a device first by clicking on it."));
  h.list().setCurrentItem(h.row("00:B0:52:20:00:03"));
  h.list().currentItem()->setSelected(true);
  persistence::knownAt(persistence::FindKnownByMacText("00:B0:52:20:00:03"))->password =
      "Not ABCD-1234";
  {
    qtui::PasswordDialog dialog(h.page());
    QVERIFY(dialog.usable());
    QVERIFY(dialog.deviceLabel()->text().endsWith("  (00:B0:52:20:00:03)"));
    QCOMPARE(dialog.passwordField()->text(), QStringLiteral("ABCD-1234"));
    dialog.show();
    keep(dialog, "password-dialog.png");
    h.state.notice.clear();
    dialog.passwordField()->setText("abc");
    dialog.accept();
    QCOMPARE(h.state.notice.shown.at(0).caption, std::string("Invalid Entry"));
    QVERIFY(dialog.isVisible());
    // Without the computer's own MAC the password is kept unchecked (nothing is sent), and the
    // row shows so at once (so does the copy the add dialog checks against, below).
    transport::interfaceTable().entries[transport::currentInterface()].macAddress = {};
    dialog.passwordField()->setText("ABCD-1234");
    dialog.accept();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(h.row("00:B0:52:20:00:03")->text(4), QStringLiteral("CHECK ABCD-1234"));
  }
  qtui::AddDeviceDialog add(h.page());
  add.show();
  keep(add, "add-dialog.png");
  struct Case {
    QString name, password;
    const char* text;
  };
  const std::string known = persistence::knownAt(1)->name.str();
  for (const Case& c :
       {Case{"", "x", "Please enter another name."},
        Case{QString(32, 'n'), "x", "Device Name should be less than 31 characters"},
        Case{QString::fromStdString(known), "x", "Please enter another name."},
        Case{"Den", "TYPE-CODE-INTO-THIS", "Please enter a Password."},
        Case{"Den", "abc",
             "The Device Password Entered is Invalid.\nPlease check it and try again."},
        Case{"Den", "CHECK ABCD-1234", "Device is already added in the network"}}) {
    h.state.notice.clear();
    add.nameField()->setText(c.name);
    add.passwordField()->setText(c.password);
    add.accept();
    QCOMPARE(h.state.notice.shown.at(0).text, std::string(c.text));
    QVERIFY(add.isVisible());
  }
  QVERIFY(!hpapi::membershipState().addingDevice);

  // The Diagnostics page keeps its rows and selection and holds the scan while shown.
  h.state.notice.clear();
  h.sheet->tabs()->setCurrentWidget(h.built.diagnosticsPage);
  QVERIFY(!h.scan.autoscanOn);
  qtui::DiagnosticsPage& page = *h.built.diagnosticsPage;
  QTreeWidget& history = *page.historyList();
  QCOMPARE(history.columnCount(), 14);
  // Repaints leave the rows and the selection alone (the password question: the page's
  // controller test).
  history.setCurrentItem(history.findItems("00:B0:52:20:00:03", Qt::MatchExactly, 1)[0]);
  history.topLevelItem(0)->setData(0, Qt::UserRole, 42);  // a refilled row would not have it
  page.grab();                                            // paints the page now
  QCOMPARE(history.topLevelItem(0)->data(0, Qt::UserRole).toInt(), 42);
  QCOMPARE(page.selectedMac().value_or(""), std::string("00:B0:52:20:00:03"));
  keep(*h.sheet, "diagnostics-page.png");
  // Without a password it goes at once, from the history and from the Main page's list.
  history.setCurrentItem(history.findItems("00:B0:52:20:00:02", Qt::MatchExactly, 1)[0]);
  QTest::mouseClick(page.deleteButton(), Qt::LeftButton);
  QVERIFY(h.state.notice.shown.empty());
  QCOMPARE(history.topLevelItemCount(), 2);
  QVERIFY(h.row("00:B0:52:20:00:02") == nullptr);
  h.sheet->tabs()->setCurrentWidget(h.built.aboutPage);
  QVERIFY(h.scan.autoscanOn);

  // Privacy: names are checked before anything changes (the remote list, the data file, the
  // scan); a cancelled Set All Devices leaves the name and the buttons as they were.
  h.sheet->tabs()->setCurrentWidget(h.built.privacyPage);
  qtui::PrivacyPage& p = *h.built.privacyPage;
  keep(*h.sheet, "privacy-page.png");
  const std::string before = api::currentDevices().localNetworkName.str();
  h.scan.ScanTick();
  const int rows = h.list().topLevelItemCount(), scans = h.scan.userScans;
  QVERIFY(rows > 0);
  std::filesystem::remove(persistence::dataFilePath());
  hpapi::membershipState().suppressAdapterMessage = true;  // as a setting that worked leaves it
  // One name breaking each rule (the rules' own boundaries: their unit tests).
  for (const QString& name : {QStringLiteral("abc"), QStringLiteral("Caf\u00E9 Net")}) {
    h.state.notice.clear();
    p.nameField()->setText(name);
    QTest::mouseClick(p.setLocalButton(), Qt::LeftButton);
    QCOMPARE(h.state.notice.shown.size(), std::size_t{1});
    QCOMPARE(h.state.notice.shown[0].caption, std::string("Invalid Entry"));
  }
  QCOMPARE(h.list().topLevelItemCount(), rows);
  QCOMPARE(h.scan.userScans, scans);
  QVERIFY(!std::filesystem::exists(persistence::dataFilePath()));
  QVERIFY(!hpapi::membershipState().suppressAdapterMessage);  // the setting has ended
  QTest::mouseClick(p.useDefaultButton(), Qt::LeftButton);
  QVERIFY(p.nameField()->text() == "HomePlugAV" || p.nameField()->text() == "HomePlug");
  h.state.notice.clear();
  h.state.notice.scriptAnswers({platform::NoticeAnswer::Cancel});
  p.nameField()->setText(QString(24, 'b'));
  QTest::mouseClick(p.setAllButton(), Qt::LeftButton);
  QCOMPARE(h.state.notice.shown.size(), std::size_t{1});
  QCOMPARE(h.state.notice.shown[0].caption, std::string("Network Name Setting "));
  QVERIFY(p.setAllButton()->isEnabled() && p.setLocalButton()->isEnabled());
  QVERIFY(h.shell.settingAllDevices);
  QCOMPARE(api::currentDevices().localNetworkName.str(), before);
  keep(*h.sheet, "privacy-page-name.png");
}

QTEST_MAIN(DesktopUiTest)
#include "desktop_ui_test.moc"
