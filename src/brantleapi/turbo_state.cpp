// The Turbo state and the device-table updates of Turbo and HomePlug 1.0 replies.
#include "brantleapi/turbo_state.h"

#include <algorithm>
#include <limits>

#include "api/device_table.h"
#include "api/rate_stats.h"

namespace quorrel::brantleapi {

namespace {
TurboState state;

// A Turbo remote's raw rate on the HomePlug 1.0 scale.
constexpr std::uint16_t kTurboRawLimit = 519;
constexpr int kTurboScaleNumerator = 85;
constexpr int kTurboScaleDenominator = 14;
// The interface rate is the remotes' average in raw HomePlug 1.0 units.
constexpr double kHp1RawPerMbps = 42;
}  // namespace

TurboState& turboState() {
  return state;
}
void resetTurboState() {
  state = TurboState{};
}

void applyTurboIdentity(const MacAddress& source, const TurboIdentity& id) {
  if (!id.fromRemote) {
    api::currentState().localMac = source;
    state.turboAnswered = true;
    state.localTurboVersion = id.version;
    state.localTurboVendorText1 = id.vendorText1;
    state.localTurboVendorText2 = id.vendorText2;
    return;
  }
  api::RemoteDevice* r = api::FindRemote(source);
  if (r == nullptr) return;
  r->inUse = true;
  r->scansLeft = static_cast<std::int8_t>(api::deviceTable().dropThreshold);
  if (r->deviceClass != api::DeviceClass::Turbo) r->classChanged = true;
  r->deviceClass = api::DeviceClass::Turbo;
  r->firmware = id.version;
  r->vendorText1 = id.vendorText1;
  r->vendorText2 = id.vendorText2;
}

void applyTurboStatistics(const TurboStatistics& s) {
  for (std::size_t k = 0; k < s.count; ++k) {
    api::RemoteDevice* r = api::FindRemote(s.stations[k].mac);
    if (r != nullptr)
      api::updateRateStats(r->rateStats, s.stations[k].rawRate, 0, 0, api::RateMode::Turbo);
  }
}

void applyTurboFirmwareText(std::string_view text) {
  state.localTurboFirmware = text;
  if (isOldTurboFirmware(state.localTurboFirmware.view())) state.turboFirmwareOld = true;
}

void applyTurboNetworkKey(const Hp1Key& key) {
  api::deviceTable().localHp1NetworkKey = key;
}

void applyHp1NetworkStatistics(const NetworkStatistics& s) {
  api::InterfaceDevices& d = api::currentDevices();
  if (!api::deviceTable().turboLocal) {
    for (api::RemoteDevice& r : d.remotes) {
      if (!r.inUse) continue;
      const Hp1Station* st = std::find_if(s.stations.begin(), s.stations.begin() + s.count,
                                          [&](const Hp1Station& x) { return x.mac == r.mac; });
      if (st == s.stations.begin() + s.count) continue;
      std::uint16_t raw = st->rawRate;
      if (r.deviceClass == api::DeviceClass::Turbo) {
        raw = std::min(raw, kTurboRawLimit);
        raw = static_cast<std::uint16_t>(raw * kTurboScaleNumerator / kTurboScaleDenominator);
      }
      api::updateRateStats(r.rateStats, raw, st->count1, st->count2, api::RateMode::HomePlug1);
    }
  }
  double sum = 0;
  int n = 0;
  for (const api::RemoteDevice& r : d.remotes) {
    if (!r.inUse || r.rateStats.currentRate == 0) break;
    sum += r.rateStats.currentRate;
    ++n;
  }
  const double average = n > 0 ? sum * kHp1RawPerMbps / n : 0;
  const auto raw = static_cast<std::uint16_t>(
      std::min<double>(average, std::numeric_limits<std::uint16_t>::max()));
  api::updateRateStats(d.rateStats, raw, s.fails, s.drops, api::RateMode::HomePlug1);
}

}  // namespace quorrel::brantleapi
