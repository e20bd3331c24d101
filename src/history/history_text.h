// The history as text: durations typed by the user, ISO-8601 times and the CSV export shared
// by the chart's "Export CSV…" and `quorrel-cli history --csv`.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "history/history_file.h"

namespace quorrel::history {

// "90m", "24h", "7d", "2w" (also "30s"): a positive whole number and one unit, up to ten
// years. Empty on anything else.
std::optional<std::int64_t> parseDuration(std::string_view text);
// UTC, "2026-12-07T06:52:19Z".
std::string isoTime(std::int64_t seconds);
std::string_view resolutionName(Resolution r);  // "cycle", "hour"
// The rate with up to three decimals, no trailing zeros ("93", "93.5").
std::string mbpsText(const Sample& s);

inline constexpr char kCsvHeader[] = "time,device,viewer,mbps,resolution,samples\n";
// The header and one line per sample.
std::string formatCsv(const std::vector<Sample>& samples);

}  // namespace quorrel::history
