// HomePlug 1.0 and Turbo operations on the current interface: vendor requests, the poll that
// takes their replies, key setting with its read-back, and the loader's one-entry commands.
#pragma once

#include <cstdint>
#include <string>

#include "api/rate_stats.h"
#include "brantleapi/hp1_requests.h"
#include "brantleapi/set_key_outcome.h"
#include "brantleapi/turbo_state.h"
#include "platform/bytes.h"

namespace quorrel::brantleapi {

// A poll takes at most this many frames, so a steady stream of them cannot hold the
// user-interface thread; the rest wait for the next poll.
inline constexpr int kMaxPollFrames = 64;
inline constexpr std::uint32_t kCollectRepliesMs = 100;
inline constexpr std::uint32_t kKeyAnswerWaitMs = 3700;
inline constexpr std::uint32_t kReadBackSettleMs = 100;
inline constexpr std::uint32_t kReadBackRoundMs = 500;
inline constexpr int kReadBackRounds = 3;

using api::turboRateToMbps;

// Vendor entry (type 0x02) from the host to `destination`; true also when the host MAC is
// unknown (nothing is sent).
bool sendVendorRequest(const MacAddress& destination, std::uint8_t code, ByteSpan data);
bool requestTurboIdentity();
bool requestTurboStatistics(const MacAddress& destination);
// Private request to the local device; 1 when the host MAC is unknown, else the send result.
int requestTurboPrivate(std::uint8_t subtype);

// Handles one 0x887B frame as the poll does; true when it was handled.
bool handleTurboFrame(ByteSpan frame, std::string* text);
// Takes and handles waiting frames until none is left, a HomePlug AV frame comes (result
// false) or kMaxPollFrames were taken. Whether the last frame taken was handled.
bool pollTurboReplies(std::string* text);
// pollTurboReplies repeatedly for 100 ms; its last result.
bool collectTurboReplies(std::string* text);
bool detectTurboDevice();

SetKeyOutcome setTurboLocalKey(const Hp1Key& key);
// Waits up to 3700 ms for a key answer (type 0x06): from `target`, or, when `target` is the
// broadcast address, from any device but the local one. `target` becomes the answering MAC.
SetKeyOutcome waitHp1KeyAnswer(MacAddress& target);

// 1 when the local device's parameters read back after the setting equal those expected,
// else 0 (also when no read-back is made: not broadcast, selector 0, or no parameters yet).
int sendHp1KeyEntry(int interfaceIndex, const MacAddress& source, const MacAddress& destination,
                    std::uint8_t selector, const Hp1Key& key, std::uint8_t third, bool twoEntries,
                    bool keepMode);
int sendHp1ModeEntry(int interfaceIndex, const MacAddress& source, const MacAddress& destination,
                     const Hp1ModeBytes& modes);
int sendLocalCommand(std::uint8_t type, std::uint8_t value);
int sendHardwareReset();

}  // namespace quorrel::brantleapi
