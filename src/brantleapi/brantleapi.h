// HomePlug 1.0 and Turbo operations on the current interface: vendor requests, the poll that
// takes their replies, key setting with its read-back, and the loader's one-entry commands.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "api/rate_stats.h"
#include "brantleapi/hp1_requests.h"
#include "brantleapi/set_key_outcome.h"
#include "brantleapi/turbo_state.h"
#include "platform/bytes.h"
#include "transport/receive_path.h"

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
// Private request to the local device; 1 when the host MAC is unknown, else the send result.
int requestTurboPrivate(std::uint8_t subtype);

// Who takes the frames that the Turbo poll takes but does not handle itself: 0x887B frames of
// other types than 0x02, 0x12 and 0x13, and the HomePlug AV frame that ends a poll; true when
// it handled the frame. May be null.
using OtherHp1Frames = bool (*)(const transport::Frame& frame);

// Handles one 0x887B frame as the poll does; true when it was handled.
bool handleTurboFrame(const transport::Frame& frame, std::string* text,
                      OtherHp1Frames other = nullptr);
// Takes and handles waiting frames until none is left, a HomePlug AV frame comes (result
// false) or kMaxPollFrames were taken. Whether the last frame taken was handled.
bool pollTurboReplies(transport::ReceivePath& path, std::string* text,
                      OtherHp1Frames other = nullptr);
// Handles every frame as pollTurboReplies does for 100 ms, a HomePlug AV frame not ending it.
// Whether the last frame taken was handled.
bool collectTurboReplies(transport::ReceivePath& path, std::string* text,
                         OtherHp1Frames other = nullptr);
bool detectTurboDevice(transport::ReceivePath& path, OtherHp1Frames other = nullptr);
bool requestTurboStatistics(transport::ReceivePath& path, const MacAddress& destination,
                            OtherHp1Frames other = nullptr);

SetKeyOutcome setTurboLocalKey(transport::ReceivePath& path, const Hp1Key& key);
// Waits up to 3700 ms for a key answer (type 0x06): from `target`, or, when `target` is the
// broadcast address, from any device but the local one. `target` becomes the answering MAC.
SetKeyOutcome waitHp1KeyAnswer(transport::ReceivePath& path, MacAddress& target);

// Switches the background scan on or off and returns its previous state.
using AutoscanSwitch = bool (*)(bool on);

// What a key entry needs from its caller: where replies come from, the autoscan to hold off
// while it waits (may be null), and where read-back parameters that did not match go, for the
// device log (may be null).
struct Hp1KeyEntryContext {
  transport::ReceivePath& path;
  AutoscanSwitch autoscan = nullptr;
  std::vector<LocalParameters>* mismatches = nullptr;
};

// 1 when the local device's parameters read back after the setting equal those expected,
// else 0 (also when no read-back is made: not broadcast, selector 0, or no parameters yet).
int sendHp1KeyEntry(const Hp1KeyEntryContext& context, int interfaceIndex, const MacAddress& source,
                    const MacAddress& destination, std::uint8_t selector, const Hp1Key& key,
                    std::uint8_t third, bool twoEntries, bool keepMode);
int sendHp1ModeEntry(int interfaceIndex, const MacAddress& source, const MacAddress& destination,
                     const Hp1ModeBytes& modes);
int sendLocalCommand(std::uint8_t type, std::uint8_t value);
int sendHardwareReset();

}  // namespace quorrel::brantleapi
