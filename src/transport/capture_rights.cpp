#include "transport/capture_rights.h"

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

namespace quorrel::transport {

bool holdsCapNetRaw() {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
  if (syscall(SYS_capget, &header, data) != 0) return false;
  return (data[CAP_NET_RAW / 32].effective & (1u << (CAP_NET_RAW % 32))) != 0;
}

std::string findCaptureHelper() {
  if (const char* given = std::getenv(kHelperPathVariable); given != nullptr && *given != '\0')
    return given;
  std::error_code ec;
  const auto folder = std::filesystem::read_symlink("/proc/self/exe", ec).parent_path();
  const std::filesystem::path installed = (folder / kHelperBesideBin).lexically_normal();
  for (const auto& candidate : {installed, folder / kHelperName})
    if (access(candidate.c_str(), X_OK) == 0) return candidate.string();
  return installed.string();
}

}  // namespace quorrel::transport
