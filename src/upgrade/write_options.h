// How the local adapter takes new modules: the write options by chip model, and whether the
// written modules are committed, as the adapter's configuration block tells.
#pragma once

#include <cstdint>
#include <string_view>

#include "transport/receive_path.h"

namespace quorrel::upgrade {

// Module write with commit, without commit (ends with a start request), module write of all
// with commit flag 0x10, and memory write.
inline constexpr std::uint32_t kOptionsModuleCommit = 0x23;
inline constexpr std::uint32_t kOptionsModuleStart = 0x22;
inline constexpr std::uint32_t kOptionsModuleCommit10 = 0x13;
inline constexpr std::uint32_t kOptionsMemoryStart = 0x00;

// The write options for the local chip model (compared exactly) and commitAfterWrite.
std::uint32_t writeOptionsFor(std::string_view chipName, bool commit);

// Whether the written modules are committed; clear at start, kept between upgrades.
bool commitAfterWrite();
void setCommitAfterWrite(bool commit);

// Configuration block status values.
inline constexpr std::uint8_t kConfigStatusCommit = 0x00;
inline constexpr std::uint8_t kConfigStatusUnreadable = 0x01;
inline constexpr std::uint8_t kConfigStatusNoCommit = 0x10;

inline constexpr char kConfigRequestFailedText[] = "Error in thpapi_ReadConfigurationBlock";

// Asks the current interface's local adapter for its configuration block and sets or clears
// commitAfterWrite by its status. True when the block was read (status other than 1). False
// without a message when the source address is unknown or no answer came.
bool readLocalFirmwareType(transport::ReceivePath& path);

// Decides commitAfterWrite for the current interface's local AV adapter before its upgrade
// dialog opens: set for the second chip generation without asking, otherwise read from the
// adapter (readLocalFirmwareType), telling the user when it cannot be read.
void chooseCommitForLocalAdapter(transport::ReceivePath& path);

}  // namespace quorrel::upgrade
