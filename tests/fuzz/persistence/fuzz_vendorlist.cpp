// Feeds arbitrary text to the vendor list parser and checks order and name bounds.
#include <cstdlib>
#include <string_view>

#include "persistence/vendor_list.h"

using namespace quorrel::persistence;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const VendorTable t =
      decodeVendorList(std::string_view(reinterpret_cast<const char*>(data), size));
  for (std::size_t i = 0; i < t.entries.size(); ++i) {
    const VendorEntry& e = t.entries[i];
    if (e.name.back() != '\0' || e.nameView().size() > kVendorNameMax) std::abort();
    if (i > 0 && t.entries[i - 1].oui > e.oui) std::abort();
  }
  if (t.entries.size() > size / 8 + 1) std::abort();  // a line holds at least 8 bytes
  return 0;
}
