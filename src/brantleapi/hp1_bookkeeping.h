// What every received HomePlug 1.0 frame tells about the local device of the interface it came
// on, whoever waits for it: a looped-back frame or a network statistics reply names the local
// device, a parameters reply gives its stored parameters. Given to the receive path when it is
// built, so no wait can take such a frame unseen.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "brantleapi/hp1_replies.h"
#include "transport/interface_table.h"
#include "transport/receive_path.h"

namespace quorrel::brantleapi {

class Hp1Bookkeeping final : public transport::FrameObserver {
 public:
  void observe(const transport::Frame& frame) override;
  // What `reply`, arrived on interface `index`, tells; observe decodes each frame for it.
  void take(const Hp1Reply& reply, int index);
  // The decoding of `frame`: the one made when it was observed last, else a new one. Valid
  // until the next frame is observed or decoded here.
  const std::optional<Hp1Reply>& decoded(const transport::Frame& frame);

  // A looped-back HomePlug 1.0 frame was seen since the last clearLoopback.
  bool loopbackSeen() const { return loopbackSeen_; }
  void clearLoopback() { loopbackSeen_ = false; }
  // A network statistics reply named a local device of a known class on interface `index`,
  // whose parameters should now be fetched; true once per such reply.
  bool takeFetchWanted(int index);
  void reset() { *this = Hp1Bookkeeping{}; }

 private:
  bool loopbackSeen_ = false;
  std::optional<Hp1Reply> last_;
  std::uint64_t lastSerial_ = 0;
  std::array<bool, transport::kMaxInterfaces> fetchWanted_{};
};

}  // namespace quorrel::brantleapi
