// Whether this process may capture by itself, and where its capture helper lives.
#pragma once

#include <string>

namespace quorrel::transport {

// CAP_NET_RAW is in the effective set (root has it, and so does a program given it by setcap).
bool holdsCapNetRaw();

// The installed helper's place relative to a program in bin/.
inline constexpr const char* kHelperBesideBin = "../lib/quorrel-utility/quorrel-capture";
inline constexpr const char* kHelperName = "quorrel-capture";
// Names the helper to use instead of searching (tests, a build tree).
inline constexpr const char* kHelperPathVariable = "QUORREL_CAPTURE_HELPER";
// "helper" or "pcap" forces that backend; anything else lets the capability decide.
inline constexpr const char* kBackendVariable = "QUORREL_CAPTURE";

// $QUORREL_CAPTURE_HELPER; else the first executable of <program folder>/../lib/quorrel-utility/
// and <program folder>/; else the first of them that exists (one this user may not run, for
// the message that says why); else the installed place, for the message that it is missing.
std::string findCaptureHelper();

// Why this user may not run the helper at `path`: it is there, but its owner and mode keep
// them out (the package lets one group run it). The message says what to do; empty when they
// may run it or when it is missing.
std::string helperRefusal(const std::string& path);

}  // namespace quorrel::transport
