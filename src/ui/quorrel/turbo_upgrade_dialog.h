// The dialog that upgrades a Turbo local adapter: an image and a configuration file chosen
// with Browse, then the upgrade through the adapter's secondary loader with its progress shown.
#pragma once

#include <QDialog>
#include <cstddef>
#include <functional>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace quorrel::ui {
class ScanControl;
}

namespace quorrel::qtui {

class Hp1UpgradeDialog final : public QDialog {
 public:
  // The upgrade runs through `wire` (at once on this thread without one).
  explicit Hp1UpgradeDialog(QWidget* parent = nullptr, ui::ScanControl* wire = nullptr);
  ~Hp1UpgradeDialog() override;

  QPushButton* configBrowseButton() const { return configBrowse_; }
  QPushButton* imageBrowseButton() const { return imageBrowse_; }
  QPushButton* okButton() const { return ok_; }
  QLineEdit* configEdit() const { return configEdit_; }
  QLineEdit* imageEdit() const { return imageEdit_; }
  QProgressBar* progressBar() const { return bar_; }
  bool running() const { return running_; }

  // Told after each step and each piece has been shown (tests take their pictures here).
  std::function<void(std::size_t sent, std::size_t total)> progressed;

  // Cancel and Escape: nothing while the upgrade runs.
  void reject() override;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void browseImage();
  void browseConfig();
  void start();

  QLineEdit* configEdit_;
  QLineEdit* imageEdit_;
  QPushButton* configBrowse_;
  QPushButton* imageBrowse_;
  QPushButton* ok_;
  QPushButton* cancel_;
  QLabel* step_;
  QProgressBar* bar_;
  ui::ScanControl* wire_;
  bool keptAutoscan_ = false;
  bool running_ = false;
};

// Opens the dialog modally over `parent`; the upgrade runs on the wire from its OK while the
// dialog shows its progress and nothing else can be started.
void runTurboUpgradeDialog(QWidget* parent, ui::ScanControl& wire);

}  // namespace quorrel::qtui
