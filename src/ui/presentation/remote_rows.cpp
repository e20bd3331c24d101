// The remote rows: refresh from the device table, sort by column.
#include "ui/presentation/remote_rows.h"

#include <algorithm>
#include <ctime>
#include <numeric>

#include "persistence/known_devices.h"
#include "persistence/vendor_list.h"
#include "ui/presentation/quality_text.h"

namespace quorrel::ui {

ColumnSet ColumnSet::fromPreferences(bool rate, bool quality) {
  ColumnSet s;
  s.kinds = {ColumnKind::Name, ColumnKind::Mac};
  if (rate) s.kinds.push_back(ColumnKind::Rate);
  if (quality) s.kinds.push_back(ColumnKind::Quality);
  s.kinds.push_back(ColumnKind::Password);
  return s;
}

int ColumnSet::indexOf(ColumnKind kind) const {
  for (int i = 0; i < count(); ++i)
    if (kinds[static_cast<std::size_t>(i)] == kind) return i;
  return -1;
}

ColumnKind ColumnSet::kindAt(int index) const {
  if (index < 0 || index >= count()) return ColumnKind::Name;
  return kinds[static_cast<std::size_t>(index)];
}

const std::string& RemoteRow::text(ColumnKind kind) const {
  switch (kind) {
    case ColumnKind::Name:
      return name;
    case ColumnKind::Mac:
      return macText;
    case ColumnKind::Rate:
      return rateText;
    case ColumnKind::Quality:
      return qualityText;
    case ColumnKind::Password:
      return password;
  }
  return name;
}

RemoteRows::RemoteRows(ColumnSet columns, int qualityStyle)
    : columns_(std::move(columns)), qualityStyle_(qualityStyle) {}

int RemoteRows::FindRowByMac(const MacAddress& mac) const {
  if (isZeroMac(mac)) return -1;
  for (int r = 0; r < size(); ++r)
    if (rows_[static_cast<std::size_t>(r)].mac == mac) return r;
  return -1;
}

bool RemoteRows::RemoveRowByMac(const MacAddress& mac) {
  const int r = FindRowByMac(mac);
  if (r < 0) return false;
  rows_.erase(rows_.begin() + r);
  return true;
}

void RemoteRows::UpdateRemoteRow(RemoteRow& row, int m) {
  api::RemoteDevice& e = api::currentDevices().remotes[static_cast<std::size_t>(m)];
  row.remoteIndex = m;
  if (e.classChanged) {
    row.image = deviceImageIndex(e.deviceClass);
    e.classChanged = false;
  }
  if (!e.rateStats.rateChanged) return;
  if (columns_.indexOf(ColumnKind::Rate) >= 0) {
    row.rateText = rateText(e.rateStats.currentRate);
    e.rateStats.rateChanged = false;
  }
  if (columns_.indexOf(ColumnKind::Quality) >= 0) {
    QualityText q = qualityText(e.rateStats.currentRate, e.deviceClass, qualityStyle_);
    row.qualityText = std::move(q.text);
    row.qualityWide = q.wide;
  }
}

void RemoteRows::AddRemoteRow(int m) {
  api::RemoteDevice& e = api::currentDevices().remotes[static_cast<std::size_t>(m)];
  RemoteRow row;
  const int k = persistence::FindKnownByMac(e.mac);
  persistence::KnownDevice* record = persistence::knownAt(k);
  if (record != nullptr) {
    row.name = record->name.str();
    record->networkName = api::currentDevices().localNetworkName.view();
    record->lastSeen = static_cast<std::int64_t>(std::time(nullptr));
    row.password = record->password.str();
  } else {
    row.name = persistence::VendorName(e.mac) + " " + kDefaultRowWord + " " +
               std::to_string(static_cast<std::int16_t>(size() + 1));
    row.password = kNoPasswordText;
  }
  row.mac = e.mac;
  row.macText = formatMac(e.mac);
  row.image = deviceImageIndex(e.deviceClass);
  row.remoteIndex = m;
  e.rateStats.rateChanged = true;
  UpdateRemoteRow(row, m);
  rows_.push_back(std::move(row));
}

void RemoteRows::RefreshRemoteRows(const SortState& sort) {
  api::InterfaceDevices& devices = api::currentDevices();
  if (!devices.localPresent) return;
  std::vector<bool> listed(rows_.size(), false);
  for (int m = 0; m < api::kMaxRemotes; ++m) {
    const api::RemoteDevice& e = devices.remotes[static_cast<std::size_t>(m)];
    const int r = FindRowByMac(e.mac);
    if (r >= 0) {
      if (e.inUse) {
        UpdateRemoteRow(rows_[static_cast<std::size_t>(r)], m);
        listed[static_cast<std::size_t>(r)] = true;
      } else {
        rows_.erase(rows_.begin() + r);
        listed.erase(listed.begin() + r);
      }
    } else if (e.inUse && !isZeroMac(e.mac) && e.mac != devices.localMac &&
               size() < kMaxRemoteRows) {
      AddRemoteRow(m);
      listed.push_back(true);
    }
  }
  // Rows of entries that moved away (removed, or another interface) would otherwise stay.
  for (std::size_t r = rows_.size(); r-- > 0;)
    if (!listed[r]) rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(r));
  sortBy(sort);
}

std::string rowSortText(const RemoteRow& row, ColumnKind kind, int qualityStyle) {
  const api::RemoteDevice& e =
      api::currentDevices()
          .remotes[static_cast<std::size_t>(std::clamp(row.remoteIndex, 0, api::kMaxRemotes - 1))];
  const persistence::KnownDevice* record =
      persistence::knownAt(persistence::FindKnownByMac(row.mac));
  switch (kind) {
    case ColumnKind::Name:
      return record != nullptr ? record->name.str() : std::string();
    case ColumnKind::Password:
      return record != nullptr ? record->password.str() : std::string();
    case ColumnKind::Mac:
      return row.macText;
    case ColumnKind::Quality:
      return qualityText(e.rateStats.currentRate, e.deviceClass, qualityStyle).text;
    case ColumnKind::Rate:
      return std::string();
  }
  return std::string();
}

bool rowGoesBefore(double rateA, double rateB, const std::string& textA, const std::string& textB,
                   ColumnKind kind, bool directionFlag) {
  if (kind == ColumnKind::Rate) return directionFlag ? rateA > rateB : rateA < rateB;
  // char_traits<char> compares as unsigned bytes, as C strings do.
  const int c = textA.compare(textB);
  return directionFlag ? c < 0 : c > 0;
}

void RemoteRows::sortBy(const SortState& sort) {
  const ColumnKind kind = columns_.kindAt(sort.column);
  struct Keyed {
    double rate;
    std::string text;
    RemoteRow row;
  };
  std::vector<Keyed> keyed;
  keyed.reserve(rows_.size());
  for (RemoteRow& row : rows_) {
    const api::RemoteDevice& e = api::currentDevices().remotes[static_cast<std::size_t>(
        std::clamp(row.remoteIndex, 0, api::kMaxRemotes - 1))];
    double rate = e.rateStats.currentRate;
    if (!(rate >= 0)) rate = 0;  // NaN from a damaged file must not break the order
    keyed.push_back({rate, rowSortText(row, kind, qualityStyle_), std::move(row)});
  }
  std::stable_sort(keyed.begin(), keyed.end(), [&](const Keyed& a, const Keyed& b) {
    return rowGoesBefore(a.rate, b.rate, a.text, b.text, kind, sort.directionFlag);
  });
  for (std::size_t i = 0; i < keyed.size(); ++i) rows_[i] = std::move(keyed[i].row);
}

bool RemoteRows::setRowName(int row, const std::string& name) {
  if (row < 0 || row >= size()) return false;
  rows_[static_cast<std::size_t>(row)].name = name;
  return true;
}

bool RemoteRows::setRowPassword(int row, const std::string& password) {
  if (row < 0 || row >= size()) return false;
  rows_[static_cast<std::size_t>(row)].password = password;
  return true;
}

void SortToggle::ToggleSort(SortState& state, int column) {
  if (column < 0 || column >= static_cast<int>(remembered_.size())) return;
  const auto c = static_cast<std::size_t>(column);
  if (column != state.column) {
    state.column = column;
    state.directionFlag = remembered_[c];
    remembered_[c] = !remembered_[c];
  } else {
    state.directionFlag = !state.directionFlag;
  }
}

}  // namespace quorrel::ui
