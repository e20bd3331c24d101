// The one way received frames reach whoever waits for them: each management frame is taken
// from the interface table once, copied once into a value with the interface it arrived on,
// shown to the path's observer, and handed to the wait that asked. waitFor is the one loop
// that waits for a frame.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/bytes.h"
#include "platform/clock.h"
#include "platform/state_lock.h"
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

inline constexpr int kAnyInterface = -1;

class ReceivePath {
 public:
  explicit ReceivePath(FrameObserver* observer = nullptr) : observer_(observer) {}

  // The first pending management frame of the open interfaces in index order, starting after
  // the interface of the frame taken last; false when none is pending now. Never waits longer
  // than the transport's own short poll.
  bool next(Frame& out);
  // As next, but only frames of interface `index`.
  bool nextFrom(int index, Frame& out);
  // As next (`index` < 0) or nextFrom, but never waits: false at once when nothing is pending.
  bool poll(int index, Frame& out);

 private:
  bool look(int index, Frame& out, bool wait);
  bool take(int index, Frame& out, bool wait);
  FrameObserver* observer_;
  int first_ = 0;  // where the next look starts
};

// When a wait ends: `ms` after `start` on the platform's tick count. A wait with `untilIdle`
// also ends at the first look that finds nothing pending; one given a `cancel` flag ends at the
// first look after the flag is set (another thread may set it), so a stop request never waits
// out a deadline.
struct Deadline {
  std::uint32_t start = 0;
  std::uint32_t ms = 0;
  bool untilIdle = false;
  const std::atomic<bool>* cancel = nullptr;

  static Deadline after(std::uint32_t ms) { return {platform::tickCount(), ms}; }
  bool passed() const { return platform::tickCount() - start >= ms; }
  bool cancelled() const {
    return (cancel != nullptr && cancel->load()) || platform::cancelRequested();
  }
};

// What a wait makes of a frame: the one it waits for, or another.
enum class Verdict { Accept, Pass };

// Leaves a frame the wait does not want: the path's observer has already seen it.
struct PassOver {
  void operator()(const Frame&) const {}
};

// Takes frames from `path` (from interface `from` only, unless kAnyInterface) until `wanted`
// accepts one (true) or the deadline passes or is cancelled (false); the last look is made at
// the deadline.
// `wanted` may act on what it sees; every frame it passes goes to `other`. Nothing pauses
// after a frame: only a look at every interface that finds none pending sleeps, 1 ms once,
// so unrelated frames cost no time of their own and cannot push an answer past the deadline.
template <class Wanted, class Other = PassOver>
bool waitFor(ReceivePath& path, const Deadline& deadline, Wanted&& wanted, Other&& other = {},
             int from = kAnyInterface) {
  Frame frame;
  for (;;) {
    if (deadline.cancelled()) return false;
    if (path.poll(from, frame)) {
      if (wanted(static_cast<const Frame&>(frame)) == Verdict::Accept) return true;
      other(static_cast<const Frame&>(frame));
      if (deadline.passed()) return false;
    } else {
      if (deadline.untilIdle || deadline.passed()) return false;
      platform::sleepMs(1);
    }
  }
}

}  // namespace quorrel::transport
