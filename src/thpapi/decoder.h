// The one decoder of received HomePlug AV frames, and bounded readers of what it decoded.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/bytes.h"
#include "thpapi/thapi_result.h"

namespace quorrel::thpapi {

// Decodes any received frame into `result` (cleared first). expectedVersion 4 expects the
// version-1 header, anything else version 0. Decoding changes nothing but `result` and the
// last error: a transfer confirmation is handed to the transfer by whoever waits for it.
// 0, or -1 with `status` and (mostly) the last error set.
int thpapi_DecodeFrame(ByteSpan frame, ThapiResult& result, int expectedVersion);

}  // namespace quorrel::thpapi
