// Feeds arbitrary bytes to the preferences decoder and checks the held ranges.
#include <cstdlib>

#include "persistence/preferences.h"

using namespace quorrel;
using namespace quorrel::persistence;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Preferences p = decodePreferences(ByteSpan(data, size));
  if (p.scanInterval < kMinScanInterval || p.scanInterval > kMaxScanInterval) std::abort();
  if (p.productName.empty() || p.productName.size() > 63) std::abort();
  if (p.noticeText.size() > 99 || p.oemVendorName.size() > 23) std::abort();
  return 0;
}
