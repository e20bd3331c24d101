// The single-instance lock over an abstract Unix socket name.
#include "ui/presentation/instance_lock.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>

#include "persistence/preferences.h"
#include "platform/notice.h"
#include "ui/presentation/main_page_text.h"

namespace quorrel::ui {

InstanceLock::InstanceLock(const std::string& name) {
  fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd_ < 0) {
    // No socket to be had: running beats refusing to run at all.
    held_ = true;
    return;
  }
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  // sun_path[0] stays NUL: the name lives in the abstract namespace, not in a folder.
  const std::size_t n = std::min(name.size(), sizeof address.sun_path - 1);
  std::memcpy(address.sun_path + 1, name.data(), n);
  const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + n);
  if (::bind(fd_, reinterpret_cast<const sockaddr*>(&address), size) == 0) {
    held_ = true;
    return;
  }
  // Only a name in use means another copy; any other refusal lets this one run.
  held_ = errno != EADDRINUSE;
  ::close(fd_);
  fd_ = -1;
}

bool admitInstance(const InstanceLock& lock) {
  if (lock.held()) return true;
  platform::showNotice(alreadyRunningText(persistence::preferences().productName.view()),
                       main_text::kAttentionCaption, platform::NoticeIcon::Stop);
  return false;
}

InstanceLock::~InstanceLock() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace quorrel::ui
