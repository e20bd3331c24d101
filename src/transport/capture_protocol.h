// The messages between a program and its capture helper `quorrel-capture`, on one stream
// socket. Each message is a 4-byte header, then its payload:
//   byte 0  type, byte 1  channel (an open interface, chosen by the helper),
//   bytes 2-3  payload length, big-endian.
// Every type has a fixed range of payload lengths; a reader rejects a header outside it before
// it buffers any payload, so an oversized message costs nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/bytes.h"
#include "transport/backend.h"

namespace quorrel::transport::capture {

inline constexpr std::uint8_t kProtocolVersion = 1;

inline constexpr std::size_t kTypeOffset = 0;
inline constexpr std::size_t kChannelOffset = 1;
inline constexpr std::size_t kLengthOffset = 2;
inline constexpr std::size_t kHeaderLength = 4;

inline constexpr std::size_t kMaxInterfaceName = 15;  // IFNAMSIZ less the terminator
inline constexpr std::size_t kMaxListed = 32;         // interfaces in one list
inline constexpr std::size_t kMinFrame = 14;          // addresses and ethertype
inline constexpr std::size_t kMaxSentFrame = 1514;
inline constexpr std::size_t kMaxDeliveredFrame = 65535;  // what the length field can carry

// Hello: version, then whether the helper holds CAP_NET_RAW.
inline constexpr std::size_t kHelloVersionOffset = 0;
inline constexpr std::size_t kHelloCapabilityOffset = 1;
inline constexpr std::size_t kHelloLength = 2;
// One interface in a list: name length, name, 6-byte MAC address.
inline constexpr std::size_t kListedMacLength = 6;

enum class MessageType : std::uint8_t {
  // program -> helper
  List = 0x01,   // no payload
  Open = 0x02,   // payload: interface name
  Close = 0x03,  // channel; no payload
  Send = 0x04,   // channel; payload: one frame
  // helper -> program
  Hello = 0x81,       // first message: version and capability
  Interfaces = 0x82,  // answer to List
  ListFailed = 0x83,
  Opened = 0x84,      // answer to Open: channel
  OpenFailed = 0x85,  // payload: OpenFailure
  SendResult = 0x86,  // channel; payload: SendOutcome
  Frame = 0x87,       // channel; payload: one captured frame
};

enum class OpenFailure : std::uint8_t { Other = 0, PermissionDenied = 1 };
enum class SendOutcome : std::uint8_t { Sent = 0, Failed = 1, Refused = 2 };

// Who reads: each side accepts only the other side's types.
enum class Reader { Helper, Program };

struct Message {
  MessageType type{};
  std::uint8_t channel = 0;
  std::vector<std::uint8_t> payload;
};

// Appends one message to `out`. The payload must fit its type's range (the caller's
// responsibility; the reader on the other side enforces it).
void appendMessage(std::vector<std::uint8_t>& out, MessageType type, std::uint8_t channel,
                   ByteSpan payload = {});

// Splits a byte stream into messages.
class MessageStream {
 public:
  enum class Status { Message, NeedMore, Malformed };
  explicit MessageStream(Reader reader) : reader_(reader) {}

  void feed(ByteSpan bytes);
  // Takes the next whole message. Malformed is final: the stream cannot be trusted after it.
  Status next(Message& out);

 private:
  Reader reader_;
  std::vector<std::uint8_t> buffer_;
  std::size_t start_ = 0;
  bool broken_ = false;
};

// The ethertype of a frame is one of the two management ethertypes.
bool isManagementFrame(ByteSpan frame);
// A name the helper may open: 1 to 15 bytes, printable, no '/'.
bool isInterfaceName(ByteSpan name);

std::vector<std::uint8_t> encodeInterfaces(const std::vector<InterfaceInfo>& list);
// False when the payload is not a well-formed list.
bool decodeInterfaces(ByteSpan payload, std::vector<InterfaceInfo>& out);

}  // namespace quorrel::transport::capture
