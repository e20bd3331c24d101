// The helper's framed protocol: round trips in any chunking, and hostile headers, lengths and
// lists, which must end the stream before any payload is buffered.
#include <gtest/gtest.h>

#include "transport/capture_protocol.h"

namespace quorrel::transport::capture {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes frameOf(std::uint16_t etherType, std::size_t length) {
  Bytes f(length, 0xA5);
  if (length >= kMinFrame) {
    f[12] = static_cast<std::uint8_t>(etherType >> 8);
    f[13] = static_cast<std::uint8_t>(etherType);
  }
  return f;
}

TEST(CaptureProtocolTest, MessagesSurviveAnyChunking) {
  const std::vector<InterfaceInfo> listed{{"eth0", {2, 0, 0, 0, 0, 1}}, {"veth-a.15", kNoMac}};
  struct Case {
    Reader reader;
    MessageType type;
    std::uint8_t channel;
    Bytes payload;
  };
  const Case cases[] = {
      {Reader::Helper, MessageType::List, 0, {}},
      {Reader::Helper, MessageType::Open, 0, {'e', 'n', 'p', '0', 's', '3', '1', 'f', '6'}},
      {Reader::Helper, MessageType::Close, 9, {}},
      {Reader::Helper, MessageType::Send, 255, frameOf(0x88E1, kMaxSentFrame)},
      {Reader::Program, MessageType::Hello, 0, {kProtocolVersion, 1}},
      {Reader::Program, MessageType::Interfaces, 0, encodeInterfaces(listed)},
      {Reader::Program, MessageType::OpenFailed, 0, {1}},
      {Reader::Program, MessageType::Frame, 3, frameOf(0x887B, kMaxDeliveredFrame)},
  };
  for (const std::size_t chunk : {std::size_t{1}, std::size_t{3}, std::size_t{100000}}) {
    for (const auto& c : cases) {
      Bytes wire;
      appendMessage(wire, c.type, c.channel, c.payload);
      appendMessage(wire, c.type, c.channel, c.payload);  // two back to back
      MessageStream stream(c.reader);
      std::vector<Message> got;
      for (std::size_t at = 0; at < wire.size(); at += chunk) {
        stream.feed(ByteSpan(wire).subspan(at, std::min(chunk, wire.size() - at)));
        Message m;
        while (stream.next(m) == MessageStream::Status::Message) got.push_back(m);
      }
      ASSERT_EQ(got.size(), 2u) << int(c.type) << " chunk " << chunk;
      EXPECT_EQ(got[1].type, c.type);
      EXPECT_EQ(got[1].channel, c.channel);
      EXPECT_EQ(got[1].payload, c.payload);
    }
  }
  std::vector<InterfaceInfo> decoded;
  ASSERT_TRUE(decodeInterfaces(encodeInterfaces(listed), decoded));
  ASSERT_EQ(decoded.size(), 2u);
  EXPECT_EQ(decoded[1].name, "veth-a.15");
  EXPECT_EQ(decoded[0].mac, listed[0].mac);
}

TEST(CaptureProtocolTest, HostileHeadersEndTheStreamAtOnceAndHostileListsAreRefused) {
  struct Case {
    Reader reader;
    std::uint8_t type;
    std::uint16_t length;
  };
  const Case cases[] = {
      {Reader::Helper, 0x00, 0},      {Reader::Helper, 0xFF, 0},
      {Reader::Helper, 0x87, 60},  // a helper's message sent to the helper
      {Reader::Helper, 0x01, 1},   // list with a payload
      {Reader::Helper, 0x02, 0},      {Reader::Helper, 0x02, 16},  // names of 0 and 16 bytes
      {Reader::Helper, 0x04, 13},     {Reader::Helper, 0x04, 1515},
      {Reader::Helper, 0x04, 0xFFFF}, {Reader::Program, 0x04, 60},  // a request sent to the program
      {Reader::Program, 0x81, 3},     {Reader::Program, 0x84, 1},
      {Reader::Program, 0x87, 13},    {Reader::Program, 0x82, 0xFFFF},
  };
  for (const auto& c : cases) {
    MessageStream stream(c.reader);
    const Bytes header{c.type, 0, static_cast<std::uint8_t>(c.length >> 8),
                       static_cast<std::uint8_t>(c.length)};
    stream.feed(header);  // no payload yet: the header alone condemns it
    Message m;
    EXPECT_EQ(stream.next(m), MessageStream::Status::Malformed)
        << "type " << int(c.type) << " length " << c.length;
    Bytes good;
    appendMessage(good, MessageType::List, 0);
    stream.feed(good);
    EXPECT_EQ(stream.next(m), MessageStream::Status::Malformed);
  }

  // Lists, names and frames.
  Bytes tooMany;
  for (int i = 0; i <= static_cast<int>(kMaxListed); ++i) {
    tooMany.push_back(1);
    tooMany.push_back('a');
    tooMany.insert(tooMany.end(), kListedMacLength, 0);
  }
  const Bytes lists[] = {
      {4, 'e', 't', 'h', '0', 1, 2, 3, 4, 5},  // cut inside the address
      {0, 1, 2, 3, 4, 5, 6},                   // empty name
      {3, '.', '/', 'x', 1, 2, 3, 4, 5, 6},    // a path
      {2, 'a', ' ', 1, 2, 3, 4, 5, 6},         // a blank
      {200, 'a'},                              // length past the end
      tooMany,
  };
  std::vector<InterfaceInfo> out;
  for (const auto& l : lists) EXPECT_FALSE(decodeInterfaces(l, out)) << l.size();

  EXPECT_TRUE(isManagementFrame(frameOf(0x88E1, 60)));
  EXPECT_TRUE(isManagementFrame(frameOf(0x887B, 14)));
  for (const auto& f : {frameOf(0x0800, 60), frameOf(0x88E2, 60), frameOf(0x887B, 13), Bytes{}})
    EXPECT_FALSE(isManagementFrame(f));
}

}  // namespace
}  // namespace quorrel::transport::capture
