// The HomePlug AV upgrade on the desktop: the entry behind the Upgrade Firmware button, the file
// dialog, and the progress dialog while the upgrade runs on its worker thread. The worker only
// exchanges frames; everything it has to show goes to the user-interface thread as a queued
// call, and a cancel is a stop request that the frame loop sees before its next frame.
#pragma once

#include <QDialog>
#include <QString>
#include <atomic>
#include <functional>
#include <thread>

#include "ui/presentation/scan_control.h"
#include "upgrade/av_upgrade.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace quorrel::qtui {

// The Upgrade Firmware button: the dialog of the local adapter's family, or the refusal.
void startUpgrade(QWidget* owner, ui::ScanControl& scan);

// What a Browse button asks for.
struct FileChoice {
  QString filter;         // "PIB File (*.PIB)"
  QString defaultSuffix;  // "pib"
};

class UpgradeProgressDialog;

class AvUpgradeDialog final : public QDialog {
 public:
  AvUpgradeDialog(ui::ScanControl& scan, QWidget* parent = nullptr);
  ~AvUpgradeDialog() override;

  QLineEdit* parameterBlockEdit() const { return pibEdit_; }
  QLineEdit* firmwareEdit() const { return nvmEdit_; }
  QPushButton* pibBrowseButton() const { return pibBrowse_; }
  QPushButton* nvmBrowseButton() const { return nvmBrowse_; }
  QPushButton* okButton() const { return ok_; }
  // Asks the user for a file; an empty string when none was chosen. A file dialog by default.
  std::function<QString(QWidget*, const FileChoice&)> chooseFile;
  // How long the adapter is given to restart after it confirmed the upgrade.
  int restartWaitMs;
  // Called with the progress dialog once it exists (tests).
  std::function<void(UpgradeProgressDialog&)> progressShown;
  // Cancel, Escape or the window's close button: the autoscan as it was, the dialog closed.
  void reject() override;

 private:
  void browse(QLineEdit* edit, const FileChoice& choice);
  void start();

  ui::ScanControl& scan_;
  bool savedAutoscan_;
  QLineEdit* pibEdit_;
  QLineEdit* nvmEdit_;
  QPushButton* pibBrowse_;
  QPushButton* nvmBrowse_;
  QPushButton* ok_;
};

class UpgradeProgressDialog final : public QDialog {
 public:
  // The upgrade runs through `wire`.
  UpgradeProgressDialog(upgrade::UpgradeFiles files, int restartWaitMs, ui::ScanControl& wire,
                        QWidget* parent = nullptr);
  ~UpgradeProgressDialog() override;

  // Starts the upgrade on the wire; its end closes the dialog.
  void startWorker();
  QPushButton* cancelButton() const { return cancel_; }
  QLabel* progressLabel() const { return progress_; }
  const upgrade::UpgradeControl& control() const { return control_; }
  // Escape or the window's close button: the guarded cancel.
  void reject() override { cancelClicked(); }

 private:
  // On the user-interface thread: the upgrade has returned with `result_`.
  void workerFinished();
  void cancelClicked();
  void updateProgress();

  upgrade::UpgradeFiles files_;
  int restartWaitMs_;
  ui::ScanControl& wire_;
  upgrade::UpgradeControl control_;
  upgrade::UpgradeResult result_;
  bool running_ = false;
  bool ended_ = false;
  QLabel* progress_;
  QPushButton* cancel_;
};

}  // namespace quorrel::qtui
