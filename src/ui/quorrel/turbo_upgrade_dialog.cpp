// The Turbo upgrade dialog. The upgrade runs on the user-interface thread; a clock whose sleeps
// hand the event loop a turn keeps the window painting through the upgrade's waits, while the
// dialog's modality and its disabled buttons keep the user from starting anything else.
#include "ui/quorrel/turbo_upgrade_dialog.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <string>

#include "brantleapi/hp1_upgrade.h"
#include "platform/clock.h"
#include "platform/notice.h"
#include "scan/autoscan_hold.h"
#include "scan/scan.h"
#include "ui/presentation/scan_control.h"
#include "ui/qtplatform/page_metrics.h"

namespace quorrel::qtui {

namespace {

// The files chosen, kept from one opening of the dialog to the next.
struct ChosenFiles {
  std::string imagePath;
  std::string configPath;
};
ChosenFiles chosen;

// The platform's open-file dialog over `owner`, read-only; empty on cancel.
QString chooseFile(QWidget* owner, const QString& filter, const QString& suffix) {
  try {
    QFileDialog d(owner);
    d.setNameFilter(filter);
    d.setDefaultSuffix(suffix);
    d.setFileMode(QFileDialog::ExistingFile);
    d.setOption(QFileDialog::ReadOnly);
    if (d.exec() != QDialog::Accepted || d.selectedFiles().isEmpty()) return {};
    return d.selectedFiles().constFirst();
  } catch (...) {
    platform::showNotice(
        "Unknown error occurred while opening the file. Please try the operation again!!",
        "Error!");
    return {};
  }
}

}  // namespace

Hp1UpgradeDialog::Hp1UpgradeDialog(QWidget* parent, ui::ScanControl* wire)
    : QDialog(parent),
      configEdit_(new QLineEdit(this)),
      imageEdit_(new QLineEdit(this)),
      configBrowse_(new QPushButton(QStringLiteral("Browse...."), this)),
      imageBrowse_(new QPushButton(QStringLiteral("Browse...."), this)),
      ok_(new QPushButton(QStringLiteral("OK"), this)),
      cancel_(new QPushButton(QStringLiteral("Cancel"), this)),
      step_(new QLabel(this)),
      bar_(new QProgressBar(this)),
      wire_(wire) {
  setWindowTitle(QStringLiteral("Config & Image"));
  setFont(pageFont());
  setMinimumSize(DialogUnits(font()).size(336, 86));
  configEdit_->setReadOnly(true);
  imageEdit_->setReadOnly(true);
  ok_->setDefault(true);
  step_->hide();
  bar_->hide();

  auto* grid = new QGridLayout(this);
  grid->addWidget(new QLabel(QStringLiteral("Config"), this), 0, 0);
  grid->addWidget(configEdit_, 0, 1);
  grid->addWidget(configBrowse_, 0, 2);
  grid->addWidget(new QLabel(QStringLiteral("Image"), this), 1, 0);
  grid->addWidget(imageEdit_, 1, 1);
  grid->addWidget(imageBrowse_, 1, 2);
  grid->addWidget(step_, 2, 0, 1, 3);
  grid->addWidget(bar_, 3, 0, 1, 3);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  grid->addLayout(buttons, 4, 0, 1, 3);

  connect(configBrowse_, &QPushButton::clicked, this, [this] { browseConfig(); });
  connect(imageBrowse_, &QPushButton::clicked, this, [this] { browseImage(); });
  connect(ok_, &QPushButton::clicked, this, [this] { start(); });
  connect(cancel_, &QPushButton::clicked, this, [this] { reject(); });
  // The scan's own polls would take the loader's replies.
  keptAutoscan_ = scan::SuspendAutoscan(false);
}

Hp1UpgradeDialog::~Hp1UpgradeDialog() = default;

void Hp1UpgradeDialog::browseImage() {
  const QString path =
      chooseFile(this, QStringLiteral("Firmware File (*.IMG)"), QStringLiteral("bin"));
  if (path.isEmpty()) return;
  chosen.imagePath = path.toStdString();
  imageEdit_->setText(path);
}

void Hp1UpgradeDialog::browseConfig() {
  const QString path =
      chooseFile(this, QStringLiteral("Config File (*.CFG)"), QStringLiteral("cfg"));
  if (path.isEmpty()) return;
  chosen.configPath = path.toStdString();
  configEdit_->setText(path);
}

void Hp1UpgradeDialog::start() {
  if (running_) return;
  running_ = true;
  for (QPushButton* b : {configBrowse_, imageBrowse_, ok_, cancel_}) b->setEnabled(false);
  step_->setText(QStringLiteral("Upgrading firmware....................."));
  step_->show();
  bar_->setRange(0, 0);
  bar_->show();

  // What the upgrade reports on the wire thread is shown from the window's thread.
  const auto show = [this](const std::string& step, std::size_t sent, std::size_t total) {
    const QString text = QString::fromStdString(step);
    if (total > 0) {
      bar_->setRange(0, static_cast<int>(total));
      bar_->setValue(static_cast<int>(sent));
      step_->setText(QStringLiteral("%1: %2 of %3 pieces").arg(text).arg(sent).arg(total));
    } else {
      step_->setText(text);
    }
    if (progressed) progressed(sent, total);
  };
  const auto toWindow = [this](std::function<void()> task) {
    if (wire_ != nullptr)
      wire_->toWindow(std::move(task));
    else
      task();
  };
  const auto upgrade = [this, show, toWindow] {
    const brantleapi::Hp1UpgradeContext context{
        scan::receivePath(), platform::NoticeOwner::ActiveDialog,
        [show, toWindow](const brantleapi::Hp1UpgradeProgress& p) {
          toWindow([show, step = std::string(p.step), sent = p.piecesSent,
                    total = p.piecesTotal] { show(step, sent, total); });
        }};
    {
      scan::WireHold hold;
      brantleapi::upgradeHp1Device(context, chosen.imagePath, chosen.configPath);
    }
    toWindow([this] {
      running_ = false;
      // The autoscan stays off: the adapter restarts, and the next scan finds it again.
      QDialog::accept();
    });
  };
  if (wire_ != nullptr)
    wire_->runOperation(upgrade);
  else
    upgrade();
}

void Hp1UpgradeDialog::reject() {
  if (running_) return;
  scan::SuspendAutoscan(keptAutoscan_);
  QDialog::reject();
}

void Hp1UpgradeDialog::closeEvent(QCloseEvent* event) {
  if (running_) {
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

void runTurboUpgradeDialog(QWidget* parent, ui::ScanControl& wire) {
  Hp1UpgradeDialog dialog(parent, &wire);
  dialog.exec();
}

}  // namespace quorrel::qtui
