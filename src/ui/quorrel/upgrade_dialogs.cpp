// The upgrade's dialogs. Every widget is touched on the user-interface thread only: the worker
// returns its result through a queued call to the progress dialog, which exists before the
// worker starts, so a worker that ends before the dialog runs still closes it.
#include "ui/quorrel/upgrade_dialogs.h"

#include "ui/quorrel/turbo_upgrade_dialog.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <chrono>

#include "api/device_table.h"
#include "platform/notice.h"
#include "scan/autoscan_hold.h"
#include "scan/scan.h"
#include "ui/presentation/operation_text.h"
#include "ui/qtplatform/page_metrics.h"
#include "ui/qtplatform/wire_window.h"
#include "upgrade/upgrade_texts.h"
#include "upgrade/write_options.h"

namespace quorrel::qtui {

namespace {

using platform::NoticeAnswer;
using platform::NoticeButtons;
using platform::NoticeIcon;
using platform::NoticeOwner;

constexpr int kProgressRefreshMs = 200;
const FileChoice kPibChoice{"PIB File (*.PIB)", "pib"};
const FileChoice kNvmChoice{"Firmware File (*.NVM)", "nvm"};

QString fileDialog(QWidget* owner, const FileChoice& choice) {
  QFileDialog dialog(owner);
  dialog.setNameFilter(choice.filter);
  dialog.setDefaultSuffix(choice.defaultSuffix);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setOption(QFileDialog::ReadOnly);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().first();
}

QPushButton* button(QWidget* parent, const char* text, const QRect& where) {
  auto* b = new QPushButton(QString::fromUtf8(text), parent);
  b->setGeometry(where);
  b->setAutoDefault(false);
  return b;
}

QLabel* label(QWidget* parent, const char* text, const QRect& where) {
  auto* l = new QLabel(QString::fromUtf8(text), parent);
  l->setGeometry(where);
  return l;
}

}  // namespace

void startUpgrade(QWidget* owner, ui::ScanControl& scan) {
  const api::DeviceTable& table = api::deviceTable();
  if (table.turboLocal) {
    runTurboUpgradeDialog(owner, scan);
  } else if (table.avLocal) {
    runWithProgress(scan, owner, QString::fromUtf8(ui::operation_text::kReadingFirmware),
                    [] { upgrade::chooseCommitForLocalAdapter(scan::receivePath()); });
    AvUpgradeDialog dialog(scan, owner);
    dialog.exec();
  } else {
    platform::showNotice(upgrade::kNoUpgradeForDeviceText, "Stop", NoticeIcon::Information,
                         NoticeButtons::Ok, NoticeOwner::MainPage);
  }
}

// ---- AvUpgradeDialog

AvUpgradeDialog::AvUpgradeDialog(ui::ScanControl& scan, QWidget* parent)
    : QDialog(parent),
      chooseFile(&fileDialog),
      restartWaitMs(upgrade::kRestartWaitMs),
      scan_(scan) {
  setWindowTitle(QStringLiteral("Enter PIB & NVM files"));
  setFont(pageFont());
  const DialogUnits du(font());
  setFixedSize(du.size(351, 97));
  QLabel* note =
      label(this, "Please select appropriate Firmware and PIB files.", du.rect(7, 7, 337, 10));
  note->setStyleSheet(QStringLiteral("color: blue; background: transparent;"));
  label(this, "PIB", du.rect(7, 25, 30, 10));
  pibEdit_ = new QLineEdit(this);
  pibEdit_->setGeometry(du.rect(40, 23, 240, 13));
  pibBrowse_ = button(this, "Browse...", du.rect(288, 23, 56, 14));
  label(this, "NVM", du.rect(7, 47, 30, 10));
  nvmEdit_ = new QLineEdit(this);
  nvmEdit_->setGeometry(du.rect(40, 45, 240, 13));
  nvmBrowse_ = button(this, "Browse...", du.rect(288, 45, 56, 14));
  ok_ = button(this, "OK", du.rect(231, 75, 50, 14));
  ok_->setDefault(true);
  QPushButton* cancel = button(this, "Cancel", du.rect(294, 75, 50, 14));

  connect(pibBrowse_, &QPushButton::clicked, this, [this] { browse(pibEdit_, kPibChoice); });
  connect(nvmBrowse_, &QPushButton::clicked, this, [this] { browse(nvmEdit_, kNvmChoice); });
  connect(ok_, &QPushButton::clicked, this, [this] { start(); });
  connect(cancel, &QPushButton::clicked, this, [this] { reject(); });
  savedAutoscan_ = scan_.SuspendAutoscan(false);
}

AvUpgradeDialog::~AvUpgradeDialog() = default;

void AvUpgradeDialog::browse(QLineEdit* edit, const FileChoice& choice) {
  try {
    const QString path = chooseFile(this, choice);
    if (!path.isEmpty()) edit->setText(path);
  } catch (...) {
    platform::showNotice(
        "Unknown error occurred while opening the file. Please try the operation again!!", "Error!",
        NoticeIcon::Error, NoticeButtons::Ok, NoticeOwner::ActiveDialog);
  }
}

void AvUpgradeDialog::start() {
  const upgrade::UpgradeFiles files{nvmEdit_->text().toStdString(), pibEdit_->text().toStdString()};
  if (files.firmwarePath.empty() || files.parameterBlockPath.empty()) {
    platform::showNotice(upgrade::kSelectFilesText, "Stop", NoticeIcon::Error, NoticeButtons::Ok,
                         NoticeOwner::ActiveDialog);
    return;
  }
  if (platform::showNotice(upgrade::kConfirmAvText, upgrade::kConfirmCaption,
                           NoticeIcon::Information, NoticeButtons::OkCancel,
                           NoticeOwner::ActiveDialog) != NoticeAnswer::Ok)
    return;
  hide();
  {
    UpgradeProgressDialog progress(files, restartWaitMs, scan_, parentWidget());
    progress.startWorker();
    if (progressShown)
      QTimer::singleShot(0, &progress, [this, &progress] { progressShown(progress); });
    progress.exec();
  }
  // The adapter has restarted (or was left as it was): the lists should come back.
  scan_.SuspendAutoscan(savedAutoscan_);
  scan_.requestUserScan();
  accept();
}

void AvUpgradeDialog::reject() {
  scan_.SuspendAutoscan(savedAutoscan_);
  QDialog::reject();
}

// ---- UpgradeProgressDialog

UpgradeProgressDialog::UpgradeProgressDialog(upgrade::UpgradeFiles files, int restartWaitMs,
                                             ui::ScanControl& wire, QWidget* parent)
    : QDialog(parent), files_(std::move(files)), restartWaitMs_(restartWaitMs), wire_(wire) {
  setWindowTitle(QStringLiteral("Upgrading Local Device"));
  setFont(pageFont());
  const DialogUnits du(font());
  setFixedSize(du.size(186, 70));
  label(this, "Upgrading firmware.....................", du.rect(7, 7, 172, 10));
  label(this, "Please wait this may take few seconds.....", du.rect(7, 20, 172, 10));
  progress_ = label(this, "", du.rect(7, 33, 172, 10));
  cancel_ = button(this, "Cancel", du.rect(68, 49, 50, 14));
  connect(cancel_, &QPushButton::clicked, this, [this] { cancelClicked(); });
  auto* refresh = new QTimer(this);
  connect(refresh, &QTimer::timeout, this, [this] { updateProgress(); });
  refresh->start(kProgressRefreshMs);
}

// The dialog is closed only once the upgrade has returned, so its end always finds it.
UpgradeProgressDialog::~UpgradeProgressDialog() = default;

void UpgradeProgressDialog::startWorker() {
  running_ = true;
  wire_.runOperation([this] {
    upgrade::UpgradeResult result =
        upgrade::upgradeLocalAvDevice(scan::receivePath(), files_, &control_);
    wire_.toWindow([this, result = std::move(result)] {
      result_ = result;
      running_ = false;
      workerFinished();
    });
  });
}

void UpgradeProgressDialog::updateProgress() {
  if (control_.total() != 0)
    progress_->setText(
        QStringLiteral("%1 of %2 pieces sent").arg(control_.confirmed()).arg(control_.total()));
}

void UpgradeProgressDialog::workerFinished() {
  if (ended_) return;
  ended_ = true;
  updateProgress();
  if (!result_.success) {
    done(0);
    upgrade::reportUpgradeResult(result_);
    return;
  }
  // The adapter restarts: the dialog stays up (no cancel left to make) until it has.
  cancel_->setEnabled(false);
  QTimer::singleShot(restartWaitMs_, this, [this] {
    done(0);
    platform::showNotice(upgrade::kUpgradedText, "Success", NoticeIcon::Information,
                         NoticeButtons::Ok, NoticeOwner::MainPage);
  });
}

// The stop reaches the upgrade at its next wait; its end closes the dialog and says what
// state the adapter was left in.
void UpgradeProgressDialog::cancelClicked() {
  if (ended_ || !running_ || !cancel_->isEnabled()) return;
  if (platform::showNotice(upgrade::kCancelQuestionText, upgrade::kCancelCaption,
                           NoticeIcon::Information, NoticeButtons::OkCancel,
                           NoticeOwner::ActiveDialog) != NoticeAnswer::Ok)
    return;
  if (ended_ || !running_) return;  // it ended while the question was open
  cancel_->setEnabled(false);
  control_.requestStop();
  wire_.cancelOperation();
}

}  // namespace quorrel::qtui
