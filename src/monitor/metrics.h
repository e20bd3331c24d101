// The monitor's numbers for Prometheus, served as /metrics in its text format. Updated from
// the scan's thread after each cycle; the registry takes care of a scrape meanwhile.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "monitor/readings.h"
#include "monitor/settings.h"

namespace prometheus {
class Exposer;
class Registry;
class Gauge;
class Counter;
template <typename T>
class Family;
}  // namespace prometheus

namespace quorrel::monitor {

class Metrics {
 public:
  Metrics();
  ~Metrics();
  Metrics(const Metrics&) = delete;
  Metrics& operator=(const Metrics&) = delete;

  // Serves /metrics at `where`; a problem when the address cannot be bound.
  std::optional<Problem> serve(const Endpoint& where);
  // The port served (the one asked for, or the one given for port 0); 0 when none.
  int port() const;

  void update(const CycleReading& cycle);
  void updateMap(const std::string& interfaceName, const std::vector<LinkReading>& links);
  // The interface's local adapter is gone: its presence drops to 0, its remotes are removed.
  void localAbsent(const std::string& interfaceName);
  // The text a scrape would get.
  std::string text() const;

  using Labels = std::map<std::string, std::string>;
  struct Series;

 private:
  std::shared_ptr<prometheus::Registry> registry_;
  std::unique_ptr<prometheus::Exposer> exposer_;
  std::unique_ptr<Series> rate_, answered_, present_, link_, cycle_, lastCycle_;
  prometheus::Family<prometheus::Counter>* cycles_ = nullptr;
};

}  // namespace quorrel::monitor
