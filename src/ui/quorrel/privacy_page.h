// The Privacy page: a network name typed or the public one, set on the local adapter alone or
// on every adapter whose password is known.
#pragma once

#include "ui/presentation/main_page_controller.h"
#include "ui/quorrel/sheet_page.h"

class QLineEdit;
class QPushButton;

namespace quorrel::qtui {

class MainPage;

class PrivacyPage final : public SheetPage {
 public:
  PrivacyPage(MainPage& mainPage, ui::ShellState& shell, QWidget* parent = nullptr);

  void pageEntered() override;

  QLineEdit* nameField() const { return name_; }
  QPushButton* useDefaultButton() const { return useDefault_; }
  QPushButton* setLocalButton() const { return setLocal_; }
  QPushButton* setAllButton() const { return setAll_; }

  void useDefault();
  void setNetwork(bool allDevices);

 private:
  void showLocalName();

  MainPage& main_;
  ui::ShellState& shell_;
  QLineEdit* name_ = nullptr;
  QPushButton* useDefault_ = nullptr;
  QPushButton* setLocal_ = nullptr;
  QPushButton* setAll_ = nullptr;
};

}  // namespace quorrel::qtui
