// The About page's widgets.
#include "ui/quorrel/about_page.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QUrl>

#include "diagnostics/version_text.h"
#include "persistence/preferences.h"
#include "ui/presentation/about_page_text.h"
#include "ui/qtplatform/page_metrics.h"

namespace quorrel::qtui {

namespace {
QLabel* label(QWidget* parent, const QString& text, const QRect& where) {
  auto* l = new QLabel(text, parent);
  l->setTextFormat(Qt::PlainText);
  l->setGeometry(where);
  return l;
}
QString utf8(std::string_view s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}
}  // namespace

AboutPage::AboutPage(ui::ScanControl& scan, std::function<void(const std::string&)> mainStatus,
                     QWidget* parent)
    : SheetPage(parent), scan_(scan), mainStatus_(std::move(mainStatus)) {
  using namespace ui::about_text;
  const persistence::Preferences& prefs = persistence::preferences();
  setFont(pageFont());
  const DialogUnits du(font());
  setMinimumSize(du.size(378, 215));
  product_ = label(this, utf8(prefs.productName.view()), du.rect(8, 72, 115, 8));
  label(this, utf8(kVersionLabel), du.rect(125, 72, 33, 8));
  version_ = label(this, utf8(diagnostics::programVersionText()), du.rect(161, 72, 88, 8));
  release_ = label(this, utf8(diagnostics::releaseText()), du.rect(252, 72, 109, 8));
  notice_ = label(this, utf8(prefs.noticeText.view()), du.rect(8, 82, 241, 10));
  webLink_ = new QPushButton(utf8(prefs.webAddress.view()), this);
  webLink_->setGeometry(du.rect(252, 82, 112, 14));
  webLink_->setAutoDefault(false);
  const std::optional<std::string> target = ui::webLinkTarget(prefs.webAddress.view());
  // An address that is not a web page is shown but never handed to the desktop.
  webLink_->setEnabled(target.has_value());
  if (target) {
    const QUrl url(QString::fromStdString(*target), QUrl::StrictMode);
    connect(webLink_, &QPushButton::clicked, this, [url] {
      if (url.isValid() && (url.scheme() == "http" || url.scheme() == "https"))
        QDesktopServices::openUrl(url);
    });
  }
  label(this, utf8(kLicenceCaption), du.rect(7, 93, 70, 9));
  readme_ = new QPlainTextEdit(this);
  readme_->setGeometry(du.rect(6, 102, 357, 77));
  readme_->setReadOnly(true);
  readme_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  auto* group = new QGroupBox(utf8(kPreferencesGroup), this);
  group->setGeometry(du.rect(6, 182, 361, 25));
  group->lower();
  autoScan_ = new QCheckBox(utf8(kAutoScan), this);
  autoScan_->setGeometry(du.rect(13, 193, 47, 10));
  autoScan_->setChecked(prefs.autoscanEnabled != 0);
  connect(autoScan_, &QCheckBox::clicked, this, [this] {
    const std::string status = ui::toggleAutoscan(scan_);
    autoScan_->setChecked(persistence::preferences().autoscanEnabled != 0);
    if (mainStatus_) mainStatus_(status);
  });
}

void AboutPage::initialise(const std::string& workingDirectory) {
  readme_->setPlainText(QString::fromUtf8(ui::readmeText(workingDirectory)));
  oemBig_ = loadPaletteBitmap(workingDirectory + "/" + ui::about_text::kOemBigBitmap);
  cert_ = loadPaletteBitmap(workingDirectory + "/" + ui::about_text::kCertBitmap);
  update();
}

void AboutPage::paintEvent(QPaintEvent* event) {
  SheetPage::paintEvent(event);
  QPainter painter(this);
  const DialogUnits du(font());
  if (!oemBig_.isNull()) painter.drawImage(du.fromClassicPixels(50, 10), oemBig_);
  if (!cert_.isNull()) painter.drawImage(du.fromClassicPixels(500, 10), cert_);
}

}  // namespace quorrel::qtui
