// Text forms of the history.
#include "history/history_text.h"

#include <charconv>
#include <cstdio>
#include <ctime>

namespace quorrel::history {

std::optional<std::int64_t> parseDuration(std::string_view text) {
  if (text.size() < 2) return std::nullopt;
  std::int64_t unit = 0;
  switch (text.back()) {
    case 's':
      unit = 1;
      break;
    case 'm':
      unit = 60;
      break;
    case 'h':
      unit = 3600;
      break;
    case 'd':
      unit = 86400;
      break;
    case 'w':
      unit = 7 * 86400;
      break;
    default:
      return std::nullopt;
  }
  const std::string_view digits = text.substr(0, text.size() - 1);
  std::int64_t n = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), n);
  constexpr std::int64_t kTenYears = 3660LL * 86400;
  if (ec != std::errc() || end != digits.data() + digits.size() || n <= 0 || n > kTenYears / unit)
    return std::nullopt;
  return n * unit;
}

std::string isoTime(std::int64_t seconds) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  if (::gmtime_r(&t, &tm) == nullptr) return std::to_string(seconds);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return text;
}

std::string_view resolutionName(Resolution r) {
  return r == Resolution::Hour ? "hour" : "cycle";
}

std::string mbpsText(const Sample& s) {
  std::string t = std::to_string(s.kbps / 1000);
  if (const std::uint32_t frac = s.kbps % 1000; frac != 0) {
    char f[8];
    std::snprintf(f, sizeof f, ".%03u", frac);
    std::string tail = f;
    while (tail.back() == '0') tail.pop_back();
    t += tail;
  }
  return t;
}

std::string formatCsv(const std::vector<Sample>& samples) {
  std::string out = kCsvHeader;
  for (const Sample& s : samples) {
    out += isoTime(s.time) + "," + formatMac(s.device) + "," + formatMac(s.viewer) + "," +
           mbpsText(s) + "," + std::string(resolutionName(s.resolution)) + "," +
           std::to_string(s.count) + "\n";
  }
  return out;
}

}  // namespace quorrel::history
