// Scheduling, the misbehaviour knobs and the noise of the simulated network.
#include "adapter-sim/core/network.h"

#include <algorithm>

namespace quorrel::sim {

namespace {
std::uint32_t key(std::uint16_t etherType, std::uint16_t type) {
  return (std::uint32_t{etherType} << 16) | type;
}

// Noise comes from an address no scenario uses: locally administered, reads "NOISE".
constexpr MacAddress kNoiseSource{0x02, 0x4E, 0x4F, 0x49, 0x53, 0x45};
// A vendor message type nobody asks for, and a HomePlug 1.0 entry type nobody sends.
constexpr std::uint16_t kNoiseMmType = 0xA0FE;
constexpr std::uint8_t kNoiseHp1Entry = 0x3E;
constexpr std::uint16_t kEtherTypeIpv4 = 0x0800;
constexpr std::uint16_t kEtherTypeIpv6 = 0x86DD;
constexpr std::uint16_t kEtherTypeArp = 0x0806;
}  // namespace

void HandlerTable::add(std::uint16_t etherType, std::uint16_t type, Handler h) {
  handlers_[key(etherType, type)] = std::move(h);
}

const Handler* HandlerTable::find(std::uint16_t etherType, std::uint16_t type) const {
  const auto it = handlers_.find(key(etherType, type));
  return it == handlers_.end() ? nullptr : &it->second;
}

Network::Network(Scenario scenario) : scenario_(std::move(scenario)) {
  registerAllFamilies(handlers_);
}

void Network::addHandler(std::uint16_t etherType, std::uint16_t type, Handler h) {
  handlers_.add(etherType, type, std::move(h));
}

Adapter* Network::adapterAt(const MacAddress& mac) {
  Adapter* found = nullptr;
  if (mac == kLocalDeviceMac || mac == scenario_.local.mac) {
    found = &scenario_.local;
  } else {
    for (auto& r : scenario_.remotes)
      if (r.mac == mac) {
        if (r.present && inLocalNetwork(r)) found = &r;
        break;
      }
  }
  return found != nullptr && found->silentUntilUs > nowUs_ ? nullptr : found;
}

bool Network::inLocalNetwork(const Adapter& remote) const {
  return remote.present && remote.networkKey == scenario_.local.networkKey;
}

std::uint8_t Network::statusFor(std::uint16_t confirmationType) const {
  const Behaviour& b = scenario_.behaviour;
  return b.statusType == 0 || b.statusType == confirmationType ? b.status : 0;
}

std::uint32_t Network::latencyOf(const Adapter& a) const {
  const Behaviour& b = scenario_.behaviour;
  return isLocal(a) ? b.localLatencyUs : b.localLatencyUs + b.remoteLatencyUs;
}

std::uint32_t Network::relayedLatencyOf(const Adapter& a) {
  const Behaviour& b = scenario_.behaviour;
  if (isLocal(a) || b.relayMs == 0) return latencyOf(a);
  const std::uint64_t start = std::max(nowUs_, relayFreeUs_);
  relayFreeUs_ = start + std::uint64_t{b.relayMs} * 1000;
  return static_cast<std::uint32_t>(relayFreeUs_ - nowUs_) + b.localLatencyUs;
}

void Network::setTimelines(std::vector<StationTimeline> timelines) {
  timelines_ = std::move(timelines);
  timelines_.resize(scenario_.remotes.size());
  base_.clear();
  for (const Adapter& r : scenario_.remotes) base_.push_back({r.present, r.txRate, r.rxRate});
}

void Network::startTimeline(std::uint64_t nowUs) {
  timelineStartUs_ = nowUs;
  applyTimeline(nowUs);
}

// A station is there between its join and its leave time (and only if the scenario has it
// switched on); its rates are those of the last step already due, else the scenario's.
void Network::applyTimeline(std::uint64_t nowUs) {
  if (timelines_.empty() || base_.size() != scenario_.remotes.size()) return;
  if (!timelineStartUs_) timelineStartUs_ = nowUs;
  const std::uint64_t ms = nowUs >= *timelineStartUs_ ? (nowUs - *timelineStartUs_) / 1000 : 0;
  for (std::size_t i = 0; i < timelines_.size(); ++i) {
    const StationTimeline& t = timelines_[i];
    if (t.empty()) continue;
    Adapter& r = scenario_.remotes[i];
    r.present = base_[i].present && (!t.joinAtMs || ms >= *t.joinAtMs) &&
                (!t.leaveAtMs || ms < *t.leaveAtMs);
    r.txRate = base_[i].txRate;
    r.rxRate = base_[i].rxRate;
    std::uint32_t latest = 0;
    for (const RateStep& step : t.rates)
      if (step.atMs <= ms && step.atMs >= latest) {
        latest = step.atMs;
        r.txRate = step.txRate;
        r.rxRate = step.rxRate;
      }
  }
}

void Network::applyDailyPattern(std::uint64_t nowUs) {
  const DailyPattern& p = scenario_.behaviour.daily;
  if (!p.active()) return;
  auto& remotes = scenario_.remotes;
  const bool timelined = !timelines_.empty() && base_.size() == remotes.size();
  if (!timelined && patternBase_.size() != remotes.size()) {
    patternBase_.clear();
    for (const Adapter& r : remotes) patternBase_.emplace_back(r.txRate, r.rxRate);
  }
  for (std::size_t i = 0; i < remotes.size(); ++i) {
    // The pattern reduces the rate a station has before it: its timeline's step, else its
    // scenario rate; never the rate it reduced on an earlier frame.
    const bool stepped = timelined && !timelines_[i].empty();
    const std::uint16_t tx = stepped     ? remotes[i].txRate
                             : timelined ? base_[i].txRate
                                         : patternBase_[i].first;
    const std::uint16_t rx = stepped     ? remotes[i].rxRate
                             : timelined ? base_[i].rxRate
                                         : patternBase_[i].second;
    remotes[i].txRate = patternRate(tx, p, nowUs);
    remotes[i].rxRate = patternRate(rx, p, nowUs);
  }
}

void Network::receive(ByteSpan frame, std::uint64_t nowUs) {
  applyTimeline(nowUs);
  applyDailyPattern(nowUs);
  ++stats_.received;
  nowUs_ = nowUs;
  const auto request = wire::parseRequest(frame);
  const Handler* h = request ? handlers_.find(request->etherType, request->type) : nullptr;
  if (h == nullptr) {
    ++stats_.ignored;
    return;
  }
  if (!isGroupMac(request->source) && !isZeroMac(request->source)) hostMac_ = request->source;
  std::vector<Answer> answers;
  (*h)(*this, *request, answers);
  for (auto& a : answers) scheduleAnswer(std::move(a), nowUs);
}

void Network::scheduleAnswer(Answer a, std::uint64_t nowUs) {
  ++stats_.answers;
  const Behaviour& b = scenario_.behaviour;
  ++answerCount_;
  if ((b.dropEvery != 0 && answerCount_ % b.dropEvery == 0) || answerCount_ <= b.dropFirst) {
    ++stats_.dropped;
    return;
  }
  const std::uint64_t due = nowUs + a.latencyUs + std::uint64_t{b.delayMs} * 1000;
  std::optional<std::size_t> broken;
  if (b.corruptFirst == Corruption::Oui) broken = a.ouiOffset;
  if (b.corruptFirst == Corruption::Checksum) broken = a.checksumOffset;
  if (broken && *broken < a.frame.size()) {
    auto decoy = a.frame;
    decoy[*broken] ^= 0xFF;
    ++stats_.decoys;
    schedule(due, std::move(decoy));
  }
  schedule(due, std::move(a.frame));
}

void Network::schedule(std::uint64_t dueUs, std::vector<std::uint8_t> frame) {
  Pending p{dueUs, nextOrder_++, std::move(frame)};
  const auto at =
      std::upper_bound(pending_.begin(), pending_.end(), p, [](const auto& x, const auto& y) {
        return x.dueUs < y.dueUs || (x.dueUs == y.dueUs && x.order < y.order);
      });
  pending_.insert(at, std::move(p));
}

void Network::makeNoise(std::uint64_t nowUs) {
  const Behaviour& b = scenario_.behaviour;
  if (!b.noise) {
    nextNoiseUs_.reset();
    return;
  }
  if (nextNoiseUs_ && *nextNoiseUs_ > nowUs) return;
  // One burst per call however far time jumped: a virtual clock that sleeps seconds must not
  // bury the host under thousands of frames at once.
  nextNoiseUs_ = nowUs + b.noiseIntervalUs;
  std::vector<MacAddress> targets{kBroadcastMac};
  if (!isZeroMac(hostMac_)) targets.push_back(hostMac_);
  for (const auto& to : targets) {
    schedule(nowUs, wire::avFrame(to, kNoiseSource, 0, kNoiseMmType, 8));
    auto hp1 = wire::ethernetFrame(to, kNoiseSource, wire::kEtherTypeHp1, wire::kMinFrameLength);
    writeU8(hp1, wire::kHp1EntryCountOffset, 1);
    writeU8(hp1, wire::kHp1EntryTypeOffset, kNoiseHp1Entry);
    schedule(nowUs, std::move(hp1));
    // Other ethertypes carry zero payloads, which no protocol stack on the far side accepts.
    for (std::uint16_t t : {kEtherTypeIpv4, kEtherTypeIpv6, kEtherTypeArp})
      schedule(nowUs, wire::ethernetFrame(to, kNoiseSource, t, wire::kMinFrameLength));
    stats_.noise += 5;
  }
}

std::vector<std::vector<std::uint8_t>> Network::takeDue(std::uint64_t nowUs) {
  applyTimeline(nowUs);
  makeNoise(nowUs);
  std::vector<std::vector<std::uint8_t>> due;
  auto it = pending_.begin();
  for (; it != pending_.end() && it->dueUs <= nowUs; ++it) due.push_back(std::move(it->frame));
  pending_.erase(pending_.begin(), it);
  return due;
}

std::optional<std::uint64_t> Network::nextDueUs() const {
  std::optional<std::uint64_t> next;
  if (!pending_.empty()) next = pending_.front().dueUs;
  if (scenario_.behaviour.noise) {
    const std::uint64_t noise = nextNoiseUs_.value_or(0);
    next = next ? std::min(*next, noise) : noise;
  }
  return next;
}

}  // namespace quorrel::sim
