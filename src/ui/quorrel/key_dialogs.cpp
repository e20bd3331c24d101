#include "ui/quorrel/key_dialogs.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QTimer>

#include "api/device_table.h"
#include "brantleapi/turbo_state.h"
#include "hpapi/membership.h"
#include "persistence/device_data.h"
#include "persistence/known_devices.h"
#include "persistence/preferences.h"
#include "platform/notice.h"
#include "scan/scan.h"
#include "ui/hputilities/add_device.h"
#include "ui/hputilities/password_rules.h"
#include "ui/presentation/key_dialog_text.h"
#include "ui/presentation/operation_text.h"
#include "ui/qtplatform/page_metrics.h"
#include "ui/qtplatform/wire_window.h"
#include "ui/quorrel/main_page.h"

namespace quorrel::qtui {

namespace {

using namespace ui::key_dialog_text;
using platform::NoticeButtons;
using platform::NoticeIcon;
using platform::NoticeOwner;

constexpr int kProgressPollMs = 100;

QLabel* label(QWidget* parent, const char* text, const QRect& where) {
  auto* l = new QLabel(QString::fromUtf8(text), parent);
  l->setGeometry(where);
  l->setWordWrap(true);
  return l;
}

void attention(const char* text) {
  platform::showNotice(text, kAttention, NoticeIcon::Warning, NoticeButtons::Ok,
                       NoticeOwner::ActiveDialog);
}

// The HomePlug 1.0 layer flagged the local Turbo device's firmware: say so once.
bool firmwareTooOld(const char* text) {
  brantleapi::TurboState& t = brantleapi::turboState();
  if (!t.turboFirmwareOld) return false;
  t.turboFirmwareOld = false;
  attention(text);
  return true;
}

}  // namespace

KeyDialog::KeyDialog(MainPage& page, const char* title, int widthDlu, int heightDlu, int pictureY)
    : QDialog(&page), page_(page), pictureY_(pictureY) {
  setWindowTitle(QString::fromUtf8(title));
  setFont(pageFont());
  const DialogUnits du(font());
  setFixedSize(du.size(widthDlu, heightDlu));
  password_ = new QLineEdit(this);
  password_->setMaxLength(kPasswordFieldLimit);
  progress_ = new QLabel(this);
  progress_->setWordWrap(true);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->setGeometry(du.rect(widthDlu - 110, heightDlu - 22, 104, 16));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  autoscan_ = scan::SuspendAutoscan(false);
}

void KeyDialog::paintEvent(QPaintEvent* event) {
  QDialog::paintEvent(event);
  QPainter painter(this);
  const api::InterfaceDevices& d = api::currentDevices();
  PaintBitmapFile(painter, page_.shell().workingDirectory,
                  localDevicePicture(d.localPresent, d.localClass), 10, pictureY_);
}

void KeyDialog::showProgress(std::string_view text) {
  progress_->setText(QString::fromUtf8(text.data(), static_cast<int>(text.size())));
  progress_->repaint();
}

PasswordDialog::PasswordDialog(MainPage& page) : KeyDialog(page, kPasswordTitle, 195, 172, 90) {
  const DialogUnits du(font());
  label(this, kDeviceLabel, du.rect(7, 4, 40, 8));
  device_ = label(this, "", du.rect(51, 4, 137, 24));
  label(this, kPasswordLabel, du.rect(7, 31, 40, 8));
  password_->setGeometry(du.rect(51, 29, 111, 14));
  label(this, kHelp, du.rect(70, 48, 118, 80));
  progress_->setGeometry(du.rect(7, 142, 96, 17));
  ui::MainPageController& c = page.controller();
  const int row = c.selectedRemoteRow();
  if (row < 0 || row >= static_cast<int>(c.rowMacs().size())) {
    attention(kSelectFirst);
    scan::SuspendAutoscan(autoscan_);
    return;
  }
  const std::string& mac = c.rowMacs()[static_cast<std::size_t>(row)];
  known_ = persistence::FindKnownByMacText(mac);
  persistence::KnownDevice* record = persistence::knownAt(known_);
  if (record == nullptr) {
    known_ = 0;
    scan::SuspendAutoscan(autoscan_);
    return;
  }
  device_->setText(QString::fromUtf8(record->name.c_str()) + "  (" + QString::fromStdString(mac) +
                   ")");
  persistence::stripPasswordPrefix(*record);
  password_->setText(QString::fromUtf8(record->password.c_str()));
  password_->selectAll();
  password_->setFocus();
}

void PasswordDialog::accept() {
  if (firmwareTooOld(kOldFirmwarePassword)) {
    scan::SuspendAutoscan(autoscan_);
    QDialog::reject();
    page_.controller().RequestScan();
    return;
  }
  const std::string typed = password_->text().toStdString();
  if (!hputilities::checkDevicePasswordLength(NoticeOwner::ActiveDialog, typed)) return;
  persistence::KnownDevice* record = persistence::knownAt(known_);
  if (record == nullptr) return QDialog::reject();
  record->password = typed;
  ui::ProgressLine line(ui::ProgressLine::Kind::Password);
  showProgress(line.step(0));
  hpapi::JoinTarget target;
  target.devicePassword = typed;
  target.deviceMac = record->mac;
  hpapi::membershipState().useSavedKeyOnce = true;
  ui::MainPageController& c = page_.controller();
  ui::ScanControl& wire = page_.scan();
  int r = 0;
  runWithProgress(wire, this, QString::fromUtf8(ui::operation_text::kTestingPassword), [&] {
    r = hputilities::verifyDevicePassword(
        scan::receivePath(), NoticeOwner::ActiveDialog, target,
        [this, &line, &wire] { wire.toWindow([this, &line] { showProgress(line.step(1)); }); },
        [&c, &wire] { wire.toWindow([&c] { c.RequestScan(); }); });
  });
  // A rescan may have moved the records; the device is found again by its address.
  const std::string stored = hputilities::storedPassword(typed, r);
  if (persistence::KnownDevice* again =
          persistence::knownAt(persistence::FindKnownByMac(target.deviceMac)))
    again->password = stored;
  persistence::SaveDeviceData();
  c.showStoredPassword(target.deviceMac, stored);
  scan::SuspendAutoscan(autoscan_);
  QDialog::accept();
}

void PasswordDialog::reject() {
  scan::SuspendAutoscan(autoscan_);
  QDialog::reject();
}

AddDeviceDialog::AddDeviceDialog(MainPage& page) : KeyDialog(page, kAddTitle, 202, 167, 70) {
  const DialogUnits du(font());
  label(this, kNameLabel, du.rect(40, 9, 56, 8));
  name_ = new QLineEdit(QString::fromUtf8(kDefaultName), this);
  name_->setGeometry(du.rect(99, 7, 96, 14));
  name_->setMaxLength(kFieldLimit);
  label(this, kPasswordLabel, du.rect(40, 25, 56, 8));
  password_->setGeometry(du.rect(100, 23, 95, 14));
  password_->setText(QString::fromUtf8(kPlaceholder));
  password_->selectAll();
  label(this, kHelp, du.rect(80, 44, 115, 80));
  progress_->setGeometry(du.rect(9, 133, 113, 27));
  name_->selectAll();
  name_->setFocus();
}

bool AddDeviceDialog::refuse(const char* text) {
  attention(text);
  return false;
}

void AddDeviceDialog::accept() {
  ui::MainPageController& c = page_.controller();
  if (firmwareTooOld(kOldFirmwareAdd)) {
    scan::SuspendAutoscan(autoscan_);
    QDialog::reject();
    c.RequestScan();
    return;
  }
  const std::string name = name_->text().toStdString();
  const std::string typed = password_->text().toStdString();
  if (name.empty()) return (void)refuse(kAnotherName);
  if (name.size() > static_cast<std::size_t>(kMaxNameLength)) return (void)refuse(kNameTooLong);
  if (persistence::FindKnownByName(name) != 0) return (void)refuse(kAnotherName);
  if (typed == kPlaceholder) return (void)refuse(kEnterPassword);
  if (!hputilities::checkDevicePasswordLength(NoticeOwner::ActiveDialog, typed)) return;
  for (const std::string& p : c.rowPasswords())
    if (p == typed) {
      scan::SuspendAutoscan(autoscan_);
      return (void)refuse(kAlreadyAdded);
    }
  scan::scanState().keepNetworkName = true;
  scan::SuspendAutoscan(autoscan_);
  c.addingDevice = true;
  c.addDialogOpen = true;
  if (api::deviceTable().avLocal) showProgress(c.addProgress.step(0));
  std::string password = typed;
  // addDevice puts the user's key back itself whenever it fails after leaving it.
  ui::ScanControl& wire = page_.scan();
  int r = 0;
  runWithProgress(wire, this, QString::fromUtf8(ui::operation_text::kAddingDevice), [&] {
    r = hputilities::addDevice(
        scan::receivePath(), NoticeOwner::ActiveDialog, name, password, nullptr,
        [this, &c, &wire] { wire.toWindow([this, &c] { showProgress(c.addProgress.step(1)); }); },
        [&c, &wire] { wire.toWindow([&c] { c.RequestScan(); }); });
  });
  if (r == 0) {
    c.addDialogOpen = false;
    QDialog::reject();
    return;
  }
  persistence::SaveDeviceData();
  if (persistence::preferences().autoscanEnabled == 0) {
    c.RefreshDeviceLists(50);
    c.RequestScan();
  }
  // The dialog stays with its progress line until a refresh admits the new device.
  auto* poll = new QTimer(this);
  connect(poll, &QTimer::timeout, this, [this, &c] {
    showProgress(c.addProgress.text());
    if (!c.addDialogOpen) QDialog::accept();
  });
  poll->start(kProgressPollMs);
  if (!c.addDialogOpen) QDialog::accept();
}

void AddDeviceDialog::reject() {
  page_.controller().addDialogOpen = false;
  scan::SuspendAutoscan(autoscan_);
  QDialog::reject();
}

}  // namespace quorrel::qtui
