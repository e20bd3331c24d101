#include "monitor/metrics.h"

#include <prometheus/counter.h>
#include <prometheus/exposer.h>
#include <prometheus/gauge.h>
#include <prometheus/registry.h>
#include <prometheus/text_serializer.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <set>

namespace quorrel::monitor {

// The gauges of one family that an interface's last update set; an update replaces them all,
// so a renamed device or one gone from the table leaves no stale series behind.
struct Metrics::Series {
  prometheus::Family<prometheus::Gauge>& family;
  std::map<Labels, prometheus::Gauge*> live;

  void replace(const std::string& interfaceName,
               const std::vector<std::pair<Labels, double>>& now) {
    std::set<Labels> kept;
    for (const auto& [labels, value] : now) {
      auto& gauge = live[labels];
      if (gauge == nullptr) gauge = &family.Add({labels.begin(), labels.end()});
      gauge->Set(value);
      kept.insert(labels);
    }
    for (auto it = live.begin(); it != live.end();) {
      if (it->first.at("interface") == interfaceName && kept.count(it->first) == 0) {
        family.Remove(it->second);
        it = live.erase(it);
      } else {
        ++it;
      }
    }
  }
};

namespace {

// Prometheus keeps base units: a rate in bytes per second.
constexpr double kBytesPerSecondPerMbps = 1e6 / 8;

std::unique_ptr<Metrics::Series> gauges(prometheus::Registry& r, const char* name,
                                        const char* help) {
  auto& family = prometheus::BuildGauge().Name(name).Help(help).Register(r);
  return std::unique_ptr<Metrics::Series>(new Metrics::Series{family, {}});
}

}  // namespace

Metrics::Metrics() : registry_(std::make_shared<prometheus::Registry>()) {
  auto& r = *registry_;
  rate_ = gauges(r, "quorrel_remote_rate_bytes_per_second",
                 "Rate of a remote adapter as the local adapter sees it");
  answered_ = gauges(r, "quorrel_remote_answered",
                     "Whether the remote adapter was listed in the last scan cycle (1) or not (0)");
  present_ = gauges(r, "quorrel_local_adapter_present",
                    "Whether the interface has a local powerline adapter (1) or not (0)");
  link_ = gauges(r, "quorrel_link_rate_bytes_per_second",
                 "Rate one adapter reported for another in the last network map");
  cycle_ = gauges(r, "quorrel_scan_cycle_duration_seconds", "Duration of the last scan cycle");
  lastCycle_ = gauges(r, "quorrel_scan_last_cycle_timestamp_seconds",
                      "When the last complete scan cycle ended, in seconds since the epoch");
  cycles_ = &prometheus::BuildCounter()
                 .Name("quorrel_scan_cycles_total")
                 .Help("Scan cycles completed")
                 .Register(r);
}

Metrics::~Metrics() = default;

namespace {

// The system's own words for an address that cannot be bound (the server library says only
// that it failed).
std::optional<std::string> bindProblem(const Endpoint& where) {
  sockaddr_storage address{};
  socklen_t length = 0;
  auto* v4 = reinterpret_cast<sockaddr_in*>(&address);
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&address);
  if (::inet_pton(AF_INET, where.host.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(where.port);
    length = sizeof *v4;
  } else if (::inet_pton(AF_INET6, where.host.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(where.port);
    length = sizeof *v6;
  } else {
    return std::strerror(EINVAL);
  }
  const int fd = ::socket(address.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return std::strerror(errno);
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  std::optional<std::string> problem;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(fd, 1) != 0)
    problem = std::strerror(errno);
  ::close(fd);
  return problem;
}

}  // namespace

std::optional<Problem> Metrics::serve(const Endpoint& where) {
  exposer_.reset();
  if (where.port != 0)
    if (auto why = bindProblem(where))
      return Problem{"metrics cannot be served at " + formatEndpoint(where), *why};
  try {
    exposer_ = std::make_unique<prometheus::Exposer>(formatEndpoint(where), 1);
    exposer_->RegisterCollectable(registry_);
  } catch (const std::exception& e) {
    exposer_.reset();
    return Problem{"metrics cannot be served at " + formatEndpoint(where), e.what()};
  }
  return std::nullopt;
}

int Metrics::port() const {
  if (exposer_ == nullptr) return 0;
  const auto ports = exposer_->GetListeningPorts();
  return ports.empty() ? 0 : ports.front();
}

void Metrics::update(const CycleReading& c) {
  std::vector<std::pair<Labels, double>> rates, answered;
  std::string localFamily;
  for (const AdapterReading& a : c.adapters) {
    if (a.local) {
      localFamily = a.family;
      continue;
    }
    const Labels labels{{"interface", c.interfaceName},
                        {"local_mac", formatMac(c.localMac)},
                        {"mac", formatMac(a.mac)},
                        {"name", a.name},
                        {"family", a.family}};
    rates.emplace_back(labels, a.mbps * kBytesPerSecondPerMbps);
    answered.emplace_back(labels, a.answered ? 1 : 0);
  }
  rate_->replace(c.interfaceName, rates);
  answered_->replace(c.interfaceName, answered);
  present_->replace(
      c.interfaceName,
      {{{{"interface", c.interfaceName}, {"mac", formatMac(c.localMac)}, {"family", localFamily}},
        c.localPresent ? 1.0 : 0.0}});
  const Labels where{{"interface", c.interfaceName}};
  cycle_->replace(c.interfaceName, {{where, c.cycleSeconds}});
  lastCycle_->replace(c.interfaceName, {{where, static_cast<double>(c.endedAt)}});
  cycles_->Add({where.begin(), where.end()}).Increment();
}

void Metrics::updateMap(const std::string& interfaceName, const std::vector<LinkReading>& links) {
  std::vector<std::pair<Labels, double>> values;
  for (const LinkReading& l : links)
    values.emplace_back(Labels{{"interface", interfaceName},
                               {"from_mac", formatMac(l.from)},
                               {"from_name", l.fromName},
                               {"to_mac", formatMac(l.to)},
                               {"to_name", l.toName}},
                        l.mbps * kBytesPerSecondPerMbps);
  link_->replace(interfaceName, values);
}

void Metrics::localAbsent(const std::string& interfaceName) {
  rate_->replace(interfaceName, {});
  answered_->replace(interfaceName, {});
  link_->replace(interfaceName, {});
  std::vector<std::pair<Labels, double>> absent;
  for (const auto& [labels, gauge] : present_->live)
    if (labels.at("interface") == interfaceName) absent.emplace_back(labels, 0);
  if (absent.empty())
    absent.push_back({{{"interface", interfaceName}, {"mac", ""}, {"family", ""}}, 0});
  present_->replace(interfaceName, absent);
}

std::string Metrics::text() const {
  return prometheus::TextSerializer().Serialize(registry_->Collect());
}

}  // namespace quorrel::monitor
