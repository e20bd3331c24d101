// The About page: product name, version, release, notice, the web link, the Readme and the
// AutoScan switch.
#pragma once

#include <QImage>
#include <functional>
#include <string>

#include "ui/presentation/scan_control.h"
#include "ui/quorrel/sheet_page.h"

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace quorrel::qtui {

class AboutPage final : public SheetPage {
 public:
  // `mainStatus` shows a text in the Main page's status label.
  AboutPage(ui::ScanControl& scan, std::function<void(const std::string&)> mainStatus,
            QWidget* parent = nullptr);

  // Reads the Readme and the pictures from the working directory, once.
  void initialise(const std::string& workingDirectory);

  QLabel* productLabel() const { return product_; }
  QLabel* versionLabel() const { return version_; }
  QLabel* releaseLabel() const { return release_; }
  QLabel* noticeLabel() const { return notice_; }
  QPushButton* webLink() const { return webLink_; }
  QPlainTextEdit* readme() const { return readme_; }
  QCheckBox* autoScanBox() const { return autoScan_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  ui::ScanControl& scan_;
  std::function<void(const std::string&)> mainStatus_;
  QLabel* product_ = nullptr;
  QLabel* version_ = nullptr;
  QLabel* release_ = nullptr;
  QLabel* notice_ = nullptr;
  QPushButton* webLink_ = nullptr;
  QPlainTextEdit* readme_ = nullptr;
  QCheckBox* autoScan_ = nullptr;
  QImage oemBig_, cert_;
};

}  // namespace quorrel::qtui
