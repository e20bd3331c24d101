// The diagnostics report: one generator writes the rows of the computer, its local adapters
// and the remote devices ever listed, either into the Diagnostics page's two lists or into
// the report's text, so that what is seen and what is saved agree.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "diagnostics/host_info.h"

namespace quorrel::diagnostics {

inline constexpr const char* kNoPasswordText = "--- not entered ---";
inline constexpr const char* kUnknownErrorText = "Unknown error occured";
inline constexpr const char* kUnknownErrorCaption = "updateDiagnosticsList";
inline constexpr std::size_t kRuleLength = 142;

// Where the generator's rows and cells go.
class ReportSink {
 public:
  virtual ~ReportSink() = default;
  virtual void beginHostList() = 0;
  virtual void beginRemoteList() = 0;
  virtual void newRow(std::string_view text) = 0;
  virtual void cell(std::string_view text) = 0;
  virtual void endRemoteRow() {}
};

// The report's body: "\n" before every row, "\t" before every cell, the remote table's
// heading, an empty row after each device.
class TextSink final : public ReportSink {
 public:
  void beginHostList() override {}
  void beginRemoteList() override;
  void newRow(std::string_view text) override;
  void cell(std::string_view text) override;
  void endRemoteRow() override { newRow(""); }
  std::string text;
};

// The two lists of the Diagnostics page.
struct DiagnosticsLists {
  std::vector<std::string> hostRows;
  std::vector<std::vector<std::string>> remoteRows;  // the first cell is the device's name
};
class ListSink final : public ReportSink {
 public:
  void beginHostList() override;
  void beginRemoteList() override;
  void newRow(std::string_view text) override;
  void cell(std::string_view text) override;
  DiagnosticsLists lists;

 private:
  bool remote_ = false;
};

struct ReportColumn {
  const char* title;
  int width;
  bool operator==(const ReportColumn&) const = default;
};
inline constexpr ReportColumn kHostColumn{"System Information", 520};
// The remote list's columns: eight, and six statistics more above level 1.
std::vector<ReportColumn> remoteColumns(int diagnosticsLevel);

// Writes every row for the current device table, known devices and preferences.
void updateDiagnosticsList(ReportSink& sink, const HostInfo& host);

// The page's lists. A fault on the way shows "Unknown error occured" and leaves the lists as
// far as they were filled.
DiagnosticsLists fillDiagnosticsLists(const HostInfo& host);
// The whole report: heading with the time `now`, release and notice, then the body.
std::string composeDiagnosticsReport(const HostInfo& host, std::time_t now);

// The standard 24-character local time text and its line break, in English whatever the
// locale: "Thu Oct 21 13:45:07 2010\n". A time the calendar cannot hold gives question marks.
std::string standardTimeText(std::int64_t seconds);
// Month, day, hours and minutes of `seconds` ("Oct 21 13:45"); in the 12-hour form the hours
// run 12, 1 .. 11 followed by "AM" or "PM".
std::string lastSeenText(std::int64_t seconds, bool twelveHour);
// The rate truncated to a whole number in at least two digits; "?" for 0.
std::string rateCellText(double rateMbps);
// The text on one line: tabs, line breaks and other control characters become blanks.
std::string oneLine(std::string_view text);

}  // namespace quorrel::diagnostics
