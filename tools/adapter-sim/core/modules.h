// What a simulated adapter keeps for module transfers: its firmware image (module 1) and
// parameter block (module 2), what the host has written but not yet committed, and counters
// that tests read.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "platform/bytes.h"

namespace quorrel::sim {

inline constexpr std::uint8_t kModuleFirmware = 1;
inline constexpr std::uint8_t kModuleParameterBlock = 2;
// The longest modules the adapter takes: its flash holds no more.
inline constexpr std::size_t kMaxFirmwareModule = 16u << 20;
inline constexpr std::size_t kMaxParameterBlockModule = 16384;
inline constexpr std::size_t kMaxMemory = 16u << 20;
// Where the host puts the parameter block in a memory write.
inline constexpr std::uint32_t kParameterBlockMemoryAddress = 0x01F00000;

// The default firmware image: two sample images of this size behind their headers.
inline constexpr std::size_t kDefaultImageCount = 2;
inline constexpr std::size_t kDefaultImageSize = 2500;

struct ModuleCounters {
  std::uint32_t pieces = 0;       // read, write and memory-write requests taken, from 1
  std::uint32_t unanswered = 0;   // requests left unanswered (stopped, or waiting for 0xA063)
  std::uint32_t hostActions = 0;  // 0xA062 indications sent
  std::uint32_t hostActionResponses = 0;  // 0xA063 responses received
  std::uint8_t lastHostActionResult = 0;
  std::uint32_t commits = 0;  // accepted commit requests
  std::uint32_t starts = 0;   // accepted start requests
  std::uint8_t lastCommitFlags = 0;
  std::uint32_t restarts = 0;
};

struct AdapterModules {
  // As the adapter runs them. Empty until first needed; then module 1 is a sample chain and
  // module 2 a valid block built for the adapter (see prepareModules).
  std::vector<std::uint8_t> firmware;
  std::vector<std::uint8_t> parameterBlock;
  // Module writes since the last restart; a write at offset 0 starts a module afresh.
  std::vector<std::uint8_t> writtenFirmware;
  std::vector<std::uint8_t> writtenParameterBlock;
  // Memory writes since the last restart: runs of bytes by start address.
  std::map<std::uint32_t, std::vector<std::uint8_t>> memory;
  // A host action indication went out and its response has not come back: transfer
  // requests are not answered meanwhile.
  bool hostActionOutstanding = false;
  ModuleCounters counters{};
};

struct Adapter;

// Builds the modules the adapter does not have yet, and keeps its parameter block's MAC
// address (offset 12) and network membership key (offset 100) the adapter's own: a block
// whose checksum was right is sealed again after such a change; a damaged one stays damaged.
void prepareModules(Adapter& a);

// True when `block` states a length from 12 to its size and checksum32 over that length is 0.
bool parameterBlockSealed(ByteSpan block);
// True when `image` is a chain of headers each with a right header checksum, each pointing
// forward, each image inside the buffer, ending at a header whose next offset is 0.
bool firmwareChainIntact(ByteSpan image);

}  // namespace quorrel::sim
