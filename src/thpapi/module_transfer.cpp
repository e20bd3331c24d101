// Module transfers: each confirmation is checked against the request it answers before the
// next request is made to wait, so a duplicated or stray confirmation cannot move a transfer.
#include "thpapi/module_transfer.h"

#include <algorithm>
#include <limits>

#include "platform/checksum32.h"
#include "thpapi/last_error.h"
#include "thpapi/request_builders.h"

namespace quorrel::thpapi {

// ---- PieceCursor

std::optional<PieceCursor> PieceCursor::create(ByteSpan buffer, std::uint32_t pieceSize) {
  if (buffer.data() == nullptr || buffer.empty() || pieceSize == 0 ||
      buffer.size() > std::numeric_limits<std::uint32_t>::max()) {
    setLastError(kErrorInvalid);
    return std::nullopt;
  }
  return PieceCursor(buffer, pieceSize);
}

std::uint32_t PieceCursor::seek(std::uint32_t n) {
  // n × pieceSize in 64 bits: a large n must land past the end, not wrap into the buffer.
  const std::uint64_t at = std::uint64_t{n} * pieceSize_;
  number_ = n;
  if (at >= buffer_.size()) {
    position_ = size();
    setLastError(kErrorTooSmall);
    return 0;
  }
  position_ = static_cast<std::uint32_t>(at);
  return std::min(pieceSize_, size() - position_);
}

std::uint32_t PieceCursor::next() {
  return seek(number_ + 1);
}

bool PieceCursor::atEnd(std::uint32_t length) const {
  return std::uint64_t{position_} + length >= buffer_.size();
}

ByteSpan PieceCursor::piece() const {
  if (position_ >= buffer_.size()) return {};
  return buffer_.subspan(position_, std::min<std::size_t>(pieceSize_, size() - position_));
}

// ---- process-wide state

namespace {

struct HostActionSlot {
  bool waiting = false;
  MacAddress destination{};
  MacAddress source{};
  std::uint8_t result = 0;
};

// The one transfer in progress and the host action response waiting to go out.
struct TransferState {
  ThapiPending pending;
  HostActionSlot hostAction;
};
TransferState transfer;

void clearPending() {
  transfer.pending = ThapiPending{};
}

// The outstanding request's fixed fields, as the checks of each confirmation read them.
std::uint8_t askedModule() {
  return transfer.pending.fixedFields[0];
}
std::uint16_t askedLength() {
  return readLe16(ByteSpan(transfer.pending.fixedFields), 2);
}
std::uint32_t askedOffset() {
  return readLe32(ByteSpan(transfer.pending.fixedFields), 4);
}
std::uint32_t askedAddress() {
  return readLe32(ByteSpan(transfer.pending.fixedFields), 0);
}
std::uint32_t askedMemoryLength() {
  return readLe32(ByteSpan(transfer.pending.fixedFields), 4);
}

void makeWaiting(std::uint16_t type, std::uint32_t fixedLength, ByteSpan data) {
  transfer.pending.frameType = type;
  transfer.pending.fixedLength = fixedLength;
  transfer.pending.dataPointer = data.data();
  transfer.pending.dataLength = static_cast<std::uint32_t>(data.size());
  transfer.pending.frameWaiting = 1;
}

void makeReadRequest(std::uint8_t module, std::uint16_t length, std::uint32_t offset) {
  transfer.pending.fixedFields = {};
  MutableByteSpan f(transfer.pending.fixedFields);
  writeU8(f, 0, module);
  writeLe16(f, 2, length);
  writeLe32(f, 4, offset);
  makeWaiting(kReadModuleRequest, 8, {});
}

void makeModulePiece(std::uint8_t module, const PieceCursor& cursor) {
  const ByteSpan piece = cursor.piece();
  transfer.pending.fixedFields = {};
  MutableByteSpan f(transfer.pending.fixedFields);
  writeU8(f, 0, module);
  writeLe16(f, 2, static_cast<std::uint16_t>(piece.size()));
  writeLe32(f, 4, cursor.offset());
  writeLe32(f, 8, checksum32(piece));
  makeWaiting(kWriteModuleRequest, 12, piece);
}

void makeMemoryPiece(std::uint32_t address, const PieceCursor& cursor) {
  const ByteSpan piece = cursor.piece();
  transfer.pending.fixedFields = {};
  MutableByteSpan f(transfer.pending.fixedFields);
  writeLe32(f, 0, address);
  writeLe32(f, 4, static_cast<std::uint32_t>(piece.size()));
  makeWaiting(kWriteMemoryRequest, 8, piece);
}

PieceCursor* currentCursor() {
  switch (transfer.pending.cursorCurrent) {
    case CursorChoice::First:
      return transfer.pending.cursorFirst ? &*transfer.pending.cursorFirst : nullptr;
    case CursorChoice::Second:
      return transfer.pending.cursorSecond ? &*transfer.pending.cursorSecond : nullptr;
    case CursorChoice::None:
      break;
  }
  return nullptr;
}

// A confirmation that answers no outstanding request of the transfer: reported, ignored.
int strayConfirmation(ThapiResult& result) {
  result.phase = kPhaseNone;
  result.status = kErrorInvalid;
  setLastError(kErrorInvalid);
  return -1;
}

// Ends the transfer as failed with `error`.
int failTransfer(ThapiResult& result, int error) {
  result.phase = kPhaseFinished;
  result.status = static_cast<std::uint8_t>(error);
  setLastError(error);
  clearPending();
  return -1;
}

// A refused or damaged piece: the same request waits again while retries last. `ownError` is
// this layer's error for a damaged piece, 0 when the adapter refused.
int retryOrFail(ThapiResult& result, std::uint8_t status, int ownError) {
  if (transfer.pending.retriesLeft == 0)
    return failTransfer(result, ownError != 0 ? ownError : kErrorInvalid);
  --transfer.pending.retriesLeft;
  transfer.pending.frameWaiting = 1;
  result.phase = kPhaseContinues;
  result.status = status;
  if (ownError == 0) return 0;
  setLastError(ownError);
  return -1;
}

// Walks the header chain of a firmware image buffer; the offset of the last header, or the
// error that broke the chain. Offsets must move forward, so the walk always ends.
int walkChain(ByteSpan buffer, std::size_t& last) {
  std::size_t at = 0;
  for (;;) {
    if (buffer.size() < kImageHeaderLength || at > buffer.size() - kImageHeaderLength)
      return kErrorMissingOrShort;
    const ByteSpan header = buffer.subspan(at, kImageHeaderLength);
    if (checksum32(header) != 0) return kErrorInvalid;
    const std::uint32_t next = readLe32(header, kImageNextHeaderAt);
    if (next == 0) {
      last = at;
      return 0;
    }
    if (next < at + kImageHeaderLength) return kErrorMissingOrShort;
    at = next;
  }
}

std::array<std::uint32_t, 4> startWordsOf(ByteSpan header) {
  return {readLe32(header, kImageLoadAddressAt), readLe32(header, kImageLengthAt),
          readLe32(header, kImageChecksumAt), readLe32(header, kImageEntryAddressAt)};
}

bool isModuleWrite(std::uint32_t options) {
  return (options & kOptionModuleWrite) != 0 ||
         (options & kOptionsModuleWriteAll) == kOptionsModuleWriteAll;
}

// Last-piece handling of a read: kind 3 goes on with module 2 after module 1.
int finishReadModule(ThapiResult& result, std::uint8_t module) {
  const std::int32_t kind = transfer.pending.readKind;
  transfer.pending.fixedFields = {};
  transfer.pending.fixedLength = 0;
  transfer.pending.dataPointer = nullptr;
  transfer.pending.dataLength = 0;
  transfer.pending.frameDestination = result.source;
  transfer.pending.frameSource = result.destination;
  if (kind == 3 && module == kModuleFirmware &&
      (transfer.pending.flags & kFlagFirstBufferActive) != 0) {
    transfer.pending.flags &= ~kFlagFirstBufferActive;
    transfer.pending.totalLength = 0;
    transfer.pending.nextHeaderOffset = 0;
    makeReadRequest(kModuleParameterBlock, kPieceSize, 0);
    result.phase = kPhaseContinues;
    return 0;
  }
  if (kind == 1 || kind == 2 || kind == 3) {
    result.phase = kPhaseFinished;
    clearPending();
    return 0;
  }
  result.dataValid = 0;
  return failTransfer(result, kErrorInvalid);
}

// Image header met while reading module 1: sets where the image ends and the next header.
int takeImageHeader(ThapiResult& result, ByteSpan header, std::uint32_t offset) {
  if (checksum32(header) != 0) return failTransfer(result, kErrorMissingOrShort);
  const std::uint32_t next = readLe32(header, kImageNextHeaderAt);
  const std::uint64_t end =
      std::uint64_t{offset} + kImageHeaderLength + readLe32(header, kImageLengthAt);
  if (end > std::numeric_limits<std::uint32_t>::max()) return failTransfer(result, kErrorInvalid);
  if (next != 0 && next < std::uint64_t{offset} + kImageHeaderLength)
    return failTransfer(result, kErrorMissingOrShort);
  // Equal to the running sum of header and image lengths when each image follows its header.
  transfer.pending.totalLength = static_cast<std::uint32_t>(end);
  transfer.pending.nextHeaderOffset = next;
  return 0;
}

}  // namespace

const ThapiPending& pendingState() {
  return transfer.pending;
}

void abandonTransfer() {
  clearPending();
  transfer.hostAction = HostActionSlot{};
}

int thpapi_BeginModuleRead(const MacAddress& source, const MacAddress& destination, int kind) {
  if (kind < 1 || kind > 3) {
    setLastError(kErrorInvalid);
    return -1;
  }
  clearPending();
  std::uint8_t module = kModuleFirmware;
  std::uint16_t length = kImageHeaderLength;
  transfer.pending.flags = kind == 1   ? kFlagFirstBufferActive
                           : kind == 2 ? kFlagSecondBufferPending
                                       : kFlagFirstBufferActive | kFlagSecondBufferPending;
  if (kind == 2) {
    module = kModuleParameterBlock;
    length = kPieceSize;
  }
  transfer.pending.flags |= kFlagCommitAtEnd;
  transfer.pending.pendingOperation = THAPI_READ_MODULES;
  transfer.pending.readKind = kind;
  transfer.pending.frameDestination = destination;
  transfer.pending.frameSource = source;
  makeReadRequest(module, length, 0);
  return 0;
}

int thpapi_BeginModuleWrite(const MacAddress& source, const MacAddress& destination, ByteSpan first,
                            ByteSpan second, std::uint32_t options) {
  options &= kWriteOptionMask;
  const bool hasFirst = first.data() != nullptr && !first.empty();
  if (second.data() == nullptr || second.empty()) {
    setLastError(kErrorMissingOrShort);
    return -1;
  }
  const bool moduleWrite = isModuleWrite(options);
  // A start request needs an image header: a memory write, or a module write without commit,
  // must be given the firmware image.
  if (!hasFirst && (!moduleWrite || (options & kOptionCommit) == 0)) {
    setLastError(kErrorMissingOrShort);
    return -1;
  }
  clearPending();
  transfer.pending.flags = options | kFlagSecondBufferPending;
  transfer.pending.pendingOperation = THAPI_WRITE_MODULES;
  transfer.pending.moduleFlags = 2;
  transfer.pending.frameDestination = destination;
  transfer.pending.frameSource = source;
  transfer.pending.cursorSecond = PieceCursor::create(second);
  if (!transfer.pending.cursorSecond) {
    clearPending();
    return -1;
  }
  if (moduleWrite) {
    if (hasFirst) {
      transfer.pending.cursorFirst = PieceCursor::create(first);
      if (!transfer.pending.cursorFirst) {
        clearPending();
        return -1;
      }
      transfer.pending.startWords =
          startWordsOf(first.first(std::min(first.size(), kImageHeaderLength)));
      transfer.pending.flags |= kFlagFirstBufferActive;
      transfer.pending.moduleFlags |= 1;
      transfer.pending.cursorCurrent = CursorChoice::First;
      makeModulePiece(kModuleFirmware, *transfer.pending.cursorFirst);
    } else {
      transfer.pending.cursorCurrent = CursorChoice::Second;
      makeModulePiece(kModuleParameterBlock, *transfer.pending.cursorSecond);
    }
    return 0;
  }
  std::size_t last = 0;
  if (const int error = walkChain(first, last); error != 0) {
    clearPending();
    setLastError(error);
    return -1;
  }
  const ByteSpan header = first.subspan(last, kImageHeaderLength);
  const std::uint32_t imageLength = readLe32(header, kImageLengthAt);
  const std::size_t imageAt = last + kImageHeaderLength;
  if (imageLength > first.size() - imageAt) {
    clearPending();
    setLastError(kErrorMissingOrShort);
    return -1;
  }
  transfer.pending.cursorFirst = PieceCursor::create(first.subspan(imageAt, imageLength));
  if (!transfer.pending.cursorFirst) {
    clearPending();
    return -1;
  }
  transfer.pending.startWords = startWordsOf(header);
  transfer.pending.flags |= kFlagFirstBufferActive;
  transfer.pending.moduleFlags |= 1;
  transfer.pending.cursorCurrent = CursorChoice::First;
  makeMemoryPiece(readLe32(header, kImageLoadAddressAt), *transfer.pending.cursorFirst);
  return 0;
}

bool anyFrameWaiting() {
  return transfer.hostAction.waiting || transfer.pending.frameWaiting != 0;
}
bool transferFrameWaiting() {
  return transfer.pending.frameWaiting != 0;
}

std::size_t takeHostActionResponse(MutableByteSpan buffer) {
  if (!transfer.hostAction.waiting) return 0;
  if (buffer.size() < kMinRequestLength) {
    setLastError(kErrorTooSmall);
    return 0;
  }
  std::fill_n(buffer.begin(), kMinRequestLength, std::uint8_t{0});
  writeManagementHeader(buffer, transfer.hostAction.destination, transfer.hostAction.source,
                        kHostActionResponse);
  writeU8(buffer, kHostResponseResultAt, transfer.hostAction.result);
  transfer.hostAction.waiting = false;
  return kMinRequestLength;
}

std::size_t thpapi_NextPendingFrame(MutableByteSpan buffer) {
  if (transfer.hostAction.waiting) return takeHostActionResponse(buffer);
  if (transfer.pending.frameWaiting == 0) return 0;
  const std::size_t fixed = std::min<std::size_t>(transfer.pending.fixedLength, kFixedFieldsSize);
  const std::size_t data =
      transfer.pending.dataPointer != nullptr ? transfer.pending.dataLength : 0;
  const std::size_t length = std::max(kHeaderLengthV0 + fixed + data, kMinRequestLength);
  if (buffer.size() < length) {
    setLastError(kErrorTooSmall);
    return 0;
  }
  std::fill_n(buffer.begin(), length, std::uint8_t{0});
  writeManagementHeader(buffer, transfer.pending.frameDestination, transfer.pending.frameSource,
                        transfer.pending.frameType);
  writeBytes(buffer, kHeaderLengthV0, ByteSpan(transfer.pending.fixedFields).first(fixed));
  if (data != 0)
    writeBytes(buffer, kHeaderLengthV0 + fixed, ByteSpan(transfer.pending.dataPointer, data));
  transfer.pending.frameWaiting = 0;
  return length;
}

bool readModulePiece(const ThapiResult& result, ModulePiece& piece) {
  if (result.mmtype != kReadModuleConfirm || result.dataValid == 0) return false;
  const TransferFields& t = result.transfer;
  if (t.length > kPieceSize || t.held != t.length) return false;
  piece.module = t.module;
  piece.offset = t.offset;
  piece.last = t.last;
  piece.bytes = ByteSpan(result.data).first(t.length);
  return true;
}

int readModuleStep(ThapiResult& result) {
  result.operation = transfer.pending.pendingOperation;
  result.phase = kPhaseFinished;
  if (transfer.pending.pendingOperation != THAPI_READ_MODULES ||
      transfer.pending.frameType != kReadModuleRequest)
    return strayConfirmation(result);
  const std::uint8_t status = result.status;
  const std::uint8_t module = result.transfer.module;
  const std::uint32_t length = result.transfer.length;
  const std::uint32_t offset = result.transfer.offset;
  if (status != 0) return retryOrFail(result, status, 0);
  if (module != askedModule() || offset != askedOffset()) return strayConfirmation(result);

  // The piece must be one we asked for and lie inside the frame before it is summed or copied.
  if (length > kPieceSize) return retryOrFail(result, kErrorTooSmall, kErrorTooSmall);
  if (result.transfer.held != length)
    return retryOrFail(result, kErrorMissingOrShort, kErrorMissingOrShort);
  const ByteSpan piece = ByteSpan(result.data).first(length);
  const bool headerExpected = module == kModuleFirmware &&
                              offset == transfer.pending.nextHeaderOffset &&
                              askedLength() == kImageHeaderLength;
  const bool tooShort =
      length == 0 || length > askedLength() || (headerExpected && length != kImageHeaderLength) ||
      (module == kModuleParameterBlock && offset == 0 && length < kParameterBlockLengthAt + 2);
  if (tooShort || checksum32(piece, result.transfer.checksum) != 0)
    return retryOrFail(result, kErrorInvalid, kErrorInvalid);
  result.dataLength = length;
  result.dataValid = 1;

  if (module == kModuleParameterBlock && offset == 0) {
    transfer.pending.totalLength = readLe16(piece, kParameterBlockLengthAt);
    transfer.pending.nextHeaderOffset = 0;
  }
  if (headerExpected && takeImageHeader(result, piece, offset) != 0) {
    result.dataValid = 0;
    return -1;
  }
  const std::uint64_t reached = std::uint64_t{offset} + length;
  const bool last =
      transfer.pending.nextHeaderOffset == 0 && reached >= transfer.pending.totalLength;
  result.transfer.last = last;
  transfer.pending.retriesLeft = kRetriesPerPiece;
  if (last) return finishReadModule(result, module);

  // Pieces never cross the next image header, so each header is read on its own.
  const std::uint32_t nextOffset = static_cast<std::uint32_t>(reached);
  std::uint32_t nextLength = kImageHeaderLength;
  if (module != kModuleFirmware || nextOffset != transfer.pending.nextHeaderOffset) {
    const std::uint32_t limit =
        module == kModuleFirmware && transfer.pending.nextHeaderOffset > nextOffset
            ? transfer.pending.nextHeaderOffset
            : transfer.pending.totalLength;
    if (limit <= nextOffset) {
      result.dataValid = 0;
      return failTransfer(result, kErrorInvalid);
    }
    nextLength = std::min(kPieceSize, limit - nextOffset);
  }
  makeReadRequest(module, static_cast<std::uint16_t>(nextLength), nextOffset);
  result.phase = kPhaseContinues;
  return 0;
}

namespace {

// The request that follows an accepted write piece.
void advanceWrite(bool memoryWrite, std::uint32_t confirmedLength) {
  PieceCursor* cursor = currentCursor();
  if (!cursor->atEnd(confirmedLength)) {
    const std::uint32_t previousAddress = askedAddress();
    const std::uint8_t module = askedModule();
    cursor->next();
    if (memoryWrite)
      makeMemoryPiece(previousAddress + confirmedLength, *cursor);
    else
      makeModulePiece(module, *cursor);
    return;
  }
  if ((transfer.pending.flags & kFlagFirstBufferActive) != 0) {
    transfer.pending.flags &= ~kFlagFirstBufferActive;
    transfer.pending.cursorCurrent = CursorChoice::Second;
    transfer.pending.cursorSecond->seek(0);
    if (memoryWrite)
      makeMemoryPiece(kSecondBufferAddress, *transfer.pending.cursorSecond);
    else
      makeModulePiece(kModuleParameterBlock, *transfer.pending.cursorSecond);
    return;
  }
  transfer.pending.flags &= ~kFlagSecondBufferPending;
  transfer.pending.fixedFields = {};
  MutableByteSpan f(transfer.pending.fixedFields);
  if ((transfer.pending.flags & kFlagCommitAtEnd) != 0) {
    writeU8(f, 0,
            static_cast<std::uint8_t>(transfer.pending.moduleFlags |
                                      (transfer.pending.flags & kOptionModuleFlag10)));
    makeWaiting(kCommitModulesRequest, 1, {});
  } else {
    writeU8(f, 0, kModuleFirmware);
    for (std::size_t i = 0; i < transfer.pending.startWords.size(); ++i)
      writeLe32(f, kStartReqWordsAt - kHeaderLengthV0 + 4 * i, transfer.pending.startWords[i]);
    makeWaiting(kStartFirmwareRequest, 20, {});
  }
  transfer.pending.cursorFirst.reset();
  transfer.pending.cursorSecond.reset();
  transfer.pending.cursorCurrent = CursorChoice::None;
}

}  // namespace

int writeStep(ThapiResult& result) {
  result.operation = transfer.pending.pendingOperation;
  result.phase = kPhaseFinished;
  const bool memoryWrite = result.mmtype == kWriteMemoryConfirm;
  const std::uint16_t asked = memoryWrite ? kWriteMemoryRequest : kWriteModuleRequest;
  if (transfer.pending.pendingOperation != THAPI_WRITE_MODULES ||
      transfer.pending.frameType != asked || currentCursor() == nullptr)
    return strayConfirmation(result);
  const std::uint8_t status = result.status;
  const TransferFields& t = result.transfer;
  const std::uint32_t confirmedLength = t.length;
  const bool matches = memoryWrite ? t.offset == askedAddress() && t.length == askedMemoryLength()
                                   : t.module == askedModule() && t.length == askedLength() &&
                                         t.offset == askedOffset();
  if (status != 0) return retryOrFail(result, status, 0);
  if (!matches) return strayConfirmation(result);
  result.dataValid = 1;
  result.phase = kPhaseContinues;
  transfer.pending.retriesLeft = kRetriesPerPiece;
  advanceWrite(memoryWrite, confirmedLength);
  return 0;
}

int advanceTransfer(ThapiResult& result) {
  switch (result.mmtype) {
    case kReadModuleConfirm:
      return readModuleStep(result);
    case kWriteModuleConfirm:
    case kWriteMemoryConfirm:
      return writeStep(result);
    case kStartFirmwareConfirm:
    case kCommitModulesConfirm:
      result.operation = transfer.pending.pendingOperation;
      clearPending();
      return 0;
    case kResetConfirm:
    case kStatusConfirm7D:
      clearPending();
      return 0;
    default:
      return 0;
  }
}

void makeHostActionResponse(const ThapiResult& indication) {
  transfer.hostAction.waiting = true;
  transfer.hostAction.destination = indication.source;
  transfer.hostAction.source = indication.destination;
  // A short indication is answered all the same; the result byte says it was short.
  transfer.hostAction.result = indication.dataValid == 1 ? 0 : 1;
}

}  // namespace quorrel::thpapi
