// HomePlug 1.0 and Turbo operations over the interface table and the device table.
#include "brantleapi/brantleapi.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "api/device_table.h"
#include "platform/clock.h"
#include "transport/interface_table.h"

namespace quorrel::brantleapi {

namespace {

int currentIndex() {
  return static_cast<int>(transport::currentInterface());
}

bool sendOn(int index, const Hp1FrameBuffer& buffer, std::size_t length) {
  return length != 0 && transport::SendFrame(index, ByteSpan(buffer).first(length)) == 1;
}

std::string traceText(const char* format, int value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

bool handleVendorReply(const Hp1FrameView& reply, std::string* text) {
  const auto code = vendorReplyCode(reply);
  if (!code) return false;  // a request, or too short to say
  const int value = readU8(reply.bytes, kVendorReplyValueOffset);
  switch (*code) {
    case kVendorIdentity: {
      const auto id = decodeTurboIdentity(reply);
      if (!id) return false;
      applyTurboIdentity(reply.source, *id);
      return true;
    }
    case kVendorStatistics: {
      const auto s = decodeTurboStatistics(reply);
      if (!s) return false;
      applyTurboStatistics(*s);
      return true;
    }
    case kVendorExtendedStatistics:
      if (text != nullptr) *text = traceText("Extended Stats response recieved (%d).", value);
      return false;
    default:
      if (text != nullptr) *text = traceText("Unknown private response recieved (%d).", value);
      return false;
  }
}

bool handlePrivateReply(const Hp1FrameView& reply) {
  if (const auto firmware = decodeTurboFirmwareText(reply)) {
    applyTurboFirmwareText(*firmware);
    return true;
  }
  if (const auto key = decodeTurboNetworkKey(reply)) {
    applyTurboNetworkKey(*key);
    return true;
  }
  return false;
}

// The 50 parameter bytes the device should report after the setting, compared with each
// reply until one matches or the rounds run out.
bool readBackMatches(const Hp1KeyEntryContext& context, int index, const MacAddress& source,
                     const LocalParameters& expected) {
  platform::delay(kReadBackSettleMs);
  for (int round = 0; round < kReadBackRounds; ++round) {
    Hp1FrameBuffer buffer{};
    sendOn(
        index, buffer,
        buildLocalParametersRequest(buffer, kBroadcastMac, source, kLocalParametersSelectorStored));
    const auto matches = [&](const transport::Frame& frame) {
      const auto reply = decodeHp1Reply(frame.bytes());
      if (!reply || !reply->localParameters) return transport::Verdict::Pass;
      const LocalParametersReply& p = *reply->localParameters;
      if (p.selector != kLocalParametersStored) return transport::Verdict::Pass;
      if (p.parameters == expected) return transport::Verdict::Accept;
      if (context.mismatches != nullptr) context.mismatches->push_back(p.parameters);
      return transport::Verdict::Pass;
    };
    if (transport::waitFor(context.path, transport::Deadline::after(kReadBackRoundMs), matches))
      return true;
  }
  return false;
}

}  // namespace

bool sendVendorRequest(const MacAddress& destination, std::uint8_t code, ByteSpan data) {
  const MacAddress host = transport::SourceAddress();
  if (isZeroMac(host)) return true;
  Hp1FrameBuffer buffer{};
  return sendOn(currentIndex(), buffer, buildVendorRequest(buffer, destination, host, code, data));
}

bool requestTurboIdentity() {
  const std::array<std::uint8_t, 1> data{0};
  return sendVendorRequest(kBroadcastMac, kVendorIdentity, data);
}

bool requestTurboStatistics(transport::ReceivePath& path, const MacAddress& destination,
                            OtherHp1Frames other) {
  const std::array<std::uint8_t, 1> data{0};
  sendVendorRequest(destination, kVendorStatistics, data);
  pollTurboReplies(path, &turboState().turboStatisticsText, other);
  return true;
}

int requestTurboPrivate(std::uint8_t subtype) {
  const MacAddress host = transport::SourceAddress();
  if (isZeroMac(host)) return 1;
  Hp1FrameBuffer buffer{};
  return sendOn(currentIndex(), buffer,
                buildPrivateRequest(buffer, api::LocalDeviceAddress(), host, subtype))
             ? 1
             : 0;
}

bool handleTurboFrame(const transport::Frame& frame, std::string* text, OtherHp1Frames other) {
  const auto view = parseHp1Frame(frame.bytes());
  if (!view || !view->hasEntry()) return false;
  const std::uint8_t type = view->entryType();
  if (type != kEntryVendor && type != kEntryPrivateRequest && type != kEntryPrivateReply)
    return other != nullptr && other(frame);
  if (type == kEntryPrivateRequest) return true;
  // An entry whose length byte runs past the frame is damaged: ignored.
  const auto reply = parseHp1Reply(frame.bytes());
  if (!reply) return false;
  return type == kEntryVendor ? handleVendorReply(*reply, text) : handlePrivateReply(*reply);
}

// A poll is a wait that ends when nothing is pending, a HomePlug AV frame comes, or
// kMaxPollFrames were taken.
bool pollTurboReplies(transport::ReceivePath& path, std::string* text, OtherHp1Frames other) {
  bool handled = false;
  int taken = 0;
  const auto handle = [&](const transport::Frame& frame) {
    if (!isHp1Frame(frame.bytes())) {
      // Not ours, but someone may be waiting for it.
      if (other != nullptr) other(frame);
      handled = false;
      return transport::Verdict::Accept;
    }
    handled = handleTurboFrame(frame, text, other);
    return ++taken < kMaxPollFrames ? transport::Verdict::Pass : transport::Verdict::Accept;
  };
  transport::waitFor(path, {platform::tickCount(), UINT32_MAX, true}, handle);
  return handled;
}

bool collectTurboReplies(transport::ReceivePath& path, std::string* text, OtherHp1Frames other) {
  const std::uint32_t start = platform::tickCount();
  bool last = false;
  const auto handle = [&](const transport::Frame& frame) {
    if (isHp1Frame(frame.bytes())) {
      last = handleTurboFrame(frame, text, other);
    } else {
      // Not ours, but someone may be waiting for it.
      if (other != nullptr) other(frame);
      last = false;
    }
    return transport::Verdict::Pass;
  };
  platform::sleepMs(1);
  transport::waitFor(path, {start, kCollectRepliesMs}, handle);
  return last;
}

bool detectTurboDevice(transport::ReceivePath& path, OtherHp1Frames other) {
  turboState().turboAnswered = false;
  requestTurboIdentity();
  collectTurboReplies(path, nullptr, other);
  return turboState().turboAnswered;
}

SetKeyOutcome setTurboLocalKey(transport::ReceivePath& path, const Hp1Key& key) {
  const MacAddress host = transport::SourceAddress();
  if (isZeroMac(host)) return kKeyNoAnswer;
  MacAddress target = api::LocalDeviceAddress();
  Hp1FrameBuffer buffer{};
  sendOn(currentIndex(), buffer, buildTurboLocalKey(buffer, target, host, key));
  return waitHp1KeyAnswer(path, target);
}

SetKeyOutcome waitHp1KeyAnswer(transport::ReceivePath& path, MacAddress& target) {
  const MacAddress local = api::LocalDeviceAddress();
  const auto answers = [&](const transport::Frame& frame) {
    const auto reply = decodeHp1Reply(frame.bytes());
    if (!reply || reply->type != kEntrySetKeyAnswer ||
        !((target == kBroadcastMac && reply->source != local) || reply->source == target))
      return transport::Verdict::Pass;
    target = reply->source;
    return transport::Verdict::Accept;
  };
  return transport::waitFor(path, transport::Deadline::after(kKeyAnswerWaitMs), answers)
             ? kKeyHp1Answered
             : kKeyNoAnswer;
}

int sendHp1KeyEntry(const Hp1KeyEntryContext& context, int index, const MacAddress& source,
                    const MacAddress& destination, std::uint8_t selector, const Hp1Key& key,
                    std::uint8_t third, bool twoEntries, bool keepMode) {
  // Turbo devices take their keys through setTurboLocalKey and the key envelope.
  if (api::deviceTable().turboLocal) return 0;
  // The scan's own polls would take the read-back replies.
  const bool autoscan = context.autoscan != nullptr && context.autoscan(false);
  api::InterfaceState& st = api::interfaceState(index);
  LocalParameters& p = st.localParameters;

  const Hp1ModeBytes modes{
      static_cast<std::uint8_t>(p[kParamModeBytes] | 0x40),
      static_cast<std::uint8_t>(p[kParamModeBytes + 1] | (keepMode ? 0x01 : 0x00)), third};
  int result = 0;
  if (!isZeroMac(source)) {
    Hp1FrameBuffer buffer{};
    sendOn(index, buffer,
           buildHp1KeyEntry(buffer, destination, source, selector, key, modes, twoEntries));
    if (!keepMode) std::copy(modes.begin(), modes.end(), p.begin() + kParamModeBytes);
    const bool broadcast = destination == kBroadcastMac;
    if (selector != 0 && broadcast) {
      p[kParamKeySelector] = selector;
      std::copy(key.begin(), key.end(), p.begin() + kParamNetworkKey);
    }
    // The intake stores every parameters reply over the interface's copy, so the reply is
    // compared with what was expected before any came in.
    const LocalParameters expected = p;
    if (st.localAnswered && selector != 0 && broadcast)
      result = readBackMatches(context, index, source, expected) ? 1 : 0;
  }
  if (context.autoscan != nullptr) context.autoscan(autoscan);
  return result;
}

int sendHp1ModeEntry(int index, const MacAddress& source, const MacAddress& destination,
                     const Hp1ModeBytes& modes) {
  if (isZeroMac(source)) return 0;
  Hp1FrameBuffer buffer{};
  return sendOn(index, buffer, buildModeEntry(buffer, destination, source, modes)) ? 1 : 0;
}

int sendLocalCommand(std::uint8_t type, std::uint8_t value) {
  const MacAddress host = transport::SourceAddress();
  if (isZeroMac(host)) return 0;
  Hp1FrameBuffer buffer{};
  return sendOn(currentIndex(), buffer,
                buildLocalCommand(buffer, api::LocalDeviceAddress(), host, type, value))
             ? 1
             : 0;
}

int sendHardwareReset() {
  const MacAddress host = transport::SourceAddress();
  if (isZeroMac(host)) return 0;
  Hp1FrameBuffer buffer{};
  return sendOn(currentIndex(), buffer, buildHardwareReset(buffer, api::LocalDeviceAddress(), host))
             ? 1
             : 0;
}

}  // namespace quorrel::brantleapi
