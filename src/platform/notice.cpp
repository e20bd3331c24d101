// The console and recording notices and the process-wide choice between them.
#include "platform/notice.h"

#include <cstdio>

namespace quorrel::platform {

namespace {
ConsoleNotice& consoleNotice() {
  static ConsoleNotice instance;
  return instance;
}
Notice* installed = nullptr;
std::string& consolePrefix() {
  static std::string prefix;
  return prefix;
}

NoticeAnswer firstButton(NoticeButtons buttons) {
  return buttons == NoticeButtons::YesNo ? NoticeAnswer::Yes : NoticeAnswer::Ok;
}
}  // namespace

NoticeAnswer ConsoleNotice::show(const NoticeRequest& request) {
  std::fprintf(stderr, "%s%s\n", consolePrefix().c_str(), request.text.c_str());
  return firstButton(request.buttons);
}

NoticeAnswer RecordingNotice::show(const NoticeRequest& request) {
  shown.push_back(request);
  if (nextAnswer_ < script_.size()) return script_[nextAnswer_++];
  return firstButton(request.buttons);
}

void RecordingNotice::setWaitCursor(bool w) {
  waiting = w;
  cursorChanges.push_back(w);
}

void RecordingNotice::scriptAnswers(std::vector<NoticeAnswer> answers) {
  script_ = std::move(answers);
  nextAnswer_ = 0;
}

void RecordingNotice::clear() {
  shown.clear();
  cursorChanges.clear();
  script_.clear();
  nextAnswer_ = 0;
  waiting = false;
}

void setConsoleNoticePrefix(std::string prefix) {
  consolePrefix() = std::move(prefix);
}

Notice& notice() {
  return installed != nullptr ? *installed : consoleNotice();
}
void setNotice(Notice* n) {
  installed = n;
}

NoticeAnswer showNotice(const std::string& text, const std::string& caption, NoticeIcon icon,
                        NoticeButtons buttons, NoticeOwner owner) {
  return notice().show(NoticeRequest{text, caption, icon, buttons, owner});
}

}  // namespace quorrel::platform
