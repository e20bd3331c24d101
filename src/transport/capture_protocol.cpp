#include "transport/capture_protocol.h"

#include <algorithm>
#include <optional>

#include "transport/ethertypes.h"

namespace quorrel::transport::capture {

namespace {

constexpr std::size_t kListedEntryMax = 1 + kMaxInterfaceName + kListedMacLength;

struct Range {
  std::size_t min, max;
};

// The payload lengths a reader accepts for each type it may receive; nullopt: not its type.
std::optional<Range> rangeFor(Reader reader, std::uint8_t type) {
  if (reader == Reader::Helper) {
    switch (static_cast<MessageType>(type)) {
      case MessageType::List:
      case MessageType::Close:
        return Range{0, 0};
      case MessageType::Open:
        return Range{1, kMaxInterfaceName};
      case MessageType::Send:
        return Range{kMinFrame, kMaxSentFrame};
      default:
        return std::nullopt;
    }
  }
  switch (static_cast<MessageType>(type)) {
    case MessageType::Hello:
      return Range{kHelloLength, kHelloLength};
    case MessageType::Interfaces:
      return Range{0, kMaxListed * kListedEntryMax};
    case MessageType::ListFailed:
    case MessageType::Opened:
      return Range{0, 0};
    case MessageType::OpenFailed:
    case MessageType::SendResult:
      return Range{1, 1};
    case MessageType::Frame:
      return Range{kMinFrame, kMaxDeliveredFrame};
    default:
      return std::nullopt;
  }
}

}  // namespace

void appendMessage(std::vector<std::uint8_t>& out, MessageType type, std::uint8_t channel,
                   ByteSpan payload) {
  const std::size_t at = out.size();
  out.resize(at + kHeaderLength);
  const MutableByteSpan header(out.data() + at, kHeaderLength);
  writeU8(header, kTypeOffset, static_cast<std::uint8_t>(type));
  writeU8(header, kChannelOffset, channel);
  writeBe16(header, kLengthOffset, static_cast<std::uint16_t>(payload.size()));
  out.insert(out.end(), payload.begin(), payload.end());
}

void MessageStream::feed(ByteSpan bytes) {
  if (broken_) return;
  // Drop what was taken before growing, so the buffer holds at most one message and a read.
  if (start_ > 0) {
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start_));
    start_ = 0;
  }
  buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
}

MessageStream::Status MessageStream::next(Message& out) {
  if (broken_) return Status::Malformed;
  const ByteSpan pending = ByteSpan(buffer_).subspan(start_);
  if (pending.size() < kHeaderLength) return Status::NeedMore;
  const std::uint8_t type = readU8(pending, kTypeOffset);
  const std::size_t length = readBe16(pending, kLengthOffset);
  const auto range = rangeFor(reader_, type);
  if (!range || length < range->min || length > range->max) {
    broken_ = true;
    buffer_.clear();
    start_ = 0;
    return Status::Malformed;
  }
  if (pending.size() < kHeaderLength + length) return Status::NeedMore;
  out.type = static_cast<MessageType>(type);
  out.channel = readU8(pending, kChannelOffset);
  const ByteSpan payload = pending.subspan(kHeaderLength, length);
  out.payload.assign(payload.begin(), payload.end());
  start_ += kHeaderLength + length;
  return Status::Message;
}

bool isManagementFrame(ByteSpan frame) {
  if (frame.size() < kMinFrame) return false;
  const std::uint16_t type = readBe16(frame, kEtherTypeOffset);
  return type == kEtherTypeHomePlugAv || type == kEtherTypeHomePlug1;
}

bool isInterfaceName(ByteSpan name) {
  if (name.empty() || name.size() > kMaxInterfaceName) return false;
  return std::all_of(name.begin(), name.end(),
                     [](std::uint8_t c) { return c > 0x20 && c < 0x7F && c != '/'; });
}

std::vector<std::uint8_t> encodeInterfaces(const std::vector<InterfaceInfo>& list) {
  std::vector<std::uint8_t> out;
  std::size_t listed = 0;
  for (const auto& iface : list) {
    const ByteSpan name(reinterpret_cast<const std::uint8_t*>(iface.name.data()),
                        iface.name.size());
    if (!isInterfaceName(name) || listed == kMaxListed) continue;
    out.push_back(static_cast<std::uint8_t>(name.size()));
    out.insert(out.end(), name.begin(), name.end());
    out.insert(out.end(), iface.mac.begin(), iface.mac.end());
    ++listed;
  }
  return out;
}

bool decodeInterfaces(ByteSpan payload, std::vector<InterfaceInfo>& out) {
  out.clear();
  std::size_t at = 0;
  while (at < payload.size()) {
    const std::size_t nameLength = readU8(payload, at);
    const std::size_t entry = 1 + nameLength + kListedMacLength;
    if (out.size() == kMaxListed || payload.size() - at < entry) return false;
    const ByteSpan name = payload.subspan(at + 1, nameLength);
    if (!isInterfaceName(name)) return false;
    out.push_back(InterfaceInfo{std::string(name.begin(), name.end()),
                                readMac(payload, at + 1 + nameLength)});
    at += entry;
  }
  return true;
}

}  // namespace quorrel::transport::capture
