// What the report says about the computer: its name, the user, the processor and the system.
#pragma once

#include <string>

namespace quorrel::diagnostics {

struct HostInfo {
  std::string computerName;
  std::string userName;
  int processorType = 0;
  std::string systemName;  // the kernel's name, "Linux"
  int majorVersion = 0;
  int minorVersion = 0;
  int build = 0;
};

// From uname, gethostname and the password database.
HostInfo readHostInfo();

// The processor type number support tools know: 386, 486, 586 for the 32-bit x86 family,
// 8664 for x86-64, 0 for any other machine.
int processorTypeNumber(const std::string& machine);
// "6.1.0-27-amd64" gives 6, 1 and 0; missing numbers are 0.
void parseKernelRelease(const std::string& release, int& major, int& minor, int& build);

// "OS Platform: %s   V%d.%d, Build %d".
std::string platformLine(const HostInfo& host);

}  // namespace quorrel::diagnostics
