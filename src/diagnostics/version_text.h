// The program's version and release texts, as the report and the About page show them.
#pragma once

#include <string>

namespace quorrel::diagnostics {

// Dash-separated version fields, the build number and the build date (YYYYMMDD).
inline constexpr const char* kVersionString = "6-0-1-00-0";
inline constexpr int kBuildNumber = 3;
inline constexpr const char* kBuildDate = "20101020";

// "v6.0.1." + the fourth version field + ", Build " + the build number in four digits.
std::string programVersionText();
// "Released: " + month name + " " + day + ", " + year of the build date.
std::string releaseText();

}  // namespace quorrel::diagnostics
