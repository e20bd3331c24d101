// Every remote adapter ever listed: its name, password, network and when it was last seen.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "api/device_table.h"
#include "api/fixed_text.h"
#include "platform/bytes.h"

namespace quorrel::persistence {

// The table's size. When it is full, a newcomer takes the place of the record without a
// password that was seen longest ago.
inline constexpr int kKnownCapacity = 100;
inline constexpr std::size_t kKnownDeviceSize = 198;

// Offsets in the record's 198-byte image.
namespace known_image {
inline constexpr std::size_t kName = 0, kNameSize = 35;
inline constexpr std::size_t kMac = 35;
inline constexpr std::size_t kPassword = 41, kPasswordSize = 56;
inline constexpr std::size_t kNetworkName = 97, kNetworkNameSize = 52;
inline constexpr std::size_t kNetworkKey = 149, kNetworkKeySize = 16;
inline constexpr std::size_t kReserved = 165, kReservedSize = 25;
inline constexpr std::size_t kLastSeen = 190;  // i64, seconds since 1970 UTC
static_assert(kLastSeen + 8 == kKnownDeviceSize);
}  // namespace known_image

// The longest name the user may give; the field has room for more.
inline constexpr std::size_t kMaxUserNameLength = 31;
// A password the adapter turned down, and one that could not be checked.
inline constexpr std::string_view kRejectedPrefix = "Not ";
inline constexpr std::string_view kUncheckedPrefix = "CHECK ";

struct KnownDevice {
  api::FixedText<known_image::kNameSize> name;
  MacAddress mac{};                                     // all zero: unused
  api::FixedText<known_image::kPasswordSize> password;  // clear text, maybe with a prefix
  api::FixedText<known_image::kNetworkNameSize> networkName;
  std::array<std::uint8_t, known_image::kNetworkKeySize> networkKey{};
  std::array<std::uint8_t, known_image::kReservedSize> reserved{};  // kept as read
  std::int64_t lastSeen = 0;

  bool operator==(const KnownDevice&) const = default;
};

struct KnownDeviceTable {
  std::array<KnownDevice, kKnownCapacity> records{};
  std::int32_t knownCount = 0;  // records 0..knownCount-1 in use, the rest zero
  // The data file is one this table may replace even when empty: it was read whole, was not
  // there, or was written by this run. Clear until then, so that a file this run could not
  // read (or never read) is not overwritten by an empty table. Not stored in the file.
  bool mayEmptyFile = false;
};

void encodeKnownDevice(const KnownDevice& in, std::span<std::uint8_t, kKnownDeviceSize> out);
// Every text ends inside its field, whatever the bytes hold.
void decodeKnownDevice(std::span<const std::uint8_t, kKnownDeviceSize> in, KnownDevice& out);

KnownDeviceTable& knownDevices();
void resetKnownDevices();
// Record `index` (1-based), or nullptr outside 1..knownCount.
KnownDevice* knownAt(int index);

// Each returns the 1-based index of the first record in use that matches, else 0.
int FindKnownByMac(const MacAddress& mac);
// The name the user gave `mac`; empty when it is not a known device.
std::string knownNameOf(const MacAddress& mac);
// `text` against each MAC as six upper-case hex pairs joined by colons, exactly.
int FindKnownByMacText(std::string_view text);
// Exact and case-sensitive.
int FindKnownByName(std::string_view name);
// `mode` is "AV" or "Turbo" (else 0). A record whose key equals `key` in all 16 bytes, else
// one that equals it in the first 8; a shorter `key` counts as zero-padded. The record's network
// name goes to `networkName`, cut to that field's size.
int FindKnownByKey(ByteSpan key, std::string_view mode, api::NetworkName* networkName = nullptr);

// "Device N": N is knownCount + 1, or the lowest number from 1 whose name is free.
std::string defaultDeviceName();
// Appends a record for `mac` named `name`, last seen now, and returns its index. A full table
// first drops the record without a password seen longest ago (the first of equals), so the
// table never outgrows its 100 records. 0 for an all-zero MAC, and when every record of a
// full table holds a password (the newcomer is not kept).
int appendKnownDevice(const MacAddress& mac, std::string_view name);

// Record `index` (1-based, 1..knownCount): its adapter leaves the current interface's remote
// entries, the records behind it move up. 1 if removed; the caller takes the device's row out
// of the list it shows.
int RemoveKnownDevice(int index);
// The adapter leaves the current interface's remote entries; its record, if any, is removed as
// above but the list is left alone. 1 if a record was removed.
int RemoveKnownByMac(const MacAddress& mac);
// Removes every record whose MAC is all zero. Returns how many went.
int PurgeUnaddressedKnown();

// Takes a "CHECK " or "Not " prefix off the stored password, as the password dialog shows it.
void stripPasswordPrefix(KnownDevice& record);

}  // namespace quorrel::persistence
