// The Main page's "Set Device Password" and "Add Device to Network" dialogs: they check what
// was typed, run the key operation with their progress line advancing, and keep the result.
#pragma once

#include <QDialog>
#include <string>

class QLabel;
class QLineEdit;

namespace quorrel::qtui {

class MainPage;

class KeyDialog : public QDialog {
 public:
  KeyDialog(MainPage& page, const char* title, int widthDlu, int heightDlu, int pictureY);
  QLineEdit* passwordField() const { return password_; }
  QLabel* progressLine() const { return progress_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  // Shows the progress line's new text at once.
  void showProgress(std::string_view text);

  MainPage& page_;
  QLineEdit* password_ = nullptr;
  QLabel* progress_ = nullptr;
  int pictureY_ = 0;
  bool autoscan_ = true;
};

class PasswordDialog final : public KeyDialog {
 public:
  // Empty when no row is selected (the selection message was shown): do not open it.
  explicit PasswordDialog(MainPage& page);
  bool usable() const { return known_ != 0; }
  QLabel* deviceLabel() const { return device_; }
  void accept() override;
  void reject() override;

 private:
  QLabel* device_ = nullptr;
  int known_ = 0;
};

class AddDeviceDialog final : public KeyDialog {
 public:
  explicit AddDeviceDialog(MainPage& page);
  QLineEdit* nameField() const { return name_; }
  void accept() override;
  void reject() override;

 private:
  bool refuse(const char* text);
  QLineEdit* name_ = nullptr;
};

}  // namespace quorrel::qtui
