#include "ui/quorrel/privacy_page.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "api/device_table.h"
#include "crypto/keys.h"
#include "hpapi/membership.h"
#include "platform/clock.h"
#include "platform/notice.h"
#include "scan/scan.h"
#include "ui/hputilities/network_setting.h"
#include "ui/presentation/operation_text.h"
#include "ui/presentation/privacy_text.h"
#include "ui/qtplatform/page_metrics.h"
#include "ui/qtplatform/wire_window.h"
#include "ui/quorrel/main_page.h"

namespace quorrel::qtui {

namespace {

using namespace ui::privacy_text;

QLabel* label(QWidget* parent, const char* text, const QRect& where) {
  auto* l = new QLabel(QString::fromUtf8(text), parent);
  l->setGeometry(where);
  l->setWordWrap(true);
  return l;
}
QPushButton* button(QWidget* parent, const char* text, const QRect& where) {
  auto* b = new QPushButton(QString::fromUtf8(text), parent);
  b->setGeometry(where.x(), where.y(), std::max(where.width(), b->sizeHint().width()),
                 where.height());
  b->setAutoDefault(false);
  return b;
}
void frame(QWidget* parent, const char* text, const QRect& where) {
  auto* g = new QGroupBox(QString::fromUtf8(text), parent);
  g->setGeometry(where);
  g->lower();
}

}  // namespace

PrivacyPage::PrivacyPage(MainPage& mainPage, ui::ShellState& shell, QWidget* parent)
    : SheetPage(parent), main_(mainPage), shell_(shell) {
  setFont(pageFont());
  const DialogUnits du(font());
  setMinimumSize(du.size(kPageWidthDlu, kPageHeightDlu));
  label(this, kIntro, du.rect(14, 8, 300, 11));
  frame(this, kNameGroup, du.rect(15, 21, 329, 40));
  name_ = new QLineEdit(this);
  name_->setGeometry(du.rect(23, 33, 105, 14));
  name_->setMaxLength(kNameFieldLimit);
  label(this, kOr, du.rect(145, 36, 12, 8));
  useDefault_ = button(this, kUseDefault, du.rect(176, 33, 110, 14));
  label(this, kWarning, du.rect(24, 50, 315, 10));
  label(this, kHint, du.rect(49, 76, 260, 8));
  frame(this, kPlaceGroup, du.rect(14, 102, 344, 88));
  label(this, kLocalText, du.rect(46, 117, 213, 22));
  setLocal_ = button(this, kSetLocal, du.rect(265, 121, 78, 14));
  label(this, kOr, du.rect(293, 145, 12, 8));
  label(this, kAllText, du.rect(46, 150, 212, 30));
  setAll_ = button(this, kSetAll, du.rect(266, 159, 78, 14));
  connect(useDefault_, &QPushButton::clicked, this, [this] { useDefault(); });
  connect(setLocal_, &QPushButton::clicked, this, [this] { setNetwork(false); });
  connect(setAll_, &QPushButton::clicked, this, [this] { setNetwork(true); });
  showLocalName();
}

void PrivacyPage::showLocalName() {
  if (api::currentDevices().localPresent) {
    name_->setText(QString::fromUtf8(api::currentDevices().localNetworkName.c_str()));
    name_->selectAll();
    name_->setFocus();
  } else {
    name_->clear();
  }
}

void PrivacyPage::pageEntered() {
  if (shell_.firstActivation && api::deviceTable().avLocal) {
    main_.controller().RequestScan();
    shell_.firstActivation = false;
  }
  showLocalName();
}

void PrivacyPage::useDefault() {
  name_->setText(api::deviceTable().avLocal ? crypto::kDefaultAvNetworkPassword
                                            : crypto::kDefaultHp1NetworkPassword);
  name_->selectAll();
  name_->setFocus();
}

void PrivacyPage::setNetwork(bool allDevices) {
  // A scan that finds no adapter says nothing while the adapter takes its new key, and only
  // then: the setting ends here, whichever way it went.
  struct EndOfSetting {
    ~EndOfSetting() { hpapi::membershipState().suppressAdapterMessage = false; }
  } end;
  const std::string name = name_->text().toStdString();
  ui::MainPageController& controller = main_.controller();
  const bool autoscan = scan::SuspendAutoscan(false);
  ui::ScanControl& wire = main_.scan();
  // The operation runs on the wire: what it asks of the pages is carried to them.
  const hputilities::Rescan rescan = [&controller, &wire] {
    wire.toWindow([&controller] { controller.RequestScan(); });
  };
  int result = 0;
  if (allDevices) {
    const hputilities::Confirm confirm = [this, &wire] {
      wire.toWindow([this] {
        setLocal_->setEnabled(false);
        setAll_->setEnabled(false);
      });
      shell_.settingAllDevices = false;
      const bool ok =
          platform::showNotice(kConfirmAll, kConfirmAllCaption, platform::NoticeIcon::Information,
                               platform::NoticeButtons::OkCancel,
                               platform::NoticeOwner::MainPage) == platform::NoticeAnswer::Ok;
      if (ok) scan::scanState().keepNetworkName = true;
      return ok;
    };
    runWithProgress(wire, this, QString::fromUtf8(ui::operation_text::kSettingAllDevices), [&] {
      platform::WaitCursor cursor;
      result =
          hputilities::changeNetworkName(scan::receivePath(), name, true, rescan, nullptr, confirm);
    });
    setLocal_->setEnabled(true);
    setAll_->setEnabled(true);
    shell_.settingAllDevices = true;
  } else {
    runWithProgress(wire, this, QString::fromUtf8(ui::operation_text::kSettingLocalNetwork), [&] {
      result = hputilities::changeNetworkName(scan::receivePath(), name, false, rescan);
    });
  }
  // A refused name (its message shown) changes nothing: the list, the data file and the scan
  // stay as they were.
  if (result >= 0) {
    controller.ResetRemoteList();
    if (!allDevices && !api::deviceTable().avLocal) controller.RequestScan();
  }
  scan::SuspendAutoscan(autoscan);
}

}  // namespace quorrel::qtui
