// The key-setting exchanges of the three adapter families: a key for the local adapter, a key
// for a remote one sealed with its device key, the wait for the answer and the probe after.
// The settings hold the wire (scan/autoscan_hold.h) while they run: no scan tick takes their
// answers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "brantleapi/hp1_requests.h"
#include "brantleapi/set_key_outcome.h"
#include "crypto/keys.h"
#include "platform/bytes.h"
#include "transport/receive_path.h"

namespace quorrel::hpapi {

using brantleapi::SetKeyOutcome;

inline constexpr std::uint32_t kKeyReplyWaitMs = 3700;
inline constexpr std::uint32_t kProbeWaitMs = 200;
inline constexpr std::uint32_t kLocalConfirmWaitMs = 100;
inline constexpr std::uint16_t kSetKeyRequestType = 0xA050;

// The family of the current interface's local adapter, from the device table's flags.
crypto::DeviceFamily currentFamily();
brantleapi::Hp1Key hp1KeyOf(const crypto::Key& key);

// The local HomePlug AV adapter takes `key` (selector 0x0F, zero access key): 4 when it
// confirmed on the current interface within 100 ms, else 0 (also for an unknown host MAC).
SetKeyOutcome SetLocalNetworkKey(transport::ReceivePath& path, const crypto::Key& key);
// SetLocalNetworkKey; without a confirmation, 4 still when the adapter's parameter block
// reports the key.
SetKeyOutcome setAvLocalKeyChecked(transport::ReceivePath& path, const crypto::Key& key);
// The set-key request that asks the local adapter to pass `networkKey` to `target`, sealed with
// the target's `deviceKey` (selector 0). Frame length, 0 when it cannot be built.
std::size_t BuildRemoteSetKey(MutableByteSpan buffer, const MacAddress& source,
                              const MacAddress& target, const crypto::Key& networkKey,
                              const crypto::Key& deviceKey);

// Gives the local adapter `key`; `mac` (may be null) first selects the interface whose own
// address it is. Nonzero on success: 4 AV confirmed, 2 Turbo answered, 1 HomePlug 1.0 read
// back. Any fault inside becomes the "setLocalNEK" box and 0.
int setLocalNEK(transport::ReceivePath& path, const MacAddress* mac, const crypto::Key& key);

// Waits up to 3.7 s for the answer to a key message on the current interface: an accepted
// 0xA051 (AV) or a 0x06 entry. A broadcast `target` takes any adapter but the local one, else
// only `target` (or, for AV, the local adapter that passes the key on). `target` becomes the
// MAC that answered.
SetKeyOutcome waitSetKeyReply(transport::ReceivePath& path, MacAddress& target);
// 1 when a statistics reply came within 200 ms from `target` (any adapter but the local one
// when `anyDevice`); `target` becomes its source.
SetKeyOutcome probeDevice(transport::ReceivePath& path, MacAddress& target, bool anyDevice);
// Sends the remote key message of the current family and waits for its answer, then probes.
SetKeyOutcome sendSetKey(transport::ReceivePath& path, MacAddress& target,
                         const crypto::Key& networkKey, const crypto::Key& deviceKey);
// One remote key setting. With `search` the message goes to whichever adapter the device key
// opens, and `targetMac` becomes the one that answered; `addressed` sends to `targetMac`
// rather than broadcast. In Turbo search mode `answeredMac` (may be null) gets the answerer.
SetKeyOutcome setRemoteKey(transport::ReceivePath& path, const crypto::Key& deviceKey,
                           const crypto::Key& networkKey, MacAddress& targetMac, bool search,
                           bool addressed, MacAddress* answeredMac = nullptr);

// brantleapi::sendHp1KeyEntry with the autoscan held off; every parameters read-back that did
// not match goes to the device log.
int sendLoggedHp1KeyEntry(transport::ReceivePath& path, int interfaceIndex,
                          const MacAddress& source, const MacAddress& destination,
                          std::uint8_t selector, const brantleapi::Hp1Key& key, std::uint8_t third,
                          bool twoEntries, bool keepMode);

// Reads the local Turbo adapter's key into `key`: false when no reply came (the key held from
// an earlier read is never taken for a fresh one).
bool readTurboLocalKey(transport::ReceivePath& path, brantleapi::Hp1Key& key);

}  // namespace quorrel::hpapi
