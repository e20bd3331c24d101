// The 8 Ethernet interfaces, their MAC addresses, and one-frame send and receive on them.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/bytes.h"
#include "transport/backend.h"
#include "transport/ethertypes.h"

namespace quorrel::transport {

inline constexpr int kMaxInterfaces = 8;
inline constexpr std::size_t kMinFrameLength = 60;    // shorter frames are zero padded
inline constexpr std::size_t kMaxFrameLength = 1514;  // longer frames are refused

struct InterfaceEntry {
  std::unique_ptr<Channel> captureHandle;  // null while closed
  MacAddress macAddress{};
};

// The one frame most recently taken; valid until the next receive on any interface.
struct ReceivedFrame {
  std::uint32_t length = 0;
  const std::uint8_t* data = nullptr;
  ByteSpan bytes() const { return ByteSpan(data, length); }
};

struct InterfaceTable {
  std::array<InterfaceEntry, kMaxInterfaces> entries;
  std::int32_t interfaceCount = 0;
  std::vector<InterfaceInfo> interfaceList;
  ReceivedFrame receivedFrame;
  std::vector<std::uint8_t> receivedStorage;
  std::uint32_t currentInterface = 0;
};

InterfaceTable& interfaceTable();
// Closes everything and forgets the interfaces and the current index (tests).
void resetInterfaceTable();

int EnumerateInterfaces();
int OpenInterface(int index);
int CloseInterface(int index);
int CloseAllInterfaces();
int SendFrame(int index, ByteSpan frame);
// The received frame, or nullptr when none was taken.
const ReceivedFrame* ReceiveFrame(int index);
// As ReceiveFrame, but never waits for a frame.
const ReceivedFrame* takePendingFrame(int index);

std::uint32_t currentInterface();
void setCurrentInterface(std::uint32_t index);
// The MAC address of the current interface: the source of every frame sent on it.
MacAddress SourceAddress();

}  // namespace quorrel::transport
