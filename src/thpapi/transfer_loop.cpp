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

bool SendPendingFrame() {
  std::array<std::uint8_t, kRequestBufferSize> frame;
  const std::size_t length = thpapi_NextPendingFrame(frame);
  if (length == 0) {
    debugTrace(kBuildFailedTrace);
    return false;
  }
  return transport::SendFrame(static_cast<int>(transport::currentInterface()),
                              ByteSpan(frame).first(length)) == 1;
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

int thpapi_ReadModuleBlock(const MacAddress& source, const MacAddress& destination, int kind,
                           MutableByteSpan block, std::size_t& received) {
  received = 0;
  if (kind != 1 && kind != 2) {
    setLastError(kErrorInvalid);
    return -1;
  }
  if (thpapi_BeginModuleRead(source, destination, kind) != 0) return -1;
  ThapiResult result;
  int error = kErrorInvalid;  // no answer, or an end without the last piece
  for (;;) {
    SendPendingFrame();
    if (!WaitConfirmation(kReadModuleRequest, result)) break;
    if (!collectPiece(result, block, received)) {
      error = kErrorTooSmall;
      break;
    }
    if (result.phase == kPhaseFinished) {
      ModulePiece piece;
      if (readModulePiece(result, piece) && piece.last) return 0;
      break;
    }
  }
  thpapi_AbandonTransfer();
  setLastError(error);
  return -1;
}

}  // namespace quorrel::thpapi
