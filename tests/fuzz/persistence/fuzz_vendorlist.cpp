// Loads arbitrary text as the vendor list and checks order, name bounds and the lookup.
#include <cstdlib>
#include <string_view>

#include "persistence/preferences.h"
#include "persistence/vendor_list.h"

using namespace quorrel;
using namespace quorrel::persistence;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::size_t n = LoadVendorList(std::string_view(reinterpret_cast<const char*>(data), size));
  const VendorTable& t = vendorTable();
  if (n != t.entries.size() || n > size / 8 + 1) std::abort();  // a line holds at least 8 bytes
  for (std::size_t i = 0; i < n; ++i) {
    const VendorEntry& e = t.entries[i];
    if (e.name.back() != '\0' || e.nameView().size() > kVendorNameMax) std::abort();
    if (i > 0 && t.entries[i - 1].oui > e.oui) std::abort();
    // The first entry of an OUI names its devices, unless the reseller claims the range.
    if ((i == 0 || t.entries[i - 1].oui != e.oui) && e.oui != preferences().oemOui &&
        VendorName({e.oui[0], e.oui[1], e.oui[2], 0, 0, 1}) != e.nameView())
      std::abort();
  }
  return 0;
}
