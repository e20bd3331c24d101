// Which backend the process uses: libpcap itself when it may capture (root, or a program given
// the capability), else the capture helper. QUORREL_CAPTURE=helper or =pcap forces one.
#include <cstdlib>
#include <cstring>

#include "transport/capture_rights.h"
#include "transport/helper_backend.h"
#include "transport/pcap_backend.h"

namespace quorrel::transport {

namespace {

bool capturesDirectly() {
  const char* forced = std::getenv(kBackendVariable);
  const bool helper = forced != nullptr && std::strcmp(forced, "helper") == 0;
  const bool pcap = forced != nullptr && std::strcmp(forced, "pcap") == 0;
  return pcap || (!helper && holdsCapNetRaw());
}

Backend& chooseDefault() {
  if (capturesDirectly()) {
    static PcapBackend direct;
    return direct;
  }
  static HelperBackend viaHelper(findCaptureHelper());
  return viaHelper;
}

Backend* installed = nullptr;

}  // namespace

Backend& backend() {
  if (installed != nullptr) return *installed;
  static Backend& chosen = chooseDefault();
  return chosen;
}

std::string captureRefusal() {
  if (installed != nullptr || capturesDirectly()) return {};
  return helperRefusal(findCaptureHelper());
}

void setBackend(Backend* b) {
  installed = b;
}

}  // namespace quorrel::transport
