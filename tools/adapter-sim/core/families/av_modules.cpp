// Module transfers: piece reads of the firmware image and parameter block, module and memory
// writes, commit and start with the restart that follows, and the host action indication.
#include <algorithm>

#include "adapter-sim/core/family.h"

namespace quorrel::sim {

namespace {

constexpr std::uint16_t kWriteMemoryRequest = 0xA004;
constexpr std::uint16_t kStartFirmwareRequest = 0xA00C;
constexpr std::uint16_t kWriteModuleRequest = 0xA020;
constexpr std::uint16_t kReadModuleRequest = 0xA024;
constexpr std::uint16_t kCommitRequest = 0xA028;
constexpr std::uint16_t kHostActionIndication = 0xA062;
constexpr std::uint16_t kHostActionResponse = 0xA063;
constexpr std::uint16_t kConfigBlockRequest = 0xA058;

constexpr std::size_t kMaxPiece = 1024;
constexpr std::size_t kStatus = 20;

// 0xA024 request and 0xA025 answer.
constexpr std::size_t kReadModule = 20, kReadLength = 22, kReadOffset = 24, kReadRequestEnd = 28;
constexpr std::size_t kReadAnswerModule = 24, kReadAnswerLength = 26, kReadAnswerOffset = 28;
constexpr std::size_t kReadAnswerChecksum = 32, kReadAnswerData = 36;
// 0xA020 request and 0xA021 answer.
constexpr std::size_t kWriteModule = 20, kWriteLength = 22, kWriteOffset = 24;
constexpr std::size_t kWriteChecksum = 28, kWriteData = 32;
constexpr std::size_t kWriteAnswerModule = 21, kWriteAnswerLength = 23, kWriteAnswerOffset = 25;
constexpr std::size_t kWriteAnswerPayload = 9;
// 0xA004 request and 0xA005 answer.
constexpr std::size_t kMemoryAddress = 20, kMemoryLength = 24, kMemoryData = 28;
constexpr std::size_t kMemoryAnswerAddress = 21, kMemoryAnswerLength = 25;
constexpr std::size_t kMemoryAnswerPayload = 9;
// 0xA00C request: module, three zeros, then load address, length, checksum and entry.
constexpr std::size_t kStartLoad = 24, kStartLength = 28, kStartChecksum = 32, kStartEntry = 36;
constexpr std::size_t kStartRequestEnd = 40;
// 0xA028 request; the 0xA029 and 0xA00D answers carry status and one byte.
constexpr std::size_t kCommitFlags = 20, kClosingAnswerByte = 21, kClosingAnswerPayload = 2;
constexpr std::uint8_t kCommitFirmware = 0x01, kCommitParameterBlock = 0x02;
// 0xA062 indication and 0xA063 response.
constexpr std::size_t kHostActionCode = 20, kHostActionResult = 20;

// Image header words, and the parameter block fields the adapter takes after a restart.
constexpr std::size_t kHeaderLength = 44;
constexpr std::size_t kHeaderVersion = 0, kHeaderLoad = 8, kHeaderImageLength = 12;
constexpr std::size_t kHeaderImageChecksum = 16, kHeaderEntry = 20, kHeaderChecksum = 40;
constexpr std::size_t kBlockMac = 12, kBlockKey = 100, kBlockKeyEnd = 116;

// Status bytes of refusals.
constexpr std::uint8_t kStatusBadRequest = 0x10;   // unknown module, length 0 or over 1024, short
constexpr std::uint8_t kStatusOutOfRange = 0x11;   // past the module, a gap, or over the limit
constexpr std::uint8_t kStatusBadChecksum = 0x12;  // a written piece failed its checksum32
constexpr std::uint8_t kStatusRefused = 0x13;      // nothing (sound) to commit or start

bool inWindow(std::uint32_t n, std::uint32_t first, std::uint32_t count) {
  return first != 0 && n >= first && n - first < count;
}

bool stopped(const Behaviour& b, const ModuleCounters& c) {
  return b.stopAfterPiece != 0 && c.pieces >= b.stopAfterPiece;
}

Answer answer(Network& net, const Adapter& a, std::vector<std::uint8_t> frame,
              std::uint32_t workMs = 0) {
  return Answer{std::move(frame), net.latencyOf(a) + workMs * 1000, wire::kOuiOffsetV0,
                std::nullopt};
}

// The HomePlug AV adapter that answers at `mac`; HomePlug 1.0 and Turbo ones hold no modules.
Adapter* avAdapterAt(Network& net, const MacAddress& mac) {
  Adapter* a = net.adapterAt(mac);
  return a != nullptr && !isHp1Family(*a) ? a : nullptr;
}

// The adapter that takes a transfer request, its modules ready; null when nobody answers,
// the request is not version 0, or a host action waits for its response.
Adapter* transferTarget(Network& net, const wire::Request& r) {
  if (r.mmv != 0) return nullptr;
  Adapter* a = avAdapterAt(net, r.destination);
  if (a == nullptr) return nullptr;
  prepareModules(*a);
  if (a->modules.hostActionOutstanding || stopped(net.behaviour(), a->modules.counters)) {
    ++a->modules.counters.unanswered;
    return nullptr;
  }
  return a;
}

// Counts a piece request and returns its number; the host action indication goes out first
// when this is the piece the knob names.
std::uint32_t takePiece(Network& net, Adapter& a, const wire::Request& r,
                        std::vector<Answer>& out) {
  ModuleCounters& c = a.modules.counters;
  const std::uint32_t n = ++c.pieces;
  const Behaviour& b = net.behaviour();
  if (b.hostActionAfter == n) {
    auto f = wire::avFrame(r.source, a.mac, 0, kHostActionIndication, 1);
    writeU8(f, kHostActionCode, b.hostActionCode);
    out.push_back(answer(net, a, std::move(f)));
    a.modules.hostActionOutstanding = true;
    ++c.hostActions;
  }
  return n;
}

// The status a piece answer starts from: the status knob, then the reject knob.
std::uint8_t pieceStatus(Network& net, std::uint16_t confirmation, std::uint32_t n) {
  const Behaviour& b = net.behaviour();
  const std::uint8_t status = net.statusFor(confirmation);
  if (status != 0) return status;
  return inWindow(n, b.rejectPiece, b.rejectCount) ? b.rejectStatus : 0;
}

void onReadModule(Network& net, const wire::Request& r, std::vector<Answer>& out) {
  Adapter* a = transferTarget(net, r);
  if (a == nullptr) return;
  const std::uint32_t n = takePiece(net, *a, r, out);
  const std::uint8_t module = readU8(r.frame, kReadModule);
  const std::size_t asked = readLe16(r.frame, kReadLength);
  const std::uint32_t offset = readLe32(r.frame, kReadOffset);
  const std::vector<std::uint8_t>* source = module == kModuleFirmware ? &a->modules.firmware
                                            : module == kModuleParameterBlock
                                                ? &a->modules.parameterBlock
                                                : nullptr;
  std::uint8_t status = pieceStatus(net, kReadModuleRequest + 1, n);
  if (status == 0 &&
      (r.frame.size() < kReadRequestEnd || source == nullptr || asked == 0 || asked > kMaxPiece))
    status = kStatusBadRequest;
  if (status == 0 && offset >= source->size()) status = kStatusOutOfRange;
  const std::size_t count = status == 0 ? std::min(asked, source->size() - offset) : 0;
  const ByteSpan data = count == 0 ? ByteSpan{} : ByteSpan(*source).subspan(offset, count);

  auto f = wire::avFrame(r.source, a->mac, 0, kReadModuleRequest + 1,
                         kReadAnswerData - wire::kPayloadOffsetV0 + count);
  writeU8(f, kStatus, status);
  writeU8(f, kReadAnswerModule, module);
  writeLe16(f, kReadAnswerLength, static_cast<std::uint16_t>(count));
  writeLe32(f, kReadAnswerOffset, offset);
  std::uint32_t sum = wire::checksum32(data);
  if (inWindow(n, net.behaviour().corruptPiece, net.behaviour().corruptCount)) sum = ~sum;
  writeLe32(f, kReadAnswerChecksum, sum);
  writeBytes(f, kReadAnswerData, data);
  Answer reply = answer(net, *a, std::move(f));
  reply.checksumOffset = kReadAnswerChecksum;
  out.push_back(std::move(reply));
}

// Stores `data` at `offset` of `target`; a write at 0 starts afresh, and no gap may open.
std::uint8_t storePiece(std::vector<std::uint8_t>& target, std::uint32_t offset, ByteSpan data,
                        std::size_t limit) {
  if (offset == 0) target.clear();
  if (offset > target.size() || data.size() > limit || offset > limit - data.size())
    return kStatusOutOfRange;
  target.resize(std::max<std::size_t>(target.size(), offset + data.size()));
  std::copy(data.begin(), data.end(), target.begin() + offset);
  return 0;
}

void onWriteModule(Network& net, const wire::Request& r, std::vector<Answer>& out) {
  Adapter* a = transferTarget(net, r);
  if (a == nullptr) return;
  const std::uint32_t n = takePiece(net, *a, r, out);
  const std::uint8_t module = readU8(r.frame, kWriteModule);
  const std::size_t length = readLe16(r.frame, kWriteLength);
  const std::uint32_t offset = readLe32(r.frame, kWriteOffset);
  std::uint8_t status = pieceStatus(net, kWriteModuleRequest + 1, n);
  const bool known = module == kModuleFirmware || module == kModuleParameterBlock;
  if (status == 0 &&
      (!known || length == 0 || length > kMaxPiece || r.frame.size() < kWriteData + length))
    status = kStatusBadRequest;
  if (status == 0) {
    const ByteSpan data = r.frame.subspan(kWriteData, length);
    if (wire::checksum32(data, readLe32(r.frame, kWriteChecksum)) != 0)
      status = kStatusBadChecksum;
    else if (module == kModuleFirmware)
      status = storePiece(a->modules.writtenFirmware, offset, data, kMaxFirmwareModule);
    else
      status = storePiece(a->modules.writtenParameterBlock, offset, data, kMaxParameterBlockModule);
  }
  auto f = wire::avFrame(r.source, a->mac, 0, kWriteModuleRequest + 1, kWriteAnswerPayload);
  writeU8(f, kStatus, status);
  writeU8(f, kWriteAnswerModule, module);
  writeLe16(f, kWriteAnswerLength, static_cast<std::uint16_t>(length));
  writeLe32(f, kWriteAnswerOffset, offset);
  out.push_back(answer(net, *a, std::move(f), net.behaviour().pieceMs));
}

std::size_t memoryHeld(const AdapterModules& m) {
  std::size_t total = 0;
  for (const auto& [start, bytes] : m.memory) total += bytes.size();
  return total;
}

// Extends or overwrites the run the address falls in, else starts a new one.
std::uint8_t storeMemory(AdapterModules& m, std::uint32_t address, ByteSpan data) {
  auto run = m.memory.upper_bound(address);
  if (run != m.memory.begin()) {
    --run;
    if (address - run->first > run->second.size()) run = m.memory.end();
  } else {
    run = m.memory.end();
  }
  if (memoryHeld(m) + data.size() > kMaxMemory) return kStatusOutOfRange;
  if (run == m.memory.end()) run = m.memory.emplace(address, std::vector<std::uint8_t>{}).first;
  const std::size_t at = address - run->first;
  run->second.resize(std::max(run->second.size(), at + data.size()));
  std::copy(data.begin(), data.end(), run->second.begin() + at);
  return 0;
}

void onWriteMemory(Network& net, const wire::Request& r, std::vector<Answer>& out) {
  Adapter* a = transferTarget(net, r);
  if (a == nullptr) return;
  const std::uint32_t n = takePiece(net, *a, r, out);
  const std::uint32_t address = readLe32(r.frame, kMemoryAddress);
  const std::uint32_t length = readLe32(r.frame, kMemoryLength);
  std::uint8_t status = pieceStatus(net, kWriteMemoryRequest + 1, n);
  if (status == 0 && (length == 0 || length > kMaxPiece || r.frame.size() < kMemoryData + length))
    status = kStatusBadRequest;
  if (status == 0 && std::uint64_t{address} + length > std::uint64_t{0xFFFFFFFF} + 1)
    status = kStatusOutOfRange;
  if (status == 0) status = storeMemory(a->modules, address, r.frame.subspan(kMemoryData, length));
  auto f = wire::avFrame(r.source, a->mac, 0, kWriteMemoryRequest + 1, kMemoryAnswerPayload);
  writeU8(f, kStatus, status);
  writeLe32(f, kMemoryAnswerAddress, address);
  writeLe32(f, kMemoryAnswerLength, length);
  out.push_back(answer(net, *a, std::move(f), net.behaviour().pieceMs));
}

// Comes back after the silence with what was written; its MAC address and key are then the
// new block's.
void restart(Network& net, Adapter& a, std::vector<std::uint8_t>* firmware,
             std::vector<std::uint8_t>* block) {
  AdapterModules& m = a.modules;
  if (firmware != nullptr) m.firmware = std::move(*firmware);
  if (block != nullptr) {
    m.parameterBlock = std::move(*block);
    const MacAddress mac = readMac(m.parameterBlock, kBlockMac);
    if (!isZeroMac(mac) && !isGroupMac(mac) && mac != kLocalDeviceMac) a.mac = mac;
    if (m.parameterBlock.size() >= kBlockKeyEnd)
      std::copy_n(m.parameterBlock.begin() + kBlockKey, a.networkKey.size(), a.networkKey.begin());
  }
  m.writtenFirmware.clear();
  m.writtenParameterBlock.clear();
  m.memory.clear();
  m.hostActionOutstanding = false;
  ++m.counters.restarts;
  // Flashing, then restarting: nothing is answered meanwhile.
  a.silentUntilUs =
      net.nowUs() + (std::uint64_t{net.behaviour().commitMs} + net.behaviour().restartMs) * 1000;
}

std::vector<std::uint8_t> closingAnswer(const Adapter& a, const wire::Request& r,
                                        std::uint16_t type, std::uint8_t status,
                                        std::uint8_t kept) {
  auto f = wire::avFrame(r.source, a.mac, 0, type, kClosingAnswerPayload);
  writeU8(f, kStatus, status);
  writeU8(f, kClosingAnswerByte, kept);
  return f;
}

void onCommit(Network& net, const wire::Request& r, std::vector<Answer>& out) {
  Adapter* a = transferTarget(net, r);
  if (a == nullptr) return;
  AdapterModules& m = a->modules;
  const std::uint8_t flags = readU8(r.frame, kCommitFlags);
  const bool firmware = (flags & kCommitFirmware) != 0;
  const bool block = (flags & kCommitParameterBlock) != 0;
  std::uint8_t status = net.statusFor(kCommitRequest + 1);
  if (status == 0 &&
      ((!firmware && !block) || (firmware && !firmwareChainIntact(m.writtenFirmware)) ||
       (block && !parameterBlockSealed(m.writtenParameterBlock))))
    status = kStatusRefused;
  out.push_back(answer(net, *a, closingAnswer(*a, r, kCommitRequest + 1, status, flags),
                       status == 0 ? net.behaviour().commitMs : 0));
  if (status != 0) return;
  ++m.counters.commits;
  m.counters.lastCommitFlags = flags;
  restart(net, *a, firmware ? &m.writtenFirmware : nullptr,
          block ? &m.writtenParameterBlock : nullptr);
}

// One image behind a header made from the start request's words.
std::vector<std::uint8_t> singleImageChain(ByteSpan words, ByteSpan image) {
  std::vector<std::uint8_t> chain(kHeaderLength + image.size(), 0);
  writeLe32(chain, kHeaderVersion, 1);
  writeLe32(chain, kHeaderLoad, readLe32(words, kStartLoad));
  writeLe32(chain, kHeaderImageLength, static_cast<std::uint32_t>(image.size()));
  writeLe32(chain, kHeaderImageChecksum, readLe32(words, kStartChecksum));
  writeLe32(chain, kHeaderEntry, readLe32(words, kStartEntry));
  writeLe32(chain, kHeaderChecksum, wire::checksum32(ByteSpan(chain).first(kHeaderChecksum)));
  std::copy(image.begin(), image.end(), chain.begin() + kHeaderLength);
  return chain;
}

// The image a start request names: in memory at its load address with its checksum, or the
// module-written image whose first header carries the same words.
std::optional<std::vector<std::uint8_t>> startedImage(const AdapterModules& m, ByteSpan request) {
  const std::uint32_t load = readLe32(request, kStartLoad);
  const std::uint32_t length = readLe32(request, kStartLength);
  const std::uint32_t checksum = readLe32(request, kStartChecksum);
  const auto run = m.memory.find(load);
  if (run != m.memory.end() && length != 0 && run->second.size() >= length) {
    const ByteSpan image = ByteSpan(run->second).first(length);
    if (wire::checksum32(image) == checksum) return singleImageChain(request, image);
  }
  const ByteSpan written(m.writtenFirmware);
  if (firmwareChainIntact(written) && readLe32(written, kHeaderLoad) == load &&
      readLe32(written, kHeaderImageLength) == length &&
      readLe32(written, kHeaderImageChecksum) == checksum &&
      readLe32(written, kHeaderEntry) == readLe32(request, kStartEntry))
    return m.writtenFirmware;
  return std::nullopt;
}

void onStartFirmware(Network& net, const wire::Request& r, std::vector<Answer>& out) {
  Adapter* a = transferTarget(net, r);
  if (a == nullptr) return;
  AdapterModules& m = a->modules;
  const std::uint8_t module = readU8(r.frame, kReadModule);
  std::uint8_t status = net.statusFor(kStartFirmwareRequest + 1);
  std::optional<std::vector<std::uint8_t>> image;
  if (status == 0 && (r.frame.size() < kStartRequestEnd || module != kModuleFirmware))
    status = kStatusBadRequest;
  if (status == 0 && !(image = startedImage(m, r.frame))) status = kStatusRefused;
  out.push_back(answer(net, *a, closingAnswer(*a, r, kStartFirmwareRequest + 1, status, module),
                       status == 0 ? net.behaviour().commitMs : 0));
  if (status != 0) return;
  ++m.counters.starts;
  // The block it runs with: the one put in memory, else one written as module 2.
  std::optional<std::vector<std::uint8_t>> block;
  if (const auto run = m.memory.find(kParameterBlockMemoryAddress);
      run != m.memory.end() && parameterBlockSealed(run->second))
    block = run->second;
  else if (parameterBlockSealed(m.writtenParameterBlock))
    block = m.writtenParameterBlock;
  restart(net, *a, &*image, block ? &*block : nullptr);
}

// 0xA059: status (the status knob, e.g. `status 0x10 0xA059`), the block length and the block.
constexpr std::size_t kConfigLength = 21, kConfigBlock = 22, kConfigBlockSize = 16;

void onConfigBlock(Network& net, const wire::Request& r, std::vector<Answer>& out) {
  Adapter* a = avAdapterAt(net, r.destination);
  if (a == nullptr || r.mmv != 0) return;
  auto f = wire::avFrame(r.source, a->mac, 0, kConfigBlockRequest + 1,
                         kConfigBlock - wire::kPayloadOffsetV0 + kConfigBlockSize);
  writeU8(f, kStatus, net.statusFor(kConfigBlockRequest + 1));
  writeU8(f, kConfigLength, kConfigBlockSize);
  out.push_back(answer(net, *a, std::move(f)));
}

void onHostActionResponse(Network& net, const wire::Request& r, std::vector<Answer>&) {
  Adapter* a = avAdapterAt(net, r.destination);
  if (a == nullptr || r.mmv != 0) return;
  a->modules.hostActionOutstanding = false;
  ++a->modules.counters.hostActionResponses;
  a->modules.counters.lastHostActionResult = readU8(r.frame, kHostActionResult);
}

}  // namespace

void registerFamily_av_modules(HandlerTable& table) {
  table.add(wire::kEtherTypeAv, kReadModuleRequest, onReadModule);
  table.add(wire::kEtherTypeAv, kWriteModuleRequest, onWriteModule);
  table.add(wire::kEtherTypeAv, kWriteMemoryRequest, onWriteMemory);
  table.add(wire::kEtherTypeAv, kCommitRequest, onCommit);
  table.add(wire::kEtherTypeAv, kStartFirmwareRequest, onStartFirmware);
  table.add(wire::kEtherTypeAv, kHostActionResponse, onHostActionResponse);
  table.add(wire::kEtherTypeAv, kConfigBlockRequest, onConfigBlock);
}

}  // namespace quorrel::sim
