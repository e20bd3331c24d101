// The rule each configuration region of a parameter block must satisfy.
#pragma once

#include <cstddef>

#include "paramblock/image_window.h"

namespace quorrel::paramblock {

// Region rules; true when the window's bytes satisfy them. A rule that reads outside the window
// leaves it faulted: checkRegion (region_map.h) counts that as a failure.
bool checkNothing(ImageWindow& w);
bool checkIdentityRegion(ImageWindow& w);
bool checkStationsRegion(ImageWindow& w);
bool checkClassifierRegion(ImageWindow& w);
bool checkTonesRegion(ImageWindow& w);
bool checkTimerRegion(ImageWindow& w);
bool checkLevelsRegion(ImageWindow& w);
bool checkIntervalRegion(ImageWindow& w);
bool checkTuningRegion(ImageWindow& w);
bool checkLinkRegion(ImageWindow& w);
bool checkKeyModeRegion(ImageWindow& w);
bool checkTablesRegion(ImageWindow& w);
bool checkBandsRegion(ImageWindow& w);
bool checkScheduleRegion(ImageWindow& w);
bool checkSerialRegion(ImageWindow& w);
bool checkTextRegion(ImageWindow& w);

// A seven-byte entry of the station list at `at`.
bool checkStationEntry(ImageWindow& w, std::size_t at);
// A 28-byte classifier entry at image offset `at`: class number and one rule.
bool checkClassifierEntry(ImageWindow& w, std::size_t at);
// A 24-byte classifier rule at `at`.
bool checkClassifierRule(ImageWindow& w, std::size_t at);
// A rule of type 226, or of type 227 on the 16-bit value 0xE188, belongs to class 5 only.
bool isSpecialRule(ImageWindow& w, std::size_t at);
// A 100-byte rule set at `at`.
bool checkRuleSet(ImageWindow& w, std::size_t at);

}  // namespace quorrel::paramblock
