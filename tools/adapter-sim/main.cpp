// adapter-sim: answers on Ethernet interfaces as the local powerline adapters with their
// remote stations behind them, one simulated network per interface, as a scenario file
// describes.
#include <pcap/pcap.h>
#include <poll.h>
#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "adapter-sim/core/network.h"
#include "adapter-sim/core/scenario_set.h"
#include "platform/clock.h"
#include "transport/management_filter.h"

namespace {

using quorrel::ByteSpan;
using quorrel::sim::Network;

// The longest Ethernet frame and one byte more: at 65536 bytes the capture ring had room for 32
// frames, and under a flood of other frames the host's requests were lost before the loop saw
// them.
constexpr int kSnapshotLength = 1515;
// The longest the loop sleeps with nothing due, so a stop request is seen promptly.
constexpr std::uint64_t kIdleWaitUs = 50000;
// How much of each frame the log shows.
constexpr std::size_t kLoggedBytes = 64;

volatile sig_atomic_t stopRequested = 0;
std::vector<pcap_t*> activeHandles;

void onStopSignal(int) {
  stopRequested = 1;
  for (pcap_t* h : activeHandles) pcap_breakloop(h);
}

struct Options {
  std::vector<std::string> interfaces;
  std::string scenario;
  std::string log;
};

void usage() {
  std::fprintf(stderr,
               "usage: adapter-sim --interface NAME [--interface NAME ...] --scenario FILE "
               "[--log FILE]\n"
               "Answers powerline management frames on each NAME as the network of FILE in the\n"
               "same place describes (the first interface the first network, and so on).\n");
}

bool parseOptions(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--help" || a == "-h") return false;
    if (i + 1 >= argc) {
      std::fprintf(stderr, "adapter-sim: %s needs a value\n", a.c_str());
      return false;
    }
    if (a == "--interface")
      o.interfaces.push_back(argv[++i]);
    else if (a == "--scenario")
      o.scenario = argv[++i];
    else if (a == "--log")
      o.log = argv[++i];
    else {
      std::fprintf(stderr, "adapter-sim: unknown option %s\n", a.c_str());
      return false;
    }
  }
  if (o.interfaces.empty() || o.scenario.empty()) {
    std::fprintf(stderr, "adapter-sim: --interface and --scenario are required\n");
    return false;
  }
  return true;
}

// One line per frame: direction, length, and the first bytes in hex.
class FrameLog {
 public:
  bool open(const std::string& path) {
    if (path.empty()) return true;
    file_.reset(std::fopen(path.c_str(), "w"));
    if (file_) std::setvbuf(file_.get(), nullptr, _IOLBF, 0);
    return file_ != nullptr;
  }
  // `label` names the interface when there are several; empty otherwise.
  void write(const std::string& label, const char* direction, ByteSpan frame) {
    if (!file_) return;
    if (!label.empty()) std::fprintf(file_.get(), "%s: ", label.c_str());
    std::fprintf(file_.get(), "%s %zu ", direction, frame.size());
    const std::size_t n = std::min(frame.size(), kLoggedBytes);
    for (std::size_t i = 0; i < n; ++i) std::fprintf(file_.get(), "%02x", frame[i]);
    std::fputc('\n', file_.get());
  }

 private:
  struct Closer {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, Closer> file_;
};

// Promiscuous (the host addresses the local-device address and the stations, none of them
// this interface's own), immediate and non-blocking, inbound only so our answers never come
// back to us as requests.
pcap_t* openCapture(const std::string& name) {
  char errorText[PCAP_ERRBUF_SIZE] = {};
  pcap_t* h = pcap_create(name.c_str(), errorText);
  if (h == nullptr) {
    std::fprintf(stderr, "adapter-sim: %s: %s\n", name.c_str(), errorText);
    return nullptr;
  }
  pcap_set_snaplen(h, kSnapshotLength);
  pcap_set_promisc(h, 1);
  pcap_set_timeout(h, 1);
  pcap_set_immediate_mode(h, 1);
  if (pcap_activate(h) < 0) {
    std::fprintf(stderr, "adapter-sim: %s: %s\n", name.c_str(), pcap_geterr(h));
    pcap_close(h);
    return nullptr;
  }
  bpf_program filter{static_cast<u_int>(quorrel::transport::kManagementFrameFilter.size()),
                     const_cast<bpf_insn*>(quorrel::transport::kManagementFrameFilter.data())};
  if (pcap_setdirection(h, PCAP_D_IN) != 0 || pcap_setfilter(h, &filter) != 0 ||
      pcap_setnonblock(h, 1, errorText) != 0 || pcap_get_selectable_fd(h) < 0) {
    std::fprintf(stderr, "adapter-sim: %s: cannot set up capture: %s\n", name.c_str(),
                 pcap_geterr(h));
    pcap_close(h);
    return nullptr;
  }
  return h;
}

// One interface and the network that answers on it.
struct Port {
  pcap_t* handle;
  Network* network;
  std::string label;
};

struct Loop {
  std::vector<Port>& ports;
  FrameLog& log;

  static std::uint64_t now() { return quorrel::platform::clock().microseconds(); }

  struct Arrival {
    Port* port;
    FrameLog* log;
  };

  void takeArrived(Port& port) {
    auto onFrame = [](u_char* user, const pcap_pkthdr* h, const u_char* bytes) {
      auto* a = reinterpret_cast<Arrival*>(user);
      const ByteSpan frame(bytes, h->caplen);
      a->log->write(a->port->label, "rx", frame);
      a->port->network->receive(frame, now());
    };
    Arrival arrival{&port, &log};
    while (!stopRequested &&
           pcap_dispatch(port.handle, -1, onFrame, reinterpret_cast<u_char*>(&arrival)) > 0) {
    }
  }

  void sendDue(Port& port) {
    for (auto& f : port.network->takeDue(now())) {
      if (pcap_inject(port.handle, f.data(), f.size()) < 0)
        std::fprintf(stderr, "adapter-sim: send failed: %s\n", pcap_geterr(port.handle));
      else
        log.write(port.label, "tx", f);
    }
  }

  // Sleeps until a frame arrives on any interface or the next answer falls due.
  void wait() {
    std::uint64_t waitUs = kIdleWaitUs;
    const std::uint64_t t = now();
    for (const Port& p : ports)
      if (const auto due = p.network->nextDueUs())
        waitUs = std::min(waitUs, *due <= t ? 0 : *due - t);
    std::vector<pollfd> fds;
    for (const Port& p : ports) fds.push_back({pcap_get_selectable_fd(p.handle), POLLIN, 0});
    const timespec timeout{static_cast<time_t>(waitUs / 1000000),
                           static_cast<long>(waitUs % 1000000) * 1000};
    ppoll(fds.data(), fds.size(), &timeout, nullptr);
  }

  void run() {
    while (!stopRequested) {
      for (Port& p : ports) {
        takeArrived(p);
        sendDue(p);
      }
      if (!stopRequested) wait();
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parseOptions(argc, argv, options)) {
    usage();
    return 2;
  }
  quorrel::sim::ScenarioSet set;
  std::string error;
  if (!quorrel::sim::loadScenarioSetFile(options.scenario, set, error)) {
    std::fprintf(stderr, "adapter-sim: %s\n", error.c_str());
    return 2;
  }
  if (set.networks.size() != options.interfaces.size()) {
    std::fprintf(stderr, "adapter-sim: %s describes %zu network(s) for %zu interface(s)\n",
                 options.scenario.c_str(), set.networks.size(), options.interfaces.size());
    return 2;
  }
  FrameLog log;
  if (!log.open(options.log)) {
    std::fprintf(stderr, "adapter-sim: cannot write %s: %s\n", options.log.c_str(),
                 std::strerror(errno));
    return 2;
  }
  std::vector<std::unique_ptr<Network>> networks;
  std::vector<Port> ports;
  const bool labelled = options.interfaces.size() > 1;
  for (std::size_t i = 0; i < options.interfaces.size(); ++i) {
    pcap_t* handle = openCapture(options.interfaces[i]);
    if (handle == nullptr) {
      for (Port& p : ports) pcap_close(p.handle);
      return 1;
    }
    networks.push_back(std::make_unique<Network>(std::move(set.networks[i].scenario)));
    networks.back()->setTimelines(std::move(set.networks[i].timelines));
    ports.push_back({handle, networks.back().get(), labelled ? options.interfaces[i] : ""});
  }

  for (const Port& p : ports) activeHandles.push_back(p.handle);
  struct sigaction sa {};
  sa.sa_handler = onStopSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);

  // The timelines run from the moment the simulation is ready.
  for (auto& n : networks) n->startTimeline(Loop::now());
  std::printf("ready\n");
  std::fflush(stdout);
  Loop{ports, log}.run();

  activeHandles.clear();
  for (Port& p : ports) pcap_close(p.handle);
  return 0;
}
