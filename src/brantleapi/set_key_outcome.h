// The result of a key setting.
#pragma once

#include <cstdint>

namespace quorrel::brantleapi {

using SetKeyOutcome = std::uint32_t;
inline constexpr SetKeyOutcome kKeyNoAnswer = 0;
inline constexpr SetKeyOutcome kKeyProbeAnswered = 1;  // no key answer, but the probe answered
inline constexpr SetKeyOutcome kKeyHp1Answered = 2;    // a type 0x06 answer came
inline constexpr SetKeyOutcome kKeyAvConfirmed = 4;

}  // namespace quorrel::brantleapi
