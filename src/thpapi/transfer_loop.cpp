// Pieces are placed at the offset the adapter confirmed, never appended, so a resent or
// duplicated piece cannot shift the block.
#include "thpapi/transfer_loop.h"

#include <algorithm>
#include <array>

#include "thpapi/exchange.h"
#include "thpapi/frame_layout.h"
#include "thpapi/last_error.h"
#include "thpapi/module_transfer.h"
#include "transport/interface_table.h"

namespace quorrel::thpapi {

namespace {

int currentIndex() {
  return static_cast<int>(transport::currentInterface());
}

// How far the module being read reaches by what it has announced so far: its own length, or
// the next image header still to come.
std::uint64_t announcedEnd() {
  const ThapiPending& p = pendingState();
  const std::uint64_t header =
      p.nextHeaderOffset == 0 ? 0 : std::uint64_t{p.nextHeaderOffset} + kImageHeaderLength;
  return std::max<std::uint64_t>(p.totalLength, header);
}

int abandon(int error) {
  abandonTransfer();
  setLastError(error);
  return -1;
}

}  // namespace

bool sendPendingFrame() {
  std::array<std::uint8_t, kRequestBufferSize> frame;
  if (const std::size_t response = takeHostActionResponse(frame); response != 0)
    transport::SendFrame(currentIndex(), ByteSpan(frame).first(response));
  const std::size_t length = thpapi_NextPendingFrame(frame);
  if (length == 0) {
    debugTrace(kBuildFailedTrace);
    return false;
  }
  return transport::SendFrame(currentIndex(), ByteSpan(frame).first(length)) == 1;
}

bool collectPiece(const ThapiResult& result, MutableByteSpan block, std::size_t& received) {
  ModulePiece piece;
  if (!readModulePiece(result, piece)) return true;
  if (piece.offset > block.size() || piece.bytes.size() > block.size() - piece.offset) {
    setLastError(kErrorTooSmall);
    return false;
  }
  std::copy(piece.bytes.begin(), piece.bytes.end(), block.begin() + piece.offset);
  received = std::max<std::size_t>(received, piece.offset + piece.bytes.size());
  return true;
}

int readModules(transport::ReceivePath& path, const MacAddress& source,
                const MacAddress& destination, int kind, ModuleReadBuffers& buffers) {
  buffers.firmwareReceived = 0;
  buffers.parameterBlockReceived = 0;
  if (kind < 1 || kind > 3) {
    setLastError(kErrorInvalid);
    return -1;
  }
  if (thpapi_BeginModuleRead(source, destination, kind) != 0) return -1;
  ThapiResult result;
  for (;;) {
    sendPendingFrame();
    if (!WaitConfirmation(path, kReadModuleRequest, result, nullptr, &advanceTransfer)) break;
    ModulePiece piece;
    const bool held = readModulePiece(result, piece);
    if (held) {
      const bool firmware = piece.module == kModuleFirmware;
      const MutableByteSpan block = firmware ? buffers.firmware : buffers.parameterBlock;
      std::size_t& received = firmware ? buffers.firmwareReceived : buffers.parameterBlockReceived;
      // A module that will not fit is refused as soon as it says so, not piece by piece.
      if (!collectPiece(result, block, received) || (!piece.last && announcedEnd() > block.size()))
        return abandon(kErrorTooSmall);
    }
    if (result.phase == kPhaseFinished) {
      if (held && piece.last) return 0;
      break;
    }
  }
  return abandon(kErrorInvalid);  // no answer, or an end without the last piece
}

int readModuleBlock(transport::ReceivePath& path, const MacAddress& source,
                    const MacAddress& destination, int kind, MutableByteSpan block,
                    std::size_t& received) {
  received = 0;
  if (kind != 1 && kind != 2) {
    setLastError(kErrorInvalid);
    return -1;
  }
  ModuleReadBuffers buffers;
  (kind == 1 ? buffers.firmware : buffers.parameterBlock) = block;
  const int result = readModules(path, source, destination, kind, buffers);
  received = kind == 1 ? buffers.firmwareReceived : buffers.parameterBlockReceived;
  return result;
}

int writeModules(transport::ReceivePath& path, const MacAddress& source,
                 const MacAddress& destination, ByteSpan first, ByteSpan second,
                 std::uint32_t options) {
  if (thpapi_BeginModuleWrite(source, destination, first, second, options) != 0) return -1;
  ThapiResult result;
  for (;;) {
    // The confirmation looked for answers the request about to go out.
    const std::uint16_t type = pendingState().frameType;
    if (!transferFrameWaiting() || !sendPendingFrame()) break;
    if (!WaitConfirmation(path, type, result, nullptr, &advanceTransfer)) break;
    if (result.phase == kPhaseFinished) {
      const bool closed =
          result.mmtype == kCommitModulesConfirm || result.mmtype == kStartFirmwareConfirm;
      if (closed && result.status == 0) return 0;
      break;
    }
  }
  return abandon(kErrorInvalid);
}

}  // namespace quorrel::thpapi
