// What the sheet tells each of its pages.
#pragma once

#include <QWidget>

namespace quorrel::qtui {

class SheetPage : public QWidget {
 public:
  using QWidget::QWidget;
  virtual void pageEntered() {}
  virtual void pageLeft() {}
  // The sheet is about to close while this page is shown.
  virtual void closeRequested() {}
};

}  // namespace quorrel::qtui
