// The notice seam on Qt: message boxes over the right window, the wait cursor as an
// application override cursor. Both may be asked for on any thread (the AV upgrade's worker
// reaches the notice when the capture helper fails): a call from another thread is carried to
// the application's thread and waits there for the box's answer, so that thread must keep
// running its event loop meanwhile (not block on the caller). Calls on the application's
// thread are made directly.
#pragma once

#include <QMessageBox>
#include <QPointer>
#include <memory>

#include "platform/notice.h"

class QWidget;

namespace quorrel::qtui {

QMessageBox::Icon messageBoxIcon(platform::NoticeIcon icon);
QMessageBox::StandardButtons messageBoxButtons(platform::NoticeButtons buttons);
platform::NoticeAnswer noticeAnswer(int standardButton);

class QtNotice final : public platform::Notice {
 public:
  QtNotice();
  ~QtNotice() override;

  platform::NoticeAnswer show(const platform::NoticeRequest& request) override;
  // Nested waits keep one override cursor; the last to end restores the arrow.
  void setWaitCursor(bool waiting) override;

  void setMainPage(QWidget* page) { mainPage_ = page; }
  // The window a box of `owner` is modal over (may be null: the box stands alone).
  QWidget* ownerWindow(platform::NoticeOwner owner) const;
  // The box as it would be shown, for those who need to look before it runs.
  std::unique_ptr<QMessageBox> build(const platform::NoticeRequest& request) const;
  int waitDepth() const { return waitDepth_; }

 private:
  QPointer<QWidget> mainPage_;
  int waitDepth_ = 0;
};

}  // namespace quorrel::qtui
