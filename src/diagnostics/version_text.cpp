// The program's version and release texts.
#include "diagnostics/version_text.h"

#include <array>
#include <cstdio>
#include <string_view>

namespace quorrel::diagnostics {

namespace {
// The release text has always spelt the second month this way; support staff match on it.
constexpr std::array<const char*, 12> kMonths{"January",   "Feburary", "March",    "April",
                                              "May",       "June",     "July",     "August",
                                              "September", "October",  "November", "December"};

std::string_view versionField(std::string_view text, int index) {
  for (int i = 0; i < index; ++i) {
    const auto dash = text.find('-');
    if (dash == std::string_view::npos) return {};
    text.remove_prefix(dash + 1);
  }
  return text.substr(0, text.find('-'));
}

int digits(std::string_view text) {
  int v = 0;
  for (const char c : text) v = v * 10 + (c >= '0' && c <= '9' ? c - '0' : 0);
  return v;
}
}  // namespace

std::string programVersionText() {
  char build[16];
  std::snprintf(build, sizeof build, "%04d", kBuildNumber);
  std::string text = "v6.0.1.";
  text += versionField(kVersionString, 3);
  text += ", Build ";
  text += build;
  return text;
}

std::string releaseText() {
  const std::string_view date = kBuildDate;
  const int month = digits(date.substr(4, 2));
  std::string text = "Released: ";
  text += month >= 1 && month <= 12 ? kMonths[static_cast<std::size_t>(month - 1)] : "";
  text += ' ';
  text += std::to_string(digits(date.substr(6, 2)));
  text += ", ";
  text += date.substr(0, 4);
  return text;
}

}  // namespace quorrel::diagnostics
