// The network map of the current interface's HomePlug AV network: the local device and every
// station the device table lists are each asked for their own network information, and the
// rates they report for one another become the map's links. It runs only when asked, with its
// own waits, never inside a scan tick; whoever calls it suspends the autoscan meanwhile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/bytes.h"
#include "transport/receive_path.h"

namespace quorrel::netmap {

// Requests out at once: a local device that relays requests one at a time still answers each
// within its wait.
inline constexpr std::size_t kMapRequestWindow = 4;
// How long each request waits for its answer, and how often a silent station is asked: a
// station that never answers costs 200 ms of its slot in the window.
inline constexpr std::uint32_t kMapAnswerMs = 100;
inline constexpr int kMapAsks = 2;

struct MapNode {
  MacAddress mac{};
  bool local = false;
  bool answered = false;
};

// Two answered adapters and the rate each reported for the other (Mbps); an end that did not
// list the other has none.
struct MapLink {
  std::size_t a = 0;  // indexes into NetworkMap::nodes
  std::size_t b = 0;
  std::optional<double> aToB;
  std::optional<double> bToA;
};

struct NetworkMap {
  int interfaceIndex = -1;
  std::vector<MapNode> nodes;  // the local device first, then the stations in table order
  std::vector<MapLink> links;
};

// What the user is told when the current interface's adapter is a HomePlug 1.0 or Turbo one.
inline constexpr const char* kAvOnlyText = "The network map is for HomePlug AV networks only.";

enum class MapOutcome {
  Gathered,
  NoLocalDevice,  // the current interface has no local adapter
  NotAvNetwork,   // its local adapter is a HomePlug 1.0 or Turbo one
};

struct MapResult {
  MapOutcome outcome = MapOutcome::NoLocalDevice;
  NetworkMap map;
};

// Asks the current interface's local device and each station its device table lists (in use)
// for their network information, over `path`, and waits for the answers; takes an answer only
// from an adapter asked and on the current interface. Frames it does not want are passed over.
// Changes nothing in the device table.
MapResult gatherNetworkMap(transport::ReceivePath& path);

// The longest gatherNetworkMap can take for `stations` listed stations, whatever arrives.
std::uint32_t gatherBoundMs(std::size_t stations);

}  // namespace quorrel::netmap
