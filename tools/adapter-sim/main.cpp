// adapter-sim: answers on one Ethernet interface as a local powerline adapter with its remote
// stations behind it, as a scenario file describes.
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

#include "adapter-sim/core/network.h"
#include "platform/clock.h"
#include "transport/management_filter.h"

namespace {

using quorrel::ByteSpan;
using quorrel::sim::Network;

constexpr int kSnapshotLength = 65536;
// The longest the loop sleeps with nothing due, so a stop request is seen promptly.
constexpr std::uint64_t kIdleWaitUs = 50000;
// How much of each frame the log shows.
constexpr std::size_t kLoggedBytes = 64;

volatile sig_atomic_t stopRequested = 0;
pcap_t* activeHandle = nullptr;

void onStopSignal(int) {
  stopRequested = 1;
  if (activeHandle != nullptr) pcap_breakloop(activeHandle);
}

struct Options {
  std::string interface;
  std::string scenario;
  std::string log;
};

void usage() {
  std::fprintf(stderr,
               "usage: adapter-sim --interface NAME --scenario FILE [--log FILE]\n"
               "Answers powerline management frames on NAME as FILE describes.\n");
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
      o.interface = argv[++i];
    else if (a == "--scenario")
      o.scenario = argv[++i];
    else if (a == "--log")
      o.log = argv[++i];
    else {
      std::fprintf(stderr, "adapter-sim: unknown option %s\n", a.c_str());
      return false;
    }
  }
  if (o.interface.empty() || o.scenario.empty()) {
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
  void write(const char* direction, ByteSpan frame) {
    if (!file_) return;
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

struct Loop {
  pcap_t* handle;
  Network& network;
  FrameLog& log;

  static std::uint64_t now() { return quorrel::platform::clock().microseconds(); }

  void takeArrived() {
    auto onFrame = [](u_char* user, const pcap_pkthdr* h, const u_char* bytes) {
      auto* self = reinterpret_cast<Loop*>(user);
      const ByteSpan frame(bytes, h->caplen);
      self->log.write("rx", frame);
      self->network.receive(frame, now());
    };
    while (!stopRequested &&
           pcap_dispatch(handle, -1, onFrame, reinterpret_cast<u_char*>(this)) > 0) {
    }
  }

  void sendDue() {
    for (auto& f : network.takeDue(now())) {
      if (pcap_inject(handle, f.data(), f.size()) < 0)
        std::fprintf(stderr, "adapter-sim: send failed: %s\n", pcap_geterr(handle));
      else
        log.write("tx", f);
    }
  }

  // Sleeps until a frame arrives or the next answer falls due, to the microsecond.
  void wait(int fd) {
    std::uint64_t waitUs = kIdleWaitUs;
    if (const auto due = network.nextDueUs()) {
      const std::uint64_t t = now();
      waitUs = *due <= t ? 0 : std::min(*due - t, kIdleWaitUs);
    }
    pollfd p{fd, POLLIN, 0};
    const timespec timeout{static_cast<time_t>(waitUs / 1000000),
                           static_cast<long>(waitUs % 1000000) * 1000};
    ppoll(&p, 1, &timeout, nullptr);
  }

  void run() {
    const int fd = pcap_get_selectable_fd(handle);
    while (!stopRequested) {
      takeArrived();
      sendDue();
      if (!stopRequested) wait(fd);
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
  quorrel::sim::Scenario scenario;
  std::string error;
  if (!quorrel::sim::loadScenarioFile(options.scenario, scenario, error)) {
    std::fprintf(stderr, "adapter-sim: %s\n", error.c_str());
    return 2;
  }
  FrameLog log;
  if (!log.open(options.log)) {
    std::fprintf(stderr, "adapter-sim: cannot write %s: %s\n", options.log.c_str(),
                 std::strerror(errno));
    return 2;
  }
  pcap_t* handle = openCapture(options.interface);
  if (handle == nullptr) return 1;

  activeHandle = handle;
  struct sigaction sa {};
  sa.sa_handler = onStopSignal;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);

  Network network(std::move(scenario));
  std::printf("ready\n");
  std::fflush(stdout);
  Loop{handle, network, log}.run();

  activeHandle = nullptr;
  pcap_close(handle);
  return 0;
}
