// The rows of the remote device list, kept in line with the current interface's remote
// entries and the known devices, and their sort order. The widget only draws these rows.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "api/device_table.h"
#include "platform/bytes.h"

namespace quorrel::ui {

inline constexpr int kMaxRemoteRows = api::kMaxRemotes;
inline constexpr const char* kNoPasswordText = "--- not entered ---";
inline constexpr const char* kDefaultRowWord = "Device";

// What each column shows, whatever index it has in a list without Rate or Quality.
enum class ColumnKind { Name, Mac, Rate, Quality, Password };

// The columns present, by column index; Name and MAC first, Password last.
struct ColumnSet {
  std::vector<ColumnKind> kinds;
  static ColumnSet fromPreferences(bool rate, bool quality);
  int count() const { return static_cast<int>(kinds.size()); }
  // The column index of `kind`, or -1 when it is not present.
  int indexOf(ColumnKind kind) const;
  // Name for a column index out of range.
  ColumnKind kindAt(int index) const;
};

struct RemoteRow {
  int remoteIndex = 0;  // into the current interface's remotes
  MacAddress mac{};
  std::string macText;
  std::string name;
  std::string rateText;
  std::string qualityText;
  bool qualityWide = false;
  std::string password;
  int image = 0;
  // The text of a column, by kind.
  const std::string& text(ColumnKind kind) const;
};

struct SortState {
  int column = 1;             // column index
  bool directionFlag = true;  // the stored direction flag (see rowGoesBefore)
};

class RemoteRows {
 public:
  RemoteRows(ColumnSet columns, int qualityStyle);

  const std::vector<RemoteRow>& rows() const { return rows_; }
  const ColumnSet& columns() const { return columns_; }
  int size() const { return static_cast<int>(rows_.size()); }
  void clear() { rows_.clear(); }

  // Row whose MAC is `mac`, or -1 (always -1 for the all-zero MAC).
  int FindRowByMac(const MacAddress& mac) const;
  bool RemoveRowByMac(const MacAddress& mac);

  // Brings the rows in line with the current interface's entries (when its local device is
  // present): updates, adds and deletes, then sorts by `sort`. Rows whose entry has gone are
  // deleted too, so the list never holds a row the table no longer has, nor more than 32.
  void RefreshRemoteRows(const SortState& sort);
  void sortBy(const SortState& sort);

  // Column 0 or the Password column of row `row`; false for a row out of range.
  bool setRowName(int row, const std::string& name);
  bool setRowPassword(int row, const std::string& password);

 private:
  void AddRemoteRow(int m);
  void UpdateRemoteRow(RemoteRow& row, int m);

  ColumnSet columns_;
  int qualityStyle_;
  std::vector<RemoteRow> rows_;
};

// The sort key of a row under column `kind`: the known record's name or password (empty
// without a record), the MAC text, the quality text; ranks by these bytes.
std::string rowSortText(const RemoteRow& row, ColumnKind kind, int qualityStyle);

// Whether row `a` goes before row `b`: a strict weak order, so equal keys keep their order
// under a stable sort. Rates rise with the flag clear and fall with it set; texts fall with
// the flag clear and rise with it set.
bool rowGoesBefore(double rateA, double rateB, const std::string& textA, const std::string& textB,
                   ColumnKind kind, bool directionFlag);

// The header-click rule: a new column takes its remembered direction, which then flips; the
// same column flips the stored direction. Directions are remembered per column index for the
// run, not saved.
class SortToggle {
 public:
  void ToggleSort(SortState& state, int column);

 private:
  std::array<bool, 5> remembered_{};
};

}  // namespace quorrel::ui
