// The one way received frames reach whoever waits for them: each management frame is taken
// from the interface table once, copied once into a value with the interface it arrived on,
// shown to the path's observer, and handed to the wait that asked.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/bytes.h"
#include "transport/interface_table.h"

namespace quorrel::transport {

// Frames taken from one interface in one poll before the path moves on, passing over frames
// that are no management frames or too long to be Ethernet frames.
inline constexpr int kPollTakesPerInterface = 8;

// One received management frame (ethertype 0x88E1 or 0x887B).
struct Frame {
  int arrival = -1;  // interface index
  std::size_t length = 0;
  // Each frame a path hands out has its own number, so that what its observer made of it can
  // be found again; 0 for a frame made by hand.
  std::uint64_t serial = 0;
  std::array<std::uint8_t, kMaxFrameLength> data{};

  ByteSpan bytes() const { return ByteSpan(data).first(length); }
  std::uint16_t etherType() const { return readBe16(bytes(), kEtherTypeOffset); }
  MacAddress destination() const { return readMac(bytes(), 0); }
  MacAddress source() const { return readMac(bytes(), 6); }
};

// Sees every frame the path hands out, before the wait does. It records what it saw and
// must not send or receive.
class FrameObserver {
 public:
  virtual ~FrameObserver() = default;
  virtual void observe(const Frame& frame) = 0;
};

class ReceivePath {
 public:
  explicit ReceivePath(FrameObserver* observer = nullptr) : observer_(observer) {}

  // The first pending management frame of the open interfaces in index order, starting after
  // the interface of the frame taken last; false when none is pending now. Never waits longer
  // than the transport's own short poll.
  bool next(Frame& out);
  // As next, but only frames of interface `index`.
  bool nextFrom(int index, Frame& out);

 private:
  bool take(int index, Frame& out);
  FrameObserver* observer_;
  int first_ = 0;  // where the next look starts
};

}  // namespace quorrel::transport
