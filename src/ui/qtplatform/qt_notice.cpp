// Message boxes and the wait cursor on Qt.
#include "ui/qtplatform/qt_notice.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMetaObject>
#include <QThread>
#include <QWidget>

#include "platform/state_lock.h"

namespace quorrel::qtui {

using platform::NoticeAnswer;
using platform::NoticeButtons;
using platform::NoticeIcon;
using platform::NoticeOwner;

QMessageBox::Icon messageBoxIcon(NoticeIcon icon) {
  switch (icon) {
    case NoticeIcon::Information:
      return QMessageBox::Information;
    case NoticeIcon::Warning:
      return QMessageBox::Warning;
    case NoticeIcon::Error:
    case NoticeIcon::Stop:
      return QMessageBox::Critical;
    case NoticeIcon::Question:
      return QMessageBox::Question;
    case NoticeIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons messageBoxButtons(NoticeButtons buttons) {
  switch (buttons) {
    case NoticeButtons::OkCancel:
      return QMessageBox::Ok | QMessageBox::Cancel;
    case NoticeButtons::YesNo:
      return QMessageBox::Yes | QMessageBox::No;
    case NoticeButtons::Ok:
      break;
  }
  return QMessageBox::Ok;
}

NoticeAnswer noticeAnswer(int standardButton) {
  switch (standardButton) {
    case QMessageBox::Cancel:
      return NoticeAnswer::Cancel;
    case QMessageBox::Yes:
      return NoticeAnswer::Yes;
    case QMessageBox::No:
      return NoticeAnswer::No;
    default:
      return NoticeAnswer::Ok;
  }
}

namespace {

// Widgets live on the application's thread only: a request from another thread is carried
// there, and the caller waits for it to be done.
bool offApplicationThread() {
  QCoreApplication* app = QCoreApplication::instance();
  return app != nullptr && QThread::currentThread() != app->thread();
}

}  // namespace

QtNotice::QtNotice() = default;

QtNotice::~QtNotice() {
  while (waitDepth_ > 0) setWaitCursor(false);
}

QWidget* QtNotice::ownerWindow(NoticeOwner owner) const {
  switch (owner) {
    case NoticeOwner::MainPage:
      return mainPage_;
    case NoticeOwner::ActiveDialog: {
      QWidget* modal = QApplication::activeModalWidget();
      return modal != nullptr ? modal : mainPage_.data();
    }
    case NoticeOwner::None:
      break;
  }
  return nullptr;
}

std::unique_ptr<QMessageBox> QtNotice::build(const platform::NoticeRequest& request) const {
  auto box = std::make_unique<QMessageBox>(
      messageBoxIcon(request.icon), QString::fromStdString(request.caption),
      QString::fromStdString(request.text), messageBoxButtons(request.buttons),
      ownerWindow(request.owner));
  // Blanks at either end are part of some texts; plain text keeps them and any '<'.
  box->setTextFormat(Qt::PlainText);
  return box;
}

NoticeAnswer QtNotice::show(const platform::NoticeRequest& request) {
  if (offApplicationThread()) {
    NoticeAnswer answer = NoticeAnswer::Ok;
    // The application's thread needs the state lock to run anything, the box included.
    const platform::BlockingSection waitingForTheUser;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [&] { answer = show(request); },
        Qt::BlockingQueuedConnection);
    return answer;
  }
  std::unique_ptr<QMessageBox> box = build(request);
  // The box wants the arrow even while an operation shows the wait cursor.
  const bool waiting = waitDepth_ > 0;
  if (waiting) QGuiApplication::setOverrideCursor(Qt::ArrowCursor);
  const bool held = platform::stateHeldHere();
  const int answer = box->exec();
  if (held) platform::acquireState();  // the box's event loop let go of it while idle
  if (waiting) QGuiApplication::restoreOverrideCursor();
  return noticeAnswer(answer);
}

void QtNotice::setWaitCursor(bool waiting) {
  if (offApplicationThread()) {
    // Nothing to wait for: the cursor changes in the order the calls were made.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [this, waiting] { setWaitCursor(waiting); },
        Qt::QueuedConnection);
    return;
  }
  if (waiting) {
    ++waitDepth_;
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  } else if (waitDepth_ > 0) {
    --waitDepth_;
    QGuiApplication::restoreOverrideCursor();
  }
}

}  // namespace quorrel::qtui
