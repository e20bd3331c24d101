// The state lock on the application's thread, queued calls, and the operation box.
#include "ui/qtplatform/wire_window.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QDialog>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <memory>

#include "platform/state_lock.h"
#include "ui/presentation/scan_control.h"

namespace quorrel::qtui {

namespace {
// Every event the application's thread handles is handled with the state held.
class StateOnEvent final : public QObject {
 public:
  using QObject::QObject;
  bool eventFilter(QObject*, QEvent*) override {
    platform::acquireState();
    return false;
  }
};

// Cancel and closing the box both ask the operation to end; the box itself stays until the
// operation has ended, saying so.
class OperationBox final : public QDialog {
 public:
  OperationBox(QWidget* parent, const QString& text, std::function<void()> cancel)
      : QDialog(parent), cancel_(std::move(cancel)) {
    setWindowModality(Qt::ApplicationModal);
    setWindowTitle(QCoreApplication::applicationName());
    auto* layout = new QVBoxLayout(this);
    label_ = new QLabel(text, this);
    label_->setWordWrap(true);
    layout->addWidget(label_);
    auto* bar = new QProgressBar(this);
    bar->setRange(0, 0);
    bar->setTextVisible(false);
    layout->addWidget(bar);
    button_ = new QPushButton(tr("&Cancel"), this);
    button_->setAccessibleName(tr("Cancel the operation"));
    layout->addWidget(button_, 0, Qt::AlignRight);
    connect(button_, &QPushButton::clicked, this, [this] { reject(); });
  }
  void finish() {
    finished_ = true;
    QDialog::accept();
  }
  bool finished() const { return finished_; }
  void reject() override {
    if (finished_) return QDialog::reject();
    if (!button_->isEnabled()) return;
    button_->setEnabled(false);
    label_->setText(tr("Cancelling…"));
    cancel_();
  }

 private:
  std::function<void()> cancel_;
  QLabel* label_ = nullptr;
  QPushButton* button_ = nullptr;
  bool finished_ = false;
};
}  // namespace

void holdStateWhileAwake(QCoreApplication& app) {
  platform::acquireState();
  app.installEventFilter(new StateOnEvent(&app));
  QObject::connect(QAbstractEventDispatcher::instance(app.thread()),
                   &QAbstractEventDispatcher::aboutToBlock, &app, [] { platform::releaseState(); });
}

void postToWindow(std::function<void()> task) {
  QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(task), Qt::QueuedConnection);
}

void runWithProgress(ui::ScanControl& scan, QWidget* parent, const QString& text,
                     std::function<void()> operation) {
  auto ended = std::make_shared<bool>(false);
  OperationBox* box = nullptr;
  scan.runOperation([&scan, ended, &box, operation = std::move(operation)] {
    operation();
    scan.toWindow([ended, &box] {
      *ended = true;
      if (box != nullptr) box->finish();
    });
  });
  if (*ended) return;
  const bool held = platform::stateHeldHere();
  OperationBox shown(parent, text, [&scan] { scan.cancelOperation(); });
  box = &shown;
  while (!shown.finished()) shown.exec();
  box = nullptr;
  if (held) platform::acquireState();  // the box's event loop let go of it while idle
}

}  // namespace quorrel::qtui
