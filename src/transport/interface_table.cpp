// The process-wide interface table over whichever backend is installed.
#include "transport/interface_table.h"

#include <algorithm>

#include "platform/notice.h"

namespace quorrel::transport {

namespace {
InterfaceTable table;

bool validIndex(int index) {
  return index >= 0 && index < table.interfaceCount;
}

void clearReceived() {
  table.receivedStorage.clear();
  table.receivedFrame = ReceivedFrame{};
}
}  // namespace

InterfaceTable& interfaceTable() {
  return table;
}

void resetInterfaceTable() {
  CloseAllInterfaces();
  table.interfaceCount = 0;
  table.currentInterface = 0;
  for (auto& e : table.entries) e.macAddress = kNoMac;
}

int EnumerateInterfaces() {
  for (auto& e : table.entries) {
    e.captureHandle.reset();
    e.macAddress = kNoMac;
  }
  table.interfaceCount = 0;
  table.interfaceList.clear();
  clearReceived();

  std::vector<InterfaceInfo> found;
  if (!backend().listInterfaces(found)) return 0;
  // Only 8 slots: the rest of the system never names an index above 7.
  if (found.size() > kMaxInterfaces) found.resize(kMaxInterfaces);
  table.interfaceList = std::move(found);
  for (const auto& info : table.interfaceList) {
    table.entries[table.interfaceCount].macAddress = info.mac;
    ++table.interfaceCount;
  }
  return 1;
}

int OpenInterface(int index) {
  if (index >= 0 && index < kMaxInterfaces && table.entries[index].captureHandle) return 1;
  if (!validIndex(index)) return 0;
  table.entries[index].captureHandle = backend().open(table.interfaceList[index]);
  return table.entries[index].captureHandle ? 1 : 0;
}

int CloseInterface(int index) {
  if (index >= 0 && index < kMaxInterfaces) table.entries[index].captureHandle.reset();
  return 1;
}

int CloseAllInterfaces() {
  clearReceived();
  for (int i = 0; i < kMaxInterfaces; ++i) CloseInterface(i);
  table.interfaceList.clear();
  return 1;
}

int SendFrame(int index, ByteSpan frame) {
  if (frame.size() > kMaxFrameLength) return 0;
  if (index < 0 || index >= kMaxInterfaces || !table.entries[index].captureHandle) return 0;
  // Pad short frames with zeros ourselves rather than sending what follows in the caller's
  // buffer.
  std::array<std::uint8_t, kMinFrameLength> padded{};
  ByteSpan wire = frame;
  if (frame.size() < kMinFrameLength) {
    std::copy(frame.begin(), frame.end(), padded.begin());
    wire = ByteSpan(padded);
  }
  try {
    return table.entries[index].captureHandle->send(wire) == SendStatus::Sent ? 1 : 0;
  } catch (...) {
    platform::showNotice(
        "Unknown error occurred while sending packets. Please try after some time.",
        "Send Packet Error");
    return 0;
  }
}

namespace {

const ReceivedFrame* receiveOn(int index, bool wait) {
  if (index < 0 || index >= kMaxInterfaces || !table.entries[index].captureHandle) return nullptr;
  std::vector<std::uint8_t> frame;
  bool got = false;
  try {
    Channel& channel = *table.entries[index].captureHandle;
    got = wait ? channel.receive(frame) : channel.takePending(frame);
  } catch (...) {
    got = false;
  }
  if (!got) return nullptr;
  table.receivedStorage = std::move(frame);
  table.receivedFrame.data = table.receivedStorage.data();
  table.receivedFrame.length = static_cast<std::uint32_t>(table.receivedStorage.size());
  return &table.receivedFrame;
}

}  // namespace

const ReceivedFrame* ReceiveFrame(int index) {
  return receiveOn(index, true);
}
const ReceivedFrame* takePendingFrame(int index) {
  return receiveOn(index, false);
}

std::uint32_t currentInterface() {
  return table.currentInterface;
}
void setCurrentInterface(std::uint32_t index) {
  table.currentInterface = std::min<std::uint32_t>(index, kMaxInterfaces - 1);
}

MacAddress SourceAddress() {
  return table.entries[currentInterface()].macAddress;
}

}  // namespace quorrel::transport
