// Message boxes and the wait cursor behind one seam: Qt in the desktop program, the console in
// tools, a recorder in tests.
#pragma once

#include <string>
#include <vector>

namespace quorrel::platform {

enum class NoticeIcon { None, Information, Warning, Error, Stop, Question };
enum class NoticeButtons { Ok, OkCancel, YesNo };
enum class NoticeAnswer { Ok, Cancel, Yes, No };
// Whose window the box is modal over; the Qt side maps these to widgets.
enum class NoticeOwner { None, MainPage, ActiveDialog };

struct NoticeRequest {
  std::string text;
  std::string caption;
  NoticeIcon icon = NoticeIcon::None;
  NoticeButtons buttons = NoticeButtons::Ok;
  NoticeOwner owner = NoticeOwner::None;
};

class Notice {
 public:
  virtual ~Notice() = default;
  virtual NoticeAnswer show(const NoticeRequest& request) = 0;
  virtual void setWaitCursor(bool waiting) = 0;
};

// Writes each box's text to standard error after the prefix (the console tools' "name: "; a
// caption such as "Attention!" says nothing an error line needs) and answers its first button.
class ConsoleNotice final : public Notice {
 public:
  NoticeAnswer show(const NoticeRequest& request) override;
  void setWaitCursor(bool) override {}
};

// Keeps every box shown and answers from a script (then with the first button).
class RecordingNotice final : public Notice {
 public:
  NoticeAnswer show(const NoticeRequest& request) override;
  void setWaitCursor(bool waiting) override;

  void scriptAnswers(std::vector<NoticeAnswer> answers);
  void clear();

  std::vector<NoticeRequest> shown;
  std::vector<bool> cursorChanges;
  bool waiting = false;

 private:
  std::vector<NoticeAnswer> script_;
  std::size_t nextAnswer_ = 0;
};

// What the console notice writes before each text; empty by default.
void setConsoleNoticePrefix(std::string prefix);

// The process-wide notice; a ConsoleNotice unless another is installed.
Notice& notice();
// Installs `n` (nullptr restores the console notice). The caller keeps ownership.
void setNotice(Notice* n);

NoticeAnswer showNotice(const std::string& text, const std::string& caption,
                        NoticeIcon icon = NoticeIcon::None,
                        NoticeButtons buttons = NoticeButtons::Ok,
                        NoticeOwner owner = NoticeOwner::None);

// Shows the wait cursor for its lifetime, so every return path restores the arrow.
class WaitCursor {
 public:
  WaitCursor() { notice().setWaitCursor(true); }
  ~WaitCursor() { notice().setWaitCursor(false); }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;
};

}  // namespace quorrel::platform
