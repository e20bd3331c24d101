// The maker of a device from the first three bytes of its MAC address.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/bytes.h"

namespace quorrel::persistence {

inline constexpr const char* kVendorListFile = "OUIList.txt";
inline constexpr std::size_t kVendorNameSize = 12;  // 11 characters and the terminator
inline constexpr std::size_t kVendorNameMax = kVendorNameSize - 1;
// Far beyond any real list; a larger file is read up to here.
inline constexpr std::size_t kVendorListMaxBytes = 8u << 20;
// What a device outside the list and the reseller's own range is called.
inline constexpr const char* kDefaultVendorName = "Velmora";

using Oui = std::array<std::uint8_t, 3>;

struct VendorEntry {
  Oui oui{};
  std::array<char, kVendorNameSize> name{};  // always terminated inside the field

  std::string_view nameView() const;
};

// Entries sorted by OUI, first byte most significant.
struct VendorTable {
  std::vector<VendorEntry> entries;
};

// Parses the list's text: lines of six hexadecimal digits, a tab and a name in which
// underscores stand for blanks. Reading stops at the first malformed line; blank lines are
// skipped; names are cut to 11 characters. The result is sorted whatever order the lines had.
VendorTable decodeVendorList(std::string_view text);

// Fills the process-wide table from "OUIList.txt" in the resource folder (empty when missing).
// Returns the number of entries.
std::size_t LoadVendorList();
std::size_t loadVendorListFrom(const std::string& path);
// The same from the list's text already read.
std::size_t LoadVendorList(std::string_view text);

VendorTable& vendorTable();

// The reseller's own name for its range, else the list's name, else "Velmora".
std::string VendorName(const MacAddress& mac);

}  // namespace quorrel::persistence
