// Frames of other ethertypes cannot pass the capture filter of a real interface; the check
// here keeps a test backend or a damaged frame from reaching the decoders.
#include "transport/receive_path.h"

#include <algorithm>
#include <atomic>

namespace quorrel::transport {

namespace {

std::atomic<std::uint64_t> lastSerial{0};

bool isManagementFrame(ByteSpan frame) {
  if (frame.size() < kEtherTypeOffset + 2 || frame.size() > kMaxFrameLength) return false;
  const std::uint16_t type = readBe16(frame, kEtherTypeOffset);
  return type == kEtherTypeHomePlugAv || type == kEtherTypeHomePlug1;
}

}  // namespace

bool ReceivePath::take(int index, Frame& out, bool wait) {
  for (int taken = 0; taken < kPollTakesPerInterface; ++taken) {
    const ReceivedFrame* f = wait ? ReceiveFrame(index) : takePendingFrame(index);
    if (f == nullptr) return false;
    if (f->data == nullptr || !isManagementFrame(f->bytes())) continue;
    out.arrival = index;
    out.length = f->length;
    out.serial = ++lastSerial;
    std::copy_n(f->data, f->length, out.data.begin());
    if (observer_ != nullptr) observer_->observe(out);
    return true;
  }
  return false;
}

// Each look starts at the interface after the one that gave the last frame: an interface whose
// capture always has a frame (a flood of other frames) would otherwise keep the ones after it
// from ever being read, and an answer waiting there from ever being taken.
bool ReceivePath::look(int index, Frame& out, bool wait) {
  if (index != kAnyInterface) return index >= 0 && index < kMaxInterfaces && take(index, out, wait);
  const int count = interfaceTable().interfaceCount;
  for (int k = 0; k < count; ++k) {
    const int i = (first_ + k) % count;
    if (take(i, out, wait)) {
      first_ = (i + 1) % count;
      return true;
    }
  }
  return false;
}

bool ReceivePath::next(Frame& out) {
  return look(kAnyInterface, out, true);
}
bool ReceivePath::nextFrom(int index, Frame& out) {
  return index >= 0 && look(index, out, true);
}
bool ReceivePath::poll(int index, Frame& out) {
  return look(index, out, false);
}

}  // namespace quorrel::transport
