// Texts of the Main page.
#include "ui/presentation/main_page_text.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "crypto/keys.h"

namespace quorrel::ui {

std::string statusText(int phase, bool addingDevice, bool autoscanEnabled) {
  if (addingDevice) return main_text::kAdding;
  if (phase >= 3) return autoscanEnabled ? main_text::kAutoscanOn : main_text::kAutoscanOff;
  return main_text::kScanning;
}

std::string networkTypeText(std::string_view networkName, bool avLocal) {
  const std::string_view defaultName =
      avLocal ? crypto::kDefaultAvNetworkPassword : crypto::kDefaultHp1NetworkPassword;
  std::string text = "Network Type: ";
  text += networkName == defaultName ? "Public" : "Private";
  return text;
}

std::string countText(int remoteCount) {
  // snprintf rather than a chain of string additions, which GCC 12 at -O2 warns about falsely.
  char text[64];
  std::snprintf(text, sizeof text, "%d %s:", remoteCount,
                remoteCount == 1 ? "Powerline Device detected" : "Powerline Devices detected");
  return text;
}

std::string connectedText(bool localPresent, api::DeviceClass localClass) {
  if (!localPresent) return main_text::kNotDetected;
  std::string text = main_text::kConnectedTo;
  text += ' ';
  text += api::deviceClassLabel(localClass);
  if (text.size() > 79) text.resize(79);
  return text;
}

std::string alreadyRunningText(std::string_view productName) {
  // The name goes in as it is: a '%' in it is text, not a format.
  const std::string_view format = main_text::kAlreadyRunningFormat;
  const std::size_t at = format.find("%s");
  std::string text(format.substr(0, at));
  text += productName;
  text += format.substr(at + 2);
  return text;
}

namespace {
constexpr std::array<std::string_view, 4> kPasswordSteps{
    "Please be patient, this may take some time.", "Working...", "Proceeding..", "Completing..."};
constexpr std::array<std::string_view, 5> kAddSteps{
    "Please wait, this operation will take approximately 30 seconds to complete..",
    "Devices will reboot while this operation...", "Trying to add device to the Network...",
    "Proceeding...", "Completing..."};
}  // namespace

std::string_view ProgressLine::step(int flag) {
  if (flag == 0)
    step_ = 0;
  else if (step_ < 1000)
    ++step_;
  return text();
}

std::string_view ProgressLine::text() const {
  if (kind_ == Kind::Password)
    return kPasswordSteps[static_cast<std::size_t>(std::min<int>(step_, 3))];
  return kAddSteps[static_cast<std::size_t>(std::min<int>(step_, 4))];
}

}  // namespace quorrel::ui
