#include "upgrade/upgrade_files.h"

#include <algorithm>
#include <fstream>

#include "paramblock/parameter_block.h"

namespace quorrel::upgrade {

namespace {

using paramblock::ParameterBlock;
using paramblock::ParameterBlockResult;

bool accepted(ParameterBlockResult r) {
  return r == ParameterBlockResult::kSuccess || r == ParameterBlockResult::kWrongVersion;
}

}  // namespace

bool readWholeFile(const std::string& path, std::uint64_t limit, std::vector<std::uint8_t>& out) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return false;
  const std::streamoff size = in.tellg();
  if (size < 0 || static_cast<std::uint64_t>(size) > limit) return false;
  in.seekg(0);
  out.assign(static_cast<std::size_t>(size), 0);
  in.read(reinterpret_cast<char*>(out.data()), size);
  return static_cast<bool>(in) || size == 0;
}

bool makeBlockTheAdapters(std::vector<std::uint8_t>& block, const MacAddress& device) {
  if (block.size() < kMinBlockFileSize) return false;
  const std::size_t stated = readLe16(block, paramblock::kLengthOffset);
  if (block.size() < stated) return false;
  ParameterBlock view;
  const ParameterBlockResult validation = view.attachImage(block);
  if (!accepted(validation)) return false;
  if (view.version() == paramblock::kParameterBlockVersion &&
      block.size() < paramblock::kParameterBlockLength)
    return false;
  // A refused address would send the file's own MAC address to the adapter.
  if (view.setMacAddress(device) != ParameterBlockResult::kSuccess) return false;
  // Over 16384 stated bytes no checksum is written, and the adapter would refuse the block.
  return accepted(view.updateChecksum(block));
}

std::string prepareUpgradeFiles(const UpgradeFiles& files, const MacAddress& device,
                                PreparedFiles& out) {
  if (!readWholeFile(files.firmwarePath, kMaxFirmwareFileSize, out.firmware))
    return kFirmwareOpenFailedText;
  const std::optional<NvmImageHeader> last = walkImageChain(out.firmware);
  if (!last) return kWrongHeaderText;
  out.lastHeader = *last;
  // A block over 16384 bytes cannot get a checksum: read it, then refuse it below.
  if (!readWholeFile(files.parameterBlockPath, kMaxFirmwareFileSize, out.parameterBlock))
    return kBlockOpenFailedText;
  if (!makeBlockTheAdapters(out.parameterBlock, device)) return kBlockRefusedText;
  return {};
}

}  // namespace quorrel::upgrade
