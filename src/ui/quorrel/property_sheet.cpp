// The tabbed sheet.
#include "ui/quorrel/property_sheet.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "ui/presentation/main_page_text.h"
#include "ui/quorrel/sheet_page.h"

namespace quorrel::qtui {

PropertySheet::PropertySheet(const QString& title, QWidget* parent) : QDialog(parent) {
  setWindowTitle(title);
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  tabs_ = new QTabWidget(this);
  close_ = new QPushButton(QString::fromUtf8(ui::main_text::kClose), this);
  close_->setAutoDefault(false);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(close_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs_);
  layout->addLayout(buttons);
  connect(close_, &QPushButton::clicked, this, &PropertySheet::reject);
  connect(tabs_, &QTabWidget::currentChanged, this, &PropertySheet::pageChanged);
}

void PropertySheet::addPage(SheetPage* page, const QString& caption) {
  pages_.push_back(page);
  const QSignalBlocker quiet(tabs_);
  tabs_->addTab(page, caption);
  if (current_ < 0) current_ = 0;
}

SheetPage* PropertySheet::currentPage() const {
  if (current_ < 0 || current_ >= static_cast<int>(pages_.size())) return nullptr;
  return pages_[static_cast<std::size_t>(current_)];
}

void PropertySheet::pageChanged(int index) {
  if (SheetPage* left = currentPage()) left->pageLeft();
  current_ = index;
  if (SheetPage* entered = currentPage()) entered->pageEntered();
}

void PropertySheet::reject() {
  if (SheetPage* page = currentPage()) page->closeRequested();
  QDialog::reject();
}

}  // namespace quorrel::qtui
