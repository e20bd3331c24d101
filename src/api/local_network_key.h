// The network membership key of the local HomePlug AV device, read from its parameter block.
#pragma once

#include <cstdint>
#include <span>

#include "api/device_table.h"
#include "platform/bytes.h"
#include "transport/receive_path.h"

namespace quorrel::api {

// Reads the parameter block of the local device at `localDevice` through the current
// interface, from that interface's source address, and copies the block's 16-byte network
// membership key into `key`. 1 when the block was read and its key taken. -1, with `key` left
// as it was, when the source address is unknown, the read failed (no answer, a block longer
// than one parameter block), or no key could be taken from what was read: a block that
// neither validates nor has another layout version, or one too old or too short for the key.
int ReadLocalNetworkKey(transport::ReceivePath& path, const MacAddress& localDevice,
                        std::span<std::uint8_t, kNetworkKeySize> key);

}  // namespace quorrel::api
