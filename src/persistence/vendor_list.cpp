// The maker of a device from the first three bytes of its MAC address.
#include "persistence/vendor_list.h"

#include <algorithm>

#include "persistence/file_io.h"
#include "persistence/locations.h"
#include "persistence/preferences.h"

namespace quorrel::persistence {

namespace {
VendorTable table;

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::uint32_t ouiKey(const Oui& o) {
  return (std::uint32_t{o[0]} << 16) | (std::uint32_t{o[1]} << 8) | o[2];
}

// One line without its line break: six hex digits, blanks, a name. False when malformed.
bool parseLine(std::string_view line, VendorEntry& out) {
  std::size_t i = 0;
  while (i < line.size() && isBlank(line[i])) ++i;
  for (std::size_t b = 0; b < out.oui.size(); ++b, i += 2) {
    if (i + 1 >= line.size()) return false;
    const int hi = hexDigit(line[i]), lo = hexDigit(line[i + 1]);
    if (hi < 0 || lo < 0) return false;
    out.oui[b] = static_cast<std::uint8_t>(hi * 16 + lo);
  }
  const std::size_t digitsEnd = i;
  while (i < line.size() && isBlank(line[i])) ++i;
  if (i == digitsEnd || i == line.size()) return false;
  out.name.fill('\0');
  // The name ends at the first blank; only what fits the field is kept.
  for (std::size_t n = 0; i < line.size() && !isBlank(line[i]); ++i, ++n) {
    if (line[i] == '\0') return false;
    if (n < kVendorNameMax) out.name[n] = line[i] == '_' ? ' ' : line[i];
  }
  return true;
}
}  // namespace

std::string_view VendorEntry::nameView() const {
  return std::string_view(name.data(), std::find(name.begin(), name.end(), '\0') - name.begin());
}

VendorTable decodeVendorList(std::string_view text) {
  VendorTable t;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = std::min(text.find('\n', at), text.size());
    const std::string_view line = text.substr(at, end - at);
    at = end + 1;
    if (std::all_of(line.begin(), line.end(), isBlank)) continue;
    VendorEntry e;
    if (!parseLine(line, e)) break;
    t.entries.push_back(e);
  }
  // A hand-edited list may be out of order; the lookup is a binary search.
  std::stable_sort(
      t.entries.begin(), t.entries.end(),
      [](const VendorEntry& a, const VendorEntry& b) { return ouiKey(a.oui) < ouiKey(b.oui); });
  return t;
}

std::size_t LoadVendorList() {
  return loadVendorListFrom(resourcePath(kVendorListFile));
}

std::size_t loadVendorListFrom(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  table = VendorTable{};
  if (readFileCapped(path, kVendorListMaxBytes, bytes) != ReadStatus::Ok) return 0;
  return LoadVendorList(
      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::size_t LoadVendorList(std::string_view text) {
  table = decodeVendorList(text);
  return table.entries.size();
}

VendorTable& vendorTable() {
  return table;
}

std::string VendorName(const MacAddress& mac) {
  const Oui oui{mac[0], mac[1], mac[2]};
  const Preferences& p = preferences();
  if (oui == p.oemOui) return p.oemVendorName.str();
  const auto it =
      std::lower_bound(table.entries.begin(), table.entries.end(), ouiKey(oui),
                       [](const VendorEntry& e, std::uint32_t key) { return ouiKey(e.oui) < key; });
  if (it != table.entries.end() && it->oui == oui) return std::string(it->nameView());
  return kDefaultVendorName;
}

}  // namespace quorrel::persistence
