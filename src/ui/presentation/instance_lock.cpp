// The single-instance lock over flock(2).
#include "ui/presentation/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "persistence/preferences.h"
#include "platform/notice.h"
#include "ui/presentation/main_page_text.h"

namespace quorrel::ui {

std::string instanceLockPath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/')
    return std::string(runtime) + "/" + kInstanceLockName;
  return "/tmp/quorrel-utility-" + std::to_string(::getuid()) + ".lock";
}

InstanceLock::InstanceLock(const std::string& path) {
  // O_NOFOLLOW: /tmp is shared, so a planted link must not make us open another file.
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd_ < 0) {
    // No lock file to be had: running beats refusing to run at all.
    held_ = true;
    return;
  }
  int r = 0;
  do {
    r = ::flock(fd_, LOCK_EX | LOCK_NB);
  } while (r != 0 && errno == EINTR);
  held_ = r == 0;
}

bool AdmitInstance(const InstanceLock& lock) {
  if (lock.held()) return true;
  platform::showNotice(alreadyRunningText(persistence::preferences().productName.view()),
                       main_text::kAttentionCaption, platform::NoticeIcon::Stop);
  return false;
}

InstanceLock::~InstanceLock() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace quorrel::ui
