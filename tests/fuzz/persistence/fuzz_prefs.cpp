// Loads arbitrary bytes as the preferences file and checks the held ranges.
#include <cstdlib>

#include "persistence/preferences.h"

using namespace quorrel;
using namespace quorrel::persistence;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  LoadPreferences(ByteSpan(data, size));
  const Preferences& p = preferences();
  if (p.scanInterval < kMinScanInterval || p.scanInterval > kMaxScanInterval) std::abort();
  if (p.productName.empty() || p.productName.size() > 63) std::abort();
  if (p.noticeText.size() > 99 || p.oemVendorName.size() > 23) std::abort();
  // The product name names the data file: it must stay one name inside the data folder.
  const std::string file = dataFileName();
  if (file.find('/') != std::string::npos || !file.ends_with(".data")) std::abort();
  return 0;
}
