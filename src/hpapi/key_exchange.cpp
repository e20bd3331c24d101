#include "hpapi/key_exchange.h"

#include <algorithm>
#include <array>
#include <ctime>
#include <vector>

#include "api/device_table.h"
#include "api/local_network_key.h"
#include "brantleapi/brantleapi.h"
#include "brantleapi/hp1_frame.h"
#include "brantleapi/hp1_replies.h"
#include "diagnostics/logs.h"
#include "platform/clock.h"
#include "platform/notice.h"
#include "scan/autoscan_hold.h"
#include "scan/hp1_scan.h"
#include "scan/scan.h"
#include "thpapi/decoder.h"
#include "thpapi/exchange.h"
#include "thpapi/request_builders.h"
#include "transport/interface_table.h"

namespace quorrel::hpapi {

namespace {

using brantleapi::Hp1Key;
using crypto::DeviceFamily;

constexpr std::size_t kAvRequestBufferSize = 1528;
constexpr char kSetLocalCaption[] = "setLocalNEK";
constexpr char kUnknownErrorText[] = "Unknown error occurred. Please try after some time.";

int currentIndex() {
  return static_cast<int>(transport::currentInterface());
}

thpapi::AvKey avKeyOf(const crypto::Key& key) {
  thpapi::AvKey out{};
  std::copy(key.begin(), key.end(), out.begin());
  return out;
}

bool sendBytes(ByteSpan frame) {
  return !frame.empty() && transport::SendFrame(currentIndex(), frame) == 1;
}

// A set-key confirmation from the current interface that the request's `target` (or, when
// the target is broadcast, any adapter) sent; `from` becomes its source.
bool isSetKeyConfirmation(const transport::Frame& frame, const MacAddress& target,
                          MacAddress& from) {
  if (frame.etherType() != transport::kEtherTypeHomePlugAv) return false;
  thpapi::ThapiResult result;
  if (thpapi::thpapi_DecodeFrame(frame.bytes(), result,
                                 thpapi::expectedVersionFor(kSetKeyRequestType)) != 0 ||
      !thpapi::isAcceptedConfirmation(kSetKeyRequestType, result))
    return false;
  const MacAddress local = api::LocalDeviceAddress();
  const bool known = target == kBroadcastMac || result.source == target || result.source == local ||
                     result.source == kLocalDeviceMac;
  if (!known) return false;
  from = result.source;
  return true;
}

bool isHp1Entry(const transport::Frame& frame, std::uint8_t type, MacAddress& source) {
  if (frame.etherType() != transport::kEtherTypeHomePlug1) return false;
  const auto view = brantleapi::parseHp1Frame(frame.bytes());
  if (!view || view->entryType() != type) return false;
  source = view->source;
  return true;
}

// Qualifies an answer from `source` for `target`: broadcast takes any adapter but the local one.
bool answersFor(const MacAddress& source, const MacAddress& target, bool anyDevice) {
  if (anyDevice) return source != api::LocalDeviceAddress();
  return source == target;
}

SetKeyOutcome setLocalNEKUnguarded(transport::ReceivePath& path, const MacAddress* mac,
                                   const crypto::Key& key) {
  api::SelectInterfaceByMac(mac);
  const api::DeviceTable& t = api::deviceTable();
  if (t.turboLocal) return brantleapi::setTurboLocalKey(path, hp1KeyOf(key));
  if (!t.avLocal) {
    const MacAddress host = transport::SourceAddress();
    if (isZeroMac(host)) return 0;
    return static_cast<SetKeyOutcome>(sendLoggedHp1KeyEntry(
        path, currentIndex(), host, kBroadcastMac, 1, hp1KeyOf(key), 1, true, false));
  }
  return setAvLocalKeyChecked(path, key);
}

}  // namespace

DeviceFamily currentFamily() {
  const api::DeviceTable& t = api::deviceTable();
  return crypto::familyFromFlags(t.avLocal, t.turboLocal);
}

Hp1Key hp1KeyOf(const crypto::Key& key) {
  Hp1Key out{};
  std::copy_n(key.begin(), out.size(), out.begin());
  return out;
}

SetKeyOutcome SetLocalNetworkKey(transport::ReceivePath& path, const crypto::Key& key) {
  const MacAddress host = transport::SourceAddress();
  if (isZeroMac(host)) return 0;
  const MacAddress local = api::LocalDeviceAddress();
  thpapi::SetKeyRecord record;
  record.networkMembershipKey = avKeyOf(key);
  record.deviceKeySelector = thpapi::kDeviceSelectorLocal;
  record.target = local;
  std::array<std::uint8_t, kAvRequestBufferSize> buffer{};
  const std::size_t n = thpapi::thpapi_EncodeSetKeyRequest(host, local, buffer, record);
  if (!sendBytes(ByteSpan(buffer).first(n))) return 0;
  MacAddress from{};
  const auto confirms = [&](const transport::Frame& frame) {
    return isSetKeyConfirmation(frame, local, from) ? transport::Verdict::Accept
                                                    : transport::Verdict::Pass;
  };
  return transport::waitFor(path, transport::Deadline::after(kLocalConfirmWaitMs), confirms,
                            transport::PassOver{}, currentIndex())
             ? brantleapi::kKeyAvConfirmed
             : 0;
}

SetKeyOutcome setAvLocalKeyChecked(transport::ReceivePath& path, const crypto::Key& key) {
  scan::WireHold hold;
  const SetKeyOutcome outcome = SetLocalNetworkKey(path, key);
  if (outcome != 0 || isZeroMac(transport::SourceAddress())) return outcome;
  // A lost confirmation is no refusal: the key the adapter reports decides.
  api::NetworkKey now{};
  if (api::ReadLocalNetworkKey(path, api::LocalDeviceAddress(), now) == 1 && now == key)
    return brantleapi::kKeyAvConfirmed;
  return 0;
}

std::size_t BuildRemoteSetKey(MutableByteSpan buffer, const MacAddress& source,
                              const MacAddress& target, const crypto::Key& networkKey,
                              const crypto::Key& deviceKey) {
  thpapi::SetKeyRecord record;
  record.networkMembershipKey = avKeyOf(networkKey);
  record.deviceKeySelector = thpapi::kDeviceSelectorRemote;
  record.target = target;
  record.deviceAccessKey = avKeyOf(deviceKey);
  return thpapi::thpapi_EncodeSetKeyRequest(source, api::LocalDeviceAddress(), buffer, record);
}

int setLocalNEK(transport::ReceivePath& path, const MacAddress* mac, const crypto::Key& key) {
  scan::WireHold hold;
  try {
    return static_cast<int>(setLocalNEKUnguarded(path, mac, key));
  } catch (...) {
    platform::showNotice(kUnknownErrorText, kSetLocalCaption);
    return 0;
  }
}

SetKeyOutcome waitSetKeyReply(transport::ReceivePath& path, MacAddress& target) {
  const bool av = api::deviceTable().avLocal;
  const bool any = target == kBroadcastMac;
  SetKeyOutcome outcome = brantleapi::kKeyNoAnswer;
  const auto answers = [&](const transport::Frame& frame) {
    MacAddress from{};
    if (av && isSetKeyConfirmation(frame, target, from)) {
      outcome = brantleapi::kKeyAvConfirmed;
    } else if (isHp1Entry(frame, brantleapi::kEntrySetKeyAnswer, from) &&
               answersFor(from, target, any)) {
      outcome = brantleapi::kKeyHp1Answered;
    } else {
      return transport::Verdict::Pass;
    }
    target = from;
    return transport::Verdict::Accept;
  };
  // Replies arrive where the request went; another interface's adapters are not asked.
  transport::waitFor(path, transport::Deadline::after(kKeyReplyWaitMs), answers,
                     transport::PassOver{}, currentIndex());
  return outcome;
}

SetKeyOutcome probeDevice(transport::ReceivePath& path, MacAddress& target, bool anyDevice) {
  const MacAddress host = transport::SourceAddress();
  if (isZeroMac(host)) return 0;
  const api::DeviceTable& t = api::deviceTable();
  if (t.avLocal && !t.turboLocal) {
    thpapi::SendAvRequest(kBroadcastMac, thpapi::kVersionRequest);
  } else {
    brantleapi::Hp1FrameBuffer buffer{};
    const MacAddress to = t.turboLocal ? kBroadcastMac : target;
    sendBytes(ByteSpan(buffer).first(brantleapi::buildStatisticsRequest(buffer, to, host)));
  }
  const auto answers = [&](const transport::Frame& frame) {
    MacAddress from{};
    if (!isHp1Entry(frame, brantleapi::kEntryStatisticsReply, from) ||
        !answersFor(from, target, anyDevice))
      return transport::Verdict::Pass;
    target = from;
    return transport::Verdict::Accept;
  };
  return transport::waitFor(path, transport::Deadline::after(kProbeWaitMs), answers,
                            transport::PassOver{}, currentIndex())
             ? brantleapi::kKeyProbeAnswered
             : brantleapi::kKeyNoAnswer;
}

SetKeyOutcome sendSetKey(transport::ReceivePath& path, MacAddress& target,
                         const crypto::Key& networkKey, const crypto::Key& deviceKey) {
  scan::WireHold hold;
  const MacAddress host = transport::SourceAddress();
  if (isZeroMac(host)) return 0;
  std::array<std::uint8_t, kAvRequestBufferSize> buffer{};
  std::size_t n = 0;
  if (api::deviceTable().turboLocal) {
    const Hp1Key dk = hp1KeyOf(deviceKey);
    n = brantleapi::buildTurboKeyFrame(buffer, host, kBroadcastMac, hp1KeyOf(networkKey), &dk);
  } else {
    n = BuildRemoteSetKey(buffer, host, target, networkKey, deviceKey);
  }
  if (!sendBytes(ByteSpan(buffer).first(n))) return 0;
  platform::sleepMs(1);
  SetKeyOutcome outcome = waitSetKeyReply(path, target);
  if (outcome == 0) outcome = probeDevice(path, target, target == kBroadcastMac);
  return outcome;
}

SetKeyOutcome setRemoteKey(transport::ReceivePath& path, const crypto::Key& deviceKey,
                           const crypto::Key& networkKey, MacAddress& targetMac, bool search,
                           bool addressed, MacAddress* answeredMac) {
  scan::WireHold hold;
  const MacAddress host = transport::SourceAddress();
  if (isZeroMac(host)) return 0;
  const MacAddress destination = addressed ? targetMac : kBroadcastMac;
  const api::DeviceTable& t = api::deviceTable();
  if (!t.avLocal && !t.turboLocal) {
    const int index = currentIndex();
    const brantleapi::Hp1Key dk = hp1KeyOf(deviceKey);
    sendLoggedHp1KeyEntry(path, index, host, destination, 0, dk, 0, true, true);
    // The local adapter keeps this key under selector 0 and reports it among its parameters;
    // the host's copy follows, or the next read-back of a local key could never match.
    auto& held = api::interfaceState(index).localParameters;
    std::copy(dk.begin(), dk.end(), held.begin() + brantleapi::kParamSelectorZeroKey);
    sendLoggedHp1KeyEntry(path, index, host, targetMac, 1, hp1KeyOf(networkKey), 1, false, true);
    const auto& p = api::interfaceState(index).localParameters;
    const brantleapi::Hp1ModeBytes modes{
        static_cast<std::uint8_t>(p[brantleapi::kParamModeBytes] | 0x40),
        static_cast<std::uint8_t>(p[brantleapi::kParamModeBytes + 1] | 0x01), 1};
    brantleapi::sendHp1ModeEntry(index, host, destination, modes);
    SetKeyOutcome outcome = waitSetKeyReply(path, targetMac);
    if (outcome == 0) outcome = probeDevice(path, targetMac, search);
    return outcome;
  }
  if (!search) return sendSetKey(path, targetMac, networkKey, deviceKey);
  MacAddress answered = destination;
  const SetKeyOutcome outcome = sendSetKey(path, answered, networkKey, deviceKey);
  if (t.turboLocal && answeredMac != nullptr) *answeredMac = answered;
  if (outcome != 0) targetMac = answered;
  return outcome;
}

int sendLoggedHp1KeyEntry(transport::ReceivePath& path, int index, const MacAddress& source,
                          const MacAddress& destination, std::uint8_t selector, const Hp1Key& key,
                          std::uint8_t third, bool twoEntries, bool keepMode) {
  scan::WireHold hold;
  std::vector<brantleapi::LocalParameters> mismatches;
  const brantleapi::Hp1KeyEntryContext context{path, &scan::SuspendAutoscan, &mismatches};
  const int result = brantleapi::sendHp1KeyEntry(context, index, source, destination, selector, key,
                                                 third, twoEntries, keepMode);
  for (const brantleapi::LocalParameters& p : mismatches)
    diagnostics::appendDeviceLog(diagnostics::programDeviceLog(), diagnostics::kDeviceLogSetNek, p,
                                 std::time(nullptr));
  return result;
}

bool readTurboLocalKey(transport::ReceivePath& path, Hp1Key& key) {
  scan::WireHold hold;
  // A key left from an earlier read must not pass for the answer to this one.
  Hp1Key& held = api::deviceTable().localHp1NetworkKey;
  held = {};
  if (brantleapi::requestTurboPrivate(brantleapi::kPrivateNetworkKey) != 1) return false;
  brantleapi::collectTurboReplies(path, nullptr, &scan::HandleHp1Frame);
  if (std::all_of(held.begin(), held.end(), [](std::uint8_t b) { return b == 0; })) return false;
  key = held;
  return true;
}

}  // namespace quorrel::hpapi
