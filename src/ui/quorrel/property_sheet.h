// The program's one window: a tabbed sheet of pages with a single Close button and a
// minimise box, titled with the product name.
#pragma once

#include <QDialog>
#include <vector>

class QTabWidget;
class QPushButton;

namespace quorrel::qtui {

class SheetPage;

class PropertySheet final : public QDialog {
 public:
  explicit PropertySheet(const QString& title, QWidget* parent = nullptr);

  // Pages in tab order; the sheet takes ownership.
  void addPage(SheetPage* page, const QString& caption);
  QTabWidget* tabs() const { return tabs_; }
  QPushButton* closeButton() const { return close_; }
  SheetPage* currentPage() const;

 public:
  // Close button, window close and Escape all come here.
  void reject() override;

 private:
  void pageChanged(int index);

  QTabWidget* tabs_ = nullptr;
  QPushButton* close_ = nullptr;
  std::vector<SheetPage*> pages_;
  int current_ = -1;
};

}  // namespace quorrel::qtui
