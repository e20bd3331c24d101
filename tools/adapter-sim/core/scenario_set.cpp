// The set is split into one text per network, with the timeline keys taken out, and each text
// goes to the single-network parser with its lines where they were, so its errors name the
// right line of the whole file.
#include "adapter-sim/core/scenario_set.h"

#include <charconv>
#include <sstream>

namespace quorrel::sim {

namespace {

struct Failure {
  int line;
  std::string message;
};

std::string_view trim(std::string_view s) {
  const auto first = s.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(" \t\r");
  return s.substr(first, last - first + 1);
}

bool number(std::string_view text, std::uint64_t max, std::uint64_t& out) {
  std::uint64_t v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || v > max)
    return false;
  out = v;
  return true;
}

constexpr std::uint64_t kMaxTimeMs = 86400000;  // a day

struct Chunk {
  std::string name;
  std::string text;  // the network's lines, blank where a line belongs to another part
  std::vector<StationTimeline> timelines;
  int remotes = 0;
  bool inRemote = false;
  bool hasContent = false;  // a section or key line of its own (comments do not count)
};

void timelineKey(Chunk& c, int line, std::string_view key, std::string_view value) {
  if (!c.inRemote) throw Failure{line, std::string(key) + " belongs in a [remote] section"};
  StationTimeline& t = c.timelines[static_cast<std::size_t>(c.remotes - 1)];
  std::istringstream words{std::string(value)};
  std::string a, b, d, extra;
  words >> a >> b >> d >> extra;
  std::uint64_t at = 0, tx = 0, rx = 0;
  if (key == "rate_after_ms") {
    if (!number(a, kMaxTimeMs, at) || !number(b, 0xFFFF, tx) ||
        (!d.empty() && !number(d, 0xFFFF, rx)) || !extra.empty())
      throw Failure{line, "rate_after_ms takes a time in ms and one or two rates (0 to 65535)"};
    t.rates.push_back({static_cast<std::uint32_t>(at), static_cast<std::uint16_t>(tx),
                       static_cast<std::uint16_t>(d.empty() ? tx : rx)});
    return;
  }
  if (!number(a, kMaxTimeMs, at) || !b.empty())
    throw Failure{line, std::string(key) + " takes one time in ms, at most a day"};
  auto& field = key == "join_at_ms" ? t.joinAtMs : t.leaveAtMs;
  if (field) throw Failure{line, "\"" + std::string(key) + "\" given twice in one section"};
  field = static_cast<std::uint32_t>(at);
  if (t.joinAtMs && t.leaveAtMs && *t.leaveAtMs <= *t.joinAtMs)
    throw Failure{line, "leave_at_ms must come after join_at_ms"};
}

std::vector<Chunk> split(std::string_view text) {
  std::vector<Chunk> chunks(1);
  bool headed = false;
  int line = 0;
  while (!text.empty()) {
    ++line;
    const auto end = text.find('\n');
    const std::string_view raw = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    const std::string_view t = trim(raw);
    Chunk* c = &chunks.back();
    if (t.size() > 1 && t.front() == '[' && t.back() == ']') {
      const std::string_view name = trim(t.substr(1, t.size() - 2));
      if (name.substr(0, 7) == "network" && (name.size() == 7 || name[7] == ' ')) {
        if (headed || c->hasContent) {
          if (!headed) throw Failure{line, "sections before the first [network]"};
          if (chunks.size() == kMaxNetworks)
            throw Failure{line, "more than " + std::to_string(kMaxNetworks) + " networks"};
          chunks.emplace_back();
          c = &chunks.back();
          c->text.assign(static_cast<std::size_t>(line - 1), '\n');
        }
        headed = true;
        c->name = std::string(trim(name.substr(7)));
        c->text += '\n';
        continue;
      }
      c->hasContent = true;
      c->inRemote = name == "remote";
      if (c->inRemote) {
        ++c->remotes;
        c->timelines.emplace_back();
      }
    } else if (!t.empty() && t[0] != '#' && t[0] != ';') {
      const auto gap = t.find_first_of(" \t");
      const std::string_view key = t.substr(0, gap);
      c->hasContent = true;
      if (key == "join_at_ms" || key == "leave_at_ms" || key == "rate_after_ms") {
        timelineKey(*c, line, key,
                    gap == std::string_view::npos ? std::string_view{} : trim(t.substr(gap)));
        c->text += '\n';
        continue;
      }
    }
    c->text.append(raw);
    c->text += '\n';
  }
  return chunks;
}

}  // namespace

bool parseScenarioSet(std::string_view text, ScenarioSet& out, std::string& error,
                      std::string_view directory) {
  ScenarioSet set;
  try {
    for (Chunk& c : split(text)) {
      NetworkScenario network;
      network.name = c.name;
      if (!parseScenario(c.text, network.scenario, error, directory)) return false;
      network.timelines = std::move(c.timelines);
      network.timelines.resize(network.scenario.remotes.size());
      set.networks.push_back(std::move(network));
    }
  } catch (const Failure& f) {
    error = "line " + std::to_string(f.line) + ": " + f.message;
    return false;
  }
  out = std::move(set);
  return true;
}

bool loadScenarioSetFile(const std::string& path, ScenarioSet& out, std::string& error) {
  std::string text, directory;
  if (!readScenarioText(path, text, directory, error)) return false;
  if (!parseScenarioSet(text, out, error, directory)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}

}  // namespace quorrel::sim
