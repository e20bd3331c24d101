// The HomePlug AV remote search, spread over the scan's ticks: the local device is asked for
// its station list, then every listed station for its version, a few requests at a time, each
// answer taken within 100 ms of its own request. A local device that relays remote requests one
// at a time answers each within that time, and no tick waits for more than its budget.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/bytes.h"
#include "transport/receive_path.h"

namespace quorrel::scan {

// Version requests out at once: enough for an adapter that answers in parallel, few enough
// that one relaying 20 ms per request answers the last within 100 ms of its request.
inline constexpr std::size_t kRemoteRequestWindow = 4;
inline constexpr std::uint32_t kRemoteAnswerMs = 100;
// A station whose answer did not come is asked once more at the end of the list: the local
// search of the ageing step, which waits in between, may have taken its answer.
inline constexpr int kRemoteAsks = 2;

class AvRemoteSearch {
 public:
  // Asks the local device of the current interface for its station list; a search still
  // running is dropped.
  void start();
  // Takes what came, sends the next requests, and waits at most `budgetMs` for answers.
  // False once the search has ended.
  bool step(std::uint32_t budgetMs);
  bool running() const { return stage_ != Stage::Idle; }
  // The search has asked `station` and waits for its answer.
  bool awaits(const MacAddress& station) const;
  // A HomePlug AV frame another poll of the tick took: an answer of the search, or nothing.
  void offer(const transport::Frame& frame);
  void reset() { *this = AvRemoteSearch{}; }

 private:
  enum class Stage { Idle, List, Versions };
  struct Station {
    MacAddress mac{};
    std::uint16_t rate = 0;
    std::uint32_t askedAt = 0;
    int asks = 0;
  };
  void takeList(const std::vector<Station>& listed);
  bool takeFrame();
  void expire(std::uint32_t now);
  void ask(std::uint32_t now);

  Stage stage_ = Stage::Idle;
  int here_ = 0;
  int version_ = 0;
  MacAddress local_{};
  std::uint32_t listAskedAt_ = 0;
  std::vector<Station> waiting_;  // listed, not asked yet
  std::vector<Station> asked_;    // asked, not answered yet
};

}  // namespace quorrel::scan
