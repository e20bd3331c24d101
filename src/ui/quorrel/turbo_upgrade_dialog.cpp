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
#include "ui/qtplatform/page_metrics.h"

namespace quorrel::qtui {

namespace {

// The files chosen, kept from one opening of the dialog to the next.
struct ChosenFiles {
  std::string imagePath;
  std::string configPath;
};
ChosenFiles chosen;

// The event loop gets a turn at most this often during the upgrade's waits.
constexpr std::uint32_t kPumpEveryMs = 15;

class PumpingClock final : public platform::Clock {
 public:
  explicit PumpingClock(platform::Clock& inner) : inner_(inner), lastPump_(inner.tickCount()) {}
  std::uint32_t tickCount() override { return inner_.tickCount(); }
  std::uint64_t microseconds() override { return inner_.microseconds(); }
  void sleepMs(std::uint32_t ms) override {
    inner_.sleepMs(ms);
    const std::uint32_t now = inner_.tickCount();
    if (now - lastPump_ < kPumpEveryMs) return;
    lastPump_ = now;
    QCoreApplication::processEvents();
  }

 private:
  platform::Clock& inner_;
  std::uint32_t lastPump_;
};

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

Hp1UpgradeDialog::Hp1UpgradeDialog(QWidget* parent)
    : QDialog(parent),
      configEdit_(new QLineEdit(this)),
      imageEdit_(new QLineEdit(this)),
      configBrowse_(new QPushButton(QStringLiteral("Browse...."), this)),
      imageBrowse_(new QPushButton(QStringLiteral("Browse...."), this)),
      ok_(new QPushButton(QStringLiteral("OK"), this)),
      cancel_(new QPushButton(QStringLiteral("Cancel"), this)),
      step_(new QLabel(this)),
      bar_(new QProgressBar(this)) {
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

  platform::Clock& previous = platform::clock();
  PumpingClock pumping(previous);
  platform::setClock(&pumping);
  const brantleapi::Hp1UpgradeContext context{
      scan::receivePath(), platform::NoticeOwner::ActiveDialog,
      [this](const brantleapi::Hp1UpgradeProgress& p) {
        if (p.piecesTotal > 0) {
          bar_->setRange(0, static_cast<int>(p.piecesTotal));
          bar_->setValue(static_cast<int>(p.piecesSent));
          step_->setText(
              QStringLiteral("%1: %2 of %3 pieces")
                  .arg(QString::fromUtf8(p.step.data(), static_cast<qsizetype>(p.step.size())))
                  .arg(p.piecesSent)
                  .arg(p.piecesTotal));
        } else {
          step_->setText(QString::fromUtf8(p.step.data(), static_cast<qsizetype>(p.step.size())));
        }
        if (progressed) progressed(p.piecesSent, p.piecesTotal);
      }};
  {
    scan::WireHold hold;
    brantleapi::upgradeHp1Device(context, chosen.imagePath, chosen.configPath);
  }
  platform::setClock(&previous);
  running_ = false;
  // The autoscan stays off: the adapter restarts, and the next scan finds it again.
  QDialog::accept();
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

void runTurboUpgradeDialog(QWidget* parent) {
  Hp1UpgradeDialog dialog(parent);
  dialog.exec();
}

}  // namespace quorrel::qtui
