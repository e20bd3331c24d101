#include "transport/capture_rights.h"

#include <grp.h>
#include <linux/capability.h>
#include <pwd.h>
#include <sys/stat.h>
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
  const std::filesystem::path candidates[] = {installed, folder / kHelperName};
  for (const auto& candidate : candidates)
    if (access(candidate.c_str(), X_OK) == 0) return candidate.string();
  for (const auto& candidate : candidates)
    if (std::filesystem::exists(candidate, ec)) return candidate.string();
  return installed.string();
}

std::string helperRefusal(const std::string& path) {
  struct stat info {};
  if (access(path.c_str(), X_OK) == 0 || stat(path.c_str(), &info) != 0 ||
      !S_ISREG(info.st_mode))
    return {};
  const group* owners = getgrgid(info.st_gid);
  const std::string groupName =
      owners != nullptr ? owners->gr_name : std::to_string(info.st_gid);
  const passwd* account = getpwuid(getuid());
  const std::string user = account != nullptr ? account->pw_name : "USER";
  return "Only members of the group \"" + groupName + "\" may reach the powerline adapters (the " +
         "capture helper " + path + " is theirs alone). Ask the administrator to add you " +
         "(sudo adduser " + user + " " + groupName + "), then log out and log in again.";
}

}  // namespace quorrel::transport
