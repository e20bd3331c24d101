// The computer as the report describes it.
#include "diagnostics/host_info.h"

#include <pwd.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>

namespace quorrel::diagnostics {

int processorTypeNumber(const std::string& machine) {
  if (machine == "x86_64" || machine == "amd64") return 8664;
  if (machine == "i386") return 386;
  if (machine == "i486") return 486;
  if (machine == "i586" || machine == "i686") return 586;
  return 0;
}

void parseKernelRelease(const std::string& release, int& major, int& minor, int& build) {
  std::array<int, 3> parts{};
  std::size_t at = 0;
  for (int& part : parts) {
    long v = 0;
    bool any = false;
    while (at < release.size() && release[at] >= '0' && release[at] <= '9') {
      if (v < 1000000) v = v * 10 + (release[at] - '0');
      any = true;
      ++at;
    }
    part = static_cast<int>(v);
    if (!any || at >= release.size() || release[at] != '.') break;
    ++at;
  }
  major = parts[0];
  minor = parts[1];
  build = parts[2];
}

HostInfo readHostInfo() {
  HostInfo host;
  struct utsname u {};
  if (::uname(&u) == 0) {
    host.systemName = u.sysname;
    host.processorType = processorTypeNumber(u.machine);
    parseKernelRelease(u.release, host.majorVersion, host.minorVersion, host.build);
  }
  std::array<char, 256> name{};
  if (::gethostname(name.data(), name.size() - 1) == 0) host.computerName = name.data();
  if (const passwd* pw = ::getpwuid(::getuid()); pw != nullptr && pw->pw_name != nullptr)
    host.userName = pw->pw_name;
  return host;
}

std::string platformLine(const HostInfo& host) {
  std::array<char, 64> tail{};
  std::snprintf(tail.data(), tail.size(), "   V%d.%d, Build %d", host.majorVersion,
                host.minorVersion, host.build);
  return "OS Platform: " + host.systemName + tail.data();
}

}  // namespace quorrel::diagnostics
