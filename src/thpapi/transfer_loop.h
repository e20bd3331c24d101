// The caller's side of a module transfer: send the waiting frame, wait, collect the piece.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/bytes.h"
#include "thpapi/thapi_result.h"

namespace quorrel::thpapi {

// Takes the waiting frame and sends it on the current interface. False when none waits (the
// trace line of a failed build is written) or the send failed.
bool SendPendingFrame();

// Copies the accepted read piece of `result` into `block` at its confirmed offset and raises
// `received` to the end of the piece. True when `result` holds no piece; false (error 34,
// nothing written) when the piece would not fit in `block`.
bool collectPiece(const ThapiResult& result, MutableByteSpan block, std::size_t& received);

// Reads module 1 (kind 1) or module 2 (kind 2) from `destination` into `block`, each piece
// waited for up to 100 ms. 0 with `received` = bytes collected; -1 with the last error set
// (22 for another kind, 34 when the module does not fit in `block`) and the transfer
// abandoned.
int thpapi_ReadModuleBlock(const MacAddress& source, const MacAddress& destination, int kind,
                           MutableByteSpan block, std::size_t& received);

}  // namespace quorrel::thpapi
