// Each answer is taken only from the station asked and on the interface asked; frames of other
// kinds are passed over at once, so noise cannot push an answer past its time.
#include "scan/remote_search.h"

#include <algorithm>

#include "api/identification.h"
#include "api/rate_stats.h"
#include "platform/clock.h"
#include "scan/av_wait.h"
#include "scan/scan.h"
#include "thpapi/decoder.h"
#include "thpapi/exchange.h"
#include "thpapi/frame_layout.h"
#include "transport/interface_table.h"

namespace quorrel::scan {

namespace {

std::uint32_t now() {
  return platform::tickCount();
}

}  // namespace

void AvRemoteSearch::start() {
  reset();
  local_ = api::LocalDeviceAddress();
  here_ = static_cast<int>(transport::currentInterface());
  version_ = thpapi::avMessageVersion();
  thpapi::SendAvRequest(local_, thpapi::kNetworkInfoRequest);
  listAskedAt_ = now();
  stage_ = Stage::List;
}

bool AvRemoteSearch::awaits(const MacAddress& station) const {
  return std::any_of(asked_.begin(), asked_.end(),
                     [&](const Station& a) { return a.mac == station; });
}

void AvRemoteSearch::takeList(const std::vector<Station>& listed) {
  for (const Station& s : listed) {
    if (s.mac == local_ || s.mac == kBroadcastMac) continue;
    if (api::UpsertRemote(s.mac) == nullptr) continue;
    // A station listed twice is asked once; its last listing's rate counts.
    auto same = std::find_if(waiting_.begin(), waiting_.end(),
                             [&](const Station& w) { return w.mac == s.mac; });
    if (same != waiting_.end())
      same->rate = s.rate;
    else
      waiting_.push_back(s);
  }
  stage_ = Stage::Versions;
}

bool AvRemoteSearch::takeFrame() {
  transport::Frame frame;
  if (!receivePath().poll(transport::kAnyInterface, frame)) return false;
  if (frame.etherType() != transport::kEtherTypeHomePlugAv)
    detail::passOver(frame);
  else
    offer(frame);
  return true;
}

void AvRemoteSearch::offer(const transport::Frame& frame) {
  thpapi::ThapiResult r;
  if (stage_ == Stage::Idle || frame.arrival != here_) return;
  if (stage_ == Stage::List) {
    if (thpapi::thpapi_DecodeFrame(frame.bytes(), r,
                                   thpapi::expectedVersionFor(thpapi::kNetworkInfoRequest)) != 0 ||
        r.mmtype != thpapi::kNetworkInfoConfirm || (r.dataValid != 1 && r.status != 0) ||
        (!isZeroMac(local_) && r.source != local_))
      return;
    thpapi::setAvAnswered(true);
    std::vector<Station> listed;
    for (const thpapi::StationEntry& e : r.stations) listed.push_back({e.mac, e.rate, 0});
    takeList(listed);
    return;
  }
  if (thpapi::thpapi_DecodeFrame(frame.bytes(), r, 0) != 0 || r.mmtype != thpapi::kVersionConfirm ||
      r.dataValid != 1)
    return;
  auto s = std::find_if(asked_.begin(), asked_.end(),
                        [&](const Station& a) { return a.mac == r.source; });
  if (s == asked_.end()) return;
  thpapi::setAvAnswered(true);
  const auto layout = version_ == thpapi::kMessageVersionV1 ? api::StationListLayout::Mmv1
                                                            : api::StationListLayout::Mmv0;
  // The entry may have moved if the table was full and a newcomer took its place.
  if (api::RemoteDevice* entry = api::FindRemote(s->mac)) {
    api::IdentifyRemoteAv(*entry, r.version, layout);
    api::updateRateStats(entry->rateStats, s->rate, 0, 0, api::RateMode::HomePlugAv);
  }
  asked_.erase(s);
}

// A station silent for each of its waits keeps the rate it had.
void AvRemoteSearch::expire(std::uint32_t t) {
  if (stage_ == Stage::List && t - listAskedAt_ >= kRemoteAnswerMs) stage_ = Stage::Idle;
  std::erase_if(asked_, [&](const Station& a) {
    if (t - a.askedAt < kRemoteAnswerMs) return false;
    if (a.asks < kRemoteAsks) waiting_.push_back(a);
    return true;
  });
}

void AvRemoteSearch::ask(std::uint32_t t) {
  while (asked_.size() < kRemoteRequestWindow && !waiting_.empty()) {
    Station s = waiting_.front();
    waiting_.erase(waiting_.begin());
    s.askedAt = t;
    ++s.asks;
    thpapi::SendAvRequest(s.mac, thpapi::kVersionRequest);
    asked_.push_back(s);
  }
  if (stage_ == Stage::Versions && asked_.empty()) stage_ = Stage::Idle;
}

// Nobody's time runs out while answers wait to be taken: the ticks, not the station, made them
// wait. Under a flood of frames the budget still ends the step.
bool AvRemoteSearch::step(std::uint32_t budgetMs) {
  const std::uint32_t start = now();
  while (stage_ != Stage::Idle) {
    const bool got = takeFrame();
    const bool timeUp = now() - start >= budgetMs;
    if (got && !timeUp) continue;
    expire(now());
    if (stage_ == Stage::Versions) ask(now());
    if (stage_ == Stage::Idle || timeUp) break;
    platform::sleepMs(1);
  }
  return running();
}

}  // namespace quorrel::scan
