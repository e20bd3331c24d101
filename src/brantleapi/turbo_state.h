// What the system knows of the local Turbo device, and how Turbo replies change it and the
// device table.
#pragma once

#include <string>

#include "api/fixed_text.h"
#include "brantleapi/hp1_replies.h"

namespace quorrel::brantleapi {

struct TurboState {
  bool turboAnswered = false;     // the local Turbo device answered an identity request
  bool turboFirmwareOld = false;  // its firmware is 1.5 or 1.6; cleared by the dialog that tells
  api::FixedText<kTurboVersionTextMax + 1> localTurboVersion;
  api::FixedText<kTurboVendorTextMax + 1> localTurboVendorText1;
  api::FixedText<kTurboVendorTextMax + 1> localTurboVendorText2;
  api::FixedText<kTurboFirmwareTextMax + 1> localTurboFirmware;
  // The text buffer the statistics request polls with.
  std::string turboStatisticsText;
};

TurboState& turboState();
void resetTurboState();

// An identity reply from `source`: a remote's entry of the current interface (none: ignored),
// or the local Turbo identity.
void applyTurboIdentity(const MacAddress& source, const TurboIdentity& identity);
// Each listed station with an entry gets the raw rate in the Turbo conversion.
void applyTurboStatistics(const TurboStatistics& statistics);
void applyTurboFirmwareText(std::string_view text);
// Becomes `localHp1NetworkKey` of the device table.
void applyTurboNetworkKey(const Hp1Key& key);

// The HomePlug 1.0 rate update from a network statistics reply: remote rates (unless the
// local device is a Turbo device), then the current interface's own rate.
void applyHp1NetworkStatistics(const NetworkStatistics& statistics);

}  // namespace quorrel::brantleapi
