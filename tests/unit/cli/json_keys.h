// The console's JSON key rule, checked over a whole document: every key snake_case (lower-case
// letters, digits, single underscores), so scripts need no quoting rules per command.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

namespace quorrel::cli {

// The keys of `j`, at any depth, that break the rule, each with its path; empty when none does.
template <typename Json>
std::string badJsonKeys(const Json& j, const std::string& path = "") {
  std::string bad;
  if (j.is_array())
    for (const auto& e : j) bad += badJsonKeys(e, path + "[]");
  if (!j.is_object()) return bad;
  for (auto it = j.begin(); it != j.end(); ++it) {
    const std::string& k = it.key();
    bool ok = !k.empty() && k.front() >= 'a' && k.front() <= 'z' && k.back() != '_' &&
              k.find("__") == std::string::npos;
    for (char c : k) ok = ok && ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_');
    if (!ok) bad += path + "." + k + " ";
    bad += badJsonKeys(it.value(), path + "." + k);
  }
  return bad;
}

}  // namespace quorrel::cli
