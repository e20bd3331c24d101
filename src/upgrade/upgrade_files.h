// The two files of an upgrade, read whole and checked before anything is sent: the firmware
// image chain, and the parameter block made the local adapter's own (its MAC address, a
// renewed checksum).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/bytes.h"
#include "upgrade/nvm_image.h"

namespace quorrel::upgrade {

// The messages of the checks, each shown with the caption "Error".
inline constexpr char kFirmwareOpenFailedText[] = "Unable to open firmware file";
inline constexpr char kWrongHeaderText[] = "Wrong NVM Block Header";
inline constexpr char kBlockOpenFailedText[] = "Error in PIB file opening...";
inline constexpr char kBlockRefusedText[] = "Error in PIB file Operation";

// No adapter's flash holds more; larger files are refused before they are read.
inline constexpr std::uint64_t kMaxFirmwareFileSize = 16u << 20;
// The shortest block whose MAC address (offset 12, 6 bytes) can be written.
inline constexpr std::size_t kMinBlockFileSize = 18;

struct UpgradeFiles {
  std::string firmwarePath;
  std::string parameterBlockPath;
};

struct PreparedFiles {
  std::vector<std::uint8_t> firmware;
  std::vector<std::uint8_t> parameterBlock;
  NvmImageHeader lastHeader;
};

// Reads a file whole; false when it cannot be opened or read, or is over `limit` bytes.
bool readWholeFile(const std::string& path, std::uint64_t limit, std::vector<std::uint8_t>& out);

// True when `block` is a parameter block the adapter can take: at least 18 bytes and as long as
// its length field, 15560 bytes for the (4, 4) layout, accepted by validation (0 or 3), with
// `device` written as its MAC address (refused for a group or reserved address or a version
// below 1.4) and its checksum renewed over its stated length (at most 16384 bytes).
bool makeBlockTheAdapters(std::vector<std::uint8_t>& block, const MacAddress& device);

// Reads and checks both files for the adapter at `device`. Empty on success, else the message
// of the first check that failed.
std::string prepareUpgradeFiles(const UpgradeFiles& files, const MacAddress& device,
                                PreparedFiles& out);

}  // namespace quorrel::upgrade
