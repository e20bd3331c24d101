// The Turbo adapter's secondary loader: where it answers, how module checksums are formed, and
// the wait for its reply to one loader command.
#pragma once

#include <cstdint>

#include "platform/bytes.h"
#include "transport/receive_path.h"

namespace quorrel::brantleapi {

// Some loaders answer only at this address, whatever the adapter's own MAC is.
inline constexpr MacAddress kLoaderDefaultMac{0x00, 0x04, 0x87, 0xFE, 0x11, 0x00};

// How long the loader is given for each kind of command before its reply is looked at; every
// wait lasts at least this plus kLoaderSettleMs, because loaders expect that pause between
// commands.
inline constexpr std::uint32_t kLoaderPieceWaitMs = 5;
inline constexpr std::uint32_t kLoaderCommandWaitMs = 4200;
inline constexpr std::uint32_t kLoaderChecksumWaitMs = 500;
inline constexpr std::uint32_t kLoaderSettleMs = 5;
// A reply still counts when it comes this much after the pause.
inline constexpr std::uint32_t kLoaderLateReplyMs = 500;
// The adapter's restart into its loader, and the pause after the hardware reset.
inline constexpr std::uint32_t kLoaderRestartMs = 1000;
inline constexpr std::uint32_t kHardwareResetSettleMs = 500;

// Complement of the exclusive-or of the module's bytes taken as little-endian 32-bit words;
// a last, partial word is filled with zero bytes.
std::uint32_t loaderChecksum(ByteSpan module);

// Waits for the loader's reply to the command `code` just sent to it (a checksum request is
// answered by 0x83 or 0x04), addressed to the host on the current interface. Replies to other
// commands and frames from elsewhere are passed over. The wait lasts at least `waitMs` +
// kLoaderSettleMs and ends when that has passed and the reply is in, or kLoaderLateReplyMs
// later without it. True when the reply came with status 0; its checksum goes to `checksum`
// when given.
bool awaitLoaderReply(transport::ReceivePath& path, std::uint8_t code, std::uint32_t waitMs,
                      std::uint32_t* checksum = nullptr);

}  // namespace quorrel::brantleapi
