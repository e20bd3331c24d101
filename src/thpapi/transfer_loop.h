// The caller's side of a module transfer: send the waiting frame, wait, collect the piece.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/bytes.h"
#include "thpapi/thapi_result.h"
#include "transport/receive_path.h"

namespace quorrel::thpapi {

// Takes the waiting frame and sends it on the current interface; a waiting host action
// response goes out first, on its own. False when no transfer frame waits (the trace line of
// a failed build is written) or the send failed.
bool sendPendingFrame();

// Copies the accepted read piece of `result` into `block` at its confirmed offset and raises
// `received` to the end of the piece. True when `result` holds no piece; false (error 34,
// nothing written) when the piece would not fit in `block`.
bool collectPiece(const ThapiResult& result, MutableByteSpan block, std::size_t& received);

// Where a read puts module 1 and module 2, and how far each was filled.
struct ModuleReadBuffers {
  MutableByteSpan firmware;
  MutableByteSpan parameterBlock;
  std::size_t firmwareReceived = 0;
  std::size_t parameterBlockReceived = 0;
};

// Reads module 1 (kind 1), module 2 (kind 2) or both (kind 3) from `destination`, each piece
// waited for with WaitConfirmation and stored at the offset the adapter confirmed. 0 once the
// last piece has come. -1 with the last error set and the transfer abandoned: 22 for another
// kind, no answer, or an end without the last piece; 34 as soon as a module announces more
// bytes than its buffer holds. Nothing is ever stored outside the buffers.
int readModules(transport::ReceivePath& path, const MacAddress& source,
                const MacAddress& destination, int kind, ModuleReadBuffers& buffers);

// Reads module 1 (kind 1) or module 2 (kind 2) into `block`, as readModules.
int readModuleBlock(transport::ReceivePath& path, const MacAddress& source,
                    const MacAddress& destination, int kind, MutableByteSpan block,
                    std::size_t& received);

// Writes `second` (module 2) after `first` (module 1, may be empty) as thpapi_BeginModuleWrite
// sets the transfer up for `options`: each request goes out once the previous one is
// confirmed, and each confirmation (of the request just sent, or a commit confirmation) is
// waited for with WaitConfirmation, whose pause before polling stands for the upgrade's pause
// between pieces. 0 once the closing commit or start request is confirmed with status 0; -1
// with the last error set and the transfer abandoned otherwise (the modules stay uncommitted).
int writeModules(transport::ReceivePath& path, const MacAddress& source,
                 const MacAddress& destination, ByteSpan first, ByteSpan second,
                 std::uint32_t options);

}  // namespace quorrel::thpapi
