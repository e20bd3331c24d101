// Reads a parameter block file into a description; the file bytes are untrusted throughout.
#include "pib_report.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "crypto/keys.h"
#include "paramblock/parameter_block.h"
#include "paramblock/region_map.h"
#include "platform/checksum32.h"

namespace quorrel::cli {

namespace {

using nlohmann::json;
using namespace paramblock;

std::string hex32(std::uint32_t v) {
  char text[11];
  std::snprintf(text, sizeof text, "0x%08X", v);
  return text;
}

std::string hexBytes(ByteSpan b) {
  std::string s;
  for (std::uint8_t byte : b) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02X", byte);
    s += pair;
  }
  return s;
}

// The checksum the length field calls for, or nothing when the file cannot supply it.
std::optional<std::uint32_t> computedChecksum(ByteSpan file) {
  const std::size_t length = readLe16(file, kLengthOffset);
  if (file.size() < kHeaderLength || length > file.size() || length > kMaximumChecksumLength)
    return std::nullopt;
  std::vector<std::uint8_t> copy(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length));
  writeLe32(copy, kChecksumOffset, 0);
  return checksum32(copy);
}

// A field's name as a JSON key: "classifier.priority-a" is "classifier_priority_a".
std::string jsonKey(std::string_view name) {
  std::string key(name);
  for (char& c : key)
    if (c == '.' || c == '-') c = '_';
  return key;
}

const ParameterRegion* failingRegion(ByteSpan file) {
  if (file.size() < kParameterBlockLength) return nullptr;
  for (const ParameterRegion& region : kParameterRegions) {
    ImageWindow w(file.first(kParameterBlockLength), 0);
    if (!checkRegion(region, w)) return &region;
  }
  return nullptr;
}

json fieldValue(ByteSpan file, const Field& f, std::size_t base = 0) {
  const std::size_t at = base + f.offset;
  if (at + f.size > file.size()) return nullptr;
  if (f.kind == FieldKind::Text) return readText(file, at, f.size);
  if (f.kind == FieldKind::Bytes) return hexBytes(file.subspan(at, f.size));
  ImageWindow w(file, 0);
  return w.read(f, base);
}

// The entries a list's count gives, as far as they lie inside its region.
json listEntries(ByteSpan file, const ParameterRegion& region, const ListLayout& list) {
  ImageWindow w(file, 0);
  std::size_t count = list.count != nullptr ? w.read(*list.count) : list.capacity;
  count = std::min(count, (region.offset + region.size - list.first) / list.entrySize);
  if (list.enable != nullptr && w.read(*list.enable) != 1) count = 0;
  json entries = json::array();
  for (std::size_t i = 0; i < count; ++i) {
    json entry = json::object();
    for (const Field* f : list.fields)
      entry[jsonKey(f->name)] = fieldValue(file, *f, list.entryAt(i));
    entries.push_back(entry);
  }
  return entries;
}

json identityOf(ByteSpan file) {
  using namespace field;
  if (file.size() < kParameterRegions[1].offset) return nullptr;
  NetworkMembershipKey nmk{};
  std::copy_n(file.begin() + kNetworkMembershipKey.offset, nmk.size(), nmk.begin());
  const crypto::Key publicKey = crypto::deriveNMK(crypto::kDefaultAvNetworkPassword);
  const std::uint8_t nidLast = file[kNetworkIdentifier.end() - 1];
  return {{"mac", formatMac(readMac(file, kMacAddress.offset))},
          {"manufacturer", readText(file, kManufacturer.offset, kManufacturer.size)},
          {"device_name", readText(file, kDeviceName.offset, kDeviceName.size)},
          {"network_name", readText(file, kNetworkName.offset, kNetworkName.size)},
          {"public_network", std::equal(nmk.begin(), nmk.end(), publicKey.begin())},
          {"network_identifier", hexBytes(file.subspan(kNetworkIdentifier.offset, 7))},
          {"security_level", nidLast >> 4}};
}

json configurationOf(ByteSpan file) {
  if (file.size() < kParameterBlockLength) return nullptr;
  json regions = json::array();
  for (const ParameterRegion& region : kParameterRegions) {
    if (region.fields.empty() || region.offset == kParameterRegions.front().offset) continue;
    json fields = json::array();
    for (const Field* f : region.fields)
      fields.push_back({{"name", f->name}, {"offset", f->offset}, {"value", fieldValue(file, *f)}});
    json lists = json::object();
    for (const ListLayout* list : region.lists)
      lists[jsonKey(list->name)] = listEntries(file, region, *list);
    regions.push_back(
        {{"region", region.name}, {"offset", region.offset}, {"fields", fields}, {"lists", lists}});
  }
  return regions;
}

}  // namespace

nlohmann::json describeParameterBlock(ByteSpan file) {
  json d;
  d["file_size_bytes"] = file.size();
  if (file.size() < kHeaderLength) {
    d["problem"] = "the file is too short to hold a parameter block header";
    return d;
  }
  d["version"] =
      std::to_string(file[kVersionOffset]) + "." + std::to_string(file[kVersionOffset + 1]);
  d["length_bytes"] = readLe16(file, kLengthOffset);
  const std::uint32_t stored = readLe32(file, kChecksumOffset);
  const std::optional<std::uint32_t> computed = computedChecksum(file);
  d["checksum"] = {{"stored", hex32(stored)},
                   {"computed", computed ? json(hex32(*computed)) : json(nullptr)},
                   {"matches", computed && *computed == stored}};

  std::vector<std::uint8_t> copy(file.begin(), file.end());
  ParameterBlock view;
  const ParameterBlockResult result = view.attachImage(copy);
  json validation = {{"result", toInt(result)}, {"meaning", describe(result)}};
  if (const ParameterRegion* bad =
          result == ParameterBlockResult::kRegionInvalid ? failingRegion(file) : nullptr)
    validation["failing_region"] = {{"name", bad->name}, {"offset", bad->offset}};
  d["validation"] = validation;
  d["identity"] = identityOf(file);
  d["configuration"] = configurationOf(file);
  if (const auto problem = parameterBlockProblem(file)) d["problem"] = *problem;
  return d;
}

std::optional<std::string> notParameterBlock(ByteSpan file) {
  if (file.size() < kHeaderLength) return "the file is too short to hold a parameter block header";
  const std::size_t length = readLe16(file, kLengthOffset);
  if (length != file.size())
    return "the file has " + std::to_string(file.size()) + " bytes but its length field says " +
           std::to_string(length);
  return std::nullopt;
}

std::optional<std::string> parameterBlockProblem(ByteSpan file) {
  if (auto why = notParameterBlock(file)) return why;
  std::vector<std::uint8_t> copy(file.begin(), file.end());
  ParameterBlock view;
  const ParameterBlockResult result = view.attachImage(copy);
  if (result == ParameterBlockResult::kRegionInvalid) {
    const ParameterRegion* bad = failingRegion(file);
    return "validation failed: the " + std::string(bad ? bad->name : "") + " region at offset " +
           std::to_string(bad ? bad->offset : 0) + " breaks its rules";
  }
  if (result != ParameterBlockResult::kSuccess)
    return "validation failed (" + std::to_string(toInt(result)) +
           "): " + std::string(describe(result));
  const std::optional<std::uint32_t> computed = computedChecksum(file);
  if (!computed || *computed != readLe32(file, kChecksumOffset))
    return "the stored checksum " + hex32(readLe32(file, kChecksumOffset)) +
           " does not match the contents (" + (computed ? hex32(*computed) : "none") + ")";
  return std::nullopt;
}

namespace {

// Control characters from a file never reach the terminal as such.
std::string text(const json& v) {
  if (v.is_null()) return "-";
  if (!v.is_string()) return v.dump();
  std::string s = v.get<std::string>();
  for (char& c : s)
    if (static_cast<unsigned char>(c) < 32 || c == 127) c = '?';
  return s;
}

void line(std::string& out, std::string_view name, const std::string& value, int indent = 0) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%*s%-*.*s ", indent, "", 28 - indent,
                static_cast<int>(name.size()), name.data());
  out += buffer + value + "\n";
}

}  // namespace

std::string formatParameterBlock(const nlohmann::json& d) {
  std::string out;
  line(out, "file size", text(d.value("file_size_bytes", json())));
  if (d.contains("version")) {
    line(out, "version", text(d["version"]));
    line(out, "length", text(d["length_bytes"]));
    const json& c = d["checksum"];
    line(out, "checksum",
         text(c["stored"]) + (c["matches"].get<bool>()
                                  ? " (matches)"
                                  : " (does not match; computed " + text(c["computed"]) + ")"));
    const json& v = d["validation"];
    std::string result = text(v["result"]) + " " + text(v["meaning"]);
    if (v.contains("failing_region"))
      result += ": region " + text(v["failing_region"]["name"]) + " at offset " +
                text(v["failing_region"]["offset"]);
    line(out, "validation", result);
  }
  if (d.contains("identity") && !d["identity"].is_null()) {
    for (const auto& [name, value] : d["identity"].items()) line(out, name, text(value));
  }
  if (d.contains("configuration") && !d["configuration"].is_null()) {
    for (const json& region : d["configuration"]) {
      out += "[" + text(region["region"]) + " at " + text(region["offset"]) + "]\n";
      for (const json& f : region["fields"]) line(out, text(f["name"]), text(f["value"]), 2);
      for (const auto& [name, entries] : region["lists"].items()) {
        for (std::size_t i = 0; i < entries.size(); ++i) {
          std::string values;
          for (const auto& [field, value] : entries[i].items())
            values += (values.empty() ? "" : " ") + field + "=" + text(value);
          line(out, name + "[" + std::to_string(i) + "]", values, 2);
        }
      }
    }
  }
  if (d.contains("problem")) line(out, "problem", text(d["problem"]));
  return out;
}

}  // namespace quorrel::cli
